#!/usr/bin/env bash
# Runs the Windows build's programs under wine and checks what they leave.
#
#   scripts/wine-e2e.sh <windows build dir> <wine command>
#
# The wine command is `wine` for the i686 build (needs wine32) or
# /usr/lib/wine/wine64 for the x86_64 build. Every run gets a fresh prefix.
# Prints "N passed, N failed" and exits non-zero when a check failed.
set -u
build=${1:?windows build directory}
wine=${2:?wine command}

prefix=$(mktemp -d /tmp/tw-wine.XXXXXX)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { WINEPREFIX=$prefix wineserver -k 2>/dev/null; rm -rf "$prefix"; }
trap cleanup EXIT

passed=0
failed=0
check() { # check <description> <command...>
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
}

# Creating the prefix takes a few seconds; do it once, up front.
"$wine" cmd /c exit >/dev/null 2>&1

# logdemo: every level written, in the exact line shape, to C:/tw/demo.
"$wine" "$build/runtime/logdemo.exe" C:/tw/demo 4 >/dev/null 2>&1
# Windows text streams end lines with CR LF; compare without the CR.
log="$prefix/demo.log"
tr -d '\r' <"$prefix/drive_c/tw/demo/velmora.log" >"$log" 2>/dev/null
line='^\[ [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3} \] \[ [0-9]+ \] '
check "logdemo wrote its log" test -s "$log"
check "open line" grep -Eq "${line}\[INFO\] Log open time: " "$log"
check "info line" grep -Eq "${line}\[INFO\] Check ESU\.\$" "$log"
check "error line" grep -Eq "${line}\[ERROR\] An error line with a number: 1603\$" "$log"
check "64-bit value" grep -Eq "${line}\[DEBUG\] A debug line with a 64-bit value: 1234567890123\$" "$log"
check "trace line" grep -Eq "${line}\[TRACE\] A trace line with a text: done\$" "$log"
check "close line last" bash -c "tail -n 1 '$log' | grep -Eq '${line}\[INFO\] Log close time: '"
check "six lines" test "$(wc -l <"$log")" -eq 6

# Level 1: information lines only, beside open and close.
"$wine" "$build/runtime/logdemo.exe" C:/tw/level1 1 >/dev/null 2>&1
check "level 1 writes three lines" test "$(wc -l <"$prefix/drive_c/tw/level1/velmora.log")" -eq 3

echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
