#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine (as root): installs what is
# missing, builds esu-prereq-check and runs it as the agent would on the
# emulated Windows 7 machine of examples/machines, with a stand-in wusa.exe
# that records its arguments and asks for a restart (3010). Prints the
# installer's arguments, the tool's exit code and its log. Then runs
# examples/inventory, a small program that embeds the data store, and
# examples/store, which starts the store on a copy of examples/data (an
# SQLite database through the SQLite ODBC driver), changes and saves rows,
# and starts it again to show them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j "$(nproc)" --target esu-prereq-check

work=$(mktemp -d /tmp/tw-run.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/agent" "$work/bin"

# The machine, with the agent installed in the temporary directory.
sed "s#/opt/twagent/#$work/agent/#" examples/machines/windows7-workstation.reg >"$work/machine.reg"

# The stand-in installer: its arguments to a file, then 3010 (restart
# required) in full through the file the process runner names for it.
cat >"$work/bin/wusa.exe" <<SCRIPT
#!/bin/sh
for a in "\$@"; do printf '[%s]\n' "\$a"; done >"$work/wusa-args.txt"
[ -n "\${TW_EXIT_CODE_FILE:-}" ] && echo 3010 >"\$TW_EXIT_CODE_FILE"
exit 0
SCRIPT
chmod +x "$work/bin/wusa.exe"

echo "== esu-prereq-check -fn C:\\pkg\\windows6.1-ssu-x64.msu -s \"/quiet /norestart\""
set +e
TW_REGISTRY_FILE="$work/machine.reg" PATH="$work/bin:$PATH" \
  "$root/build/native/tool/esu-prereq-check" -fn 'C:\pkg\windows6.1-ssu-x64.msu' -s '/quiet /norestart'
code=$?
set -e
echo "== exit code: $code"
echo "== wusa.exe arguments"
cat "$work/wusa-args.txt" 2>/dev/null || echo "(wusa.exe was not started)"
echo "== $work/agent/logs/twprereqhandler.log"
cat "$work/agent/logs/twprereqhandler.log"

# The data store, embedded by a small C program: the sample data dictionary,
# an in-memory Machine table, a listener, selections by condition text.
cmake --build build/native -j "$(nproc)" --target inventory
echo
echo "== inventory examples/data (a program that embeds the data store)"
"$root/build/native/examples/inventory/inventory" "$root/examples/data" "$work/inventory-logs"

# The data store on its data directory: start-up on a new database, rows
# added, changed, deleted and saved, shut-down, start-up again.
cmake --build build/native -j "$(nproc)" --target store
echo
echo "== store examples/data (start-up, save, shut-down, start-up again)"
"$root/build/native/examples/store/store" "$root/examples/data"
