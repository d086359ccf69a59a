#!/usr/bin/env bash
# Runs the Windows build's programs under wine and checks what they leave.
#
#   scripts/wine-e2e.sh <windows build dir> <wine command>
#
# The wine command is `wine` for the i686 build (needs wine32) or
# /usr/lib/wine/wine64 for the x86_64 build. Every run gets a fresh prefix,
# removed at the end unless TW_KEEP_PREFIX is set (to look at its logs).
# Prints "N passed, N failed" and exits non-zero when a check failed.
set -u
build=${1:?windows build directory}
wine=${2:?wine command}

# Which build this is, from the PE header's machine field: 0x14c i386,
# 0x8664 x86_64. Said up front, so the test output shows what ran.
exe=$build/tool/esu-prereq-check.exe
pe_offset=$(od -An -tu4 -j60 -N4 "$exe" 2>/dev/null | tr -d ' ')
case $(od -An -tu2 -j$((${pe_offset:-0} + 4)) -N2 "$exe" 2>/dev/null | tr -d ' ') in
332) arch=i686 ;;
34404) arch=x86_64 ;;
*) arch=unknown ;;
esac
echo "wine: the $arch build ($build) under $wine"

prefix=$(mktemp -d /tmp/tw-wine.XXXXXX)
# Headless and non-interactive on any machine: no display (wine then shows
# no dialog while it creates the prefix), and no offer to install Mono or
# Gecko (the programs need neither).
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { WINEPREFIX=$prefix wineserver -k 2>/dev/null; [ -n "${TW_KEEP_PREFIX:-}" ] || rm -rf "$prefix"; }
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
"$wine" "$build/log/logdemo.exe" C:/tw/demo 4 >/dev/null 2>&1
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
"$wine" "$build/log/logdemo.exe" C:/tw/level1 1 >/dev/null 2>&1
check "level 1 writes three lines" test "$(wc -l <"$prefix/drive_c/tw/level1/velmora.log")" -eq 3

# esu-prereq-check as the agent runs it, with a stand-in wusa.exe next to it
# (the program's own folder is searched first for "wusa.exe"): the Windows
# version chosen with winecfg, the agent key written with reg add, the full
# exit code read back through cmd from a batch file, and the log checked.
tool_dir="$prefix/drive_c/tw/bin"
mkdir -p "$tool_dir" "$prefix/drive_c/tw/agent"
cp "$build/tool/esu-prereq-check.exe" "$build/tests/wine/stub/wusa.exe" "$tool_dir/"
esu_log="$prefix/drive_c/tw/agent/logs/twprereqhandler.log"
agent_key='HKLM\Software\Brisoly\Tarnwell\TWAgent'

# The agent key in both registry views, so a 32-bit tool on a 64-bit prefix
# finds it as well as a 64-bit one; a view the prefix lacks is skipped.
agent_key_add() {
  for view in /reg:64 /reg:32; do
    "$wine" reg add "$agent_key" /v TWAgentInstallDir /t REG_SZ /d 'C:\tw\agent\' /f $view >/dev/null 2>&1
    "$wine" reg add "$agent_key" /v TWAgentLogLevel /t REG_DWORD /d 3 /f $view >/dev/null 2>&1
  done
}
agent_key_delete() {
  for view in /reg:64 /reg:32; do
    "$wine" reg delete "$agent_key" /f $view >/dev/null 2>&1
  done
}
windows() { "$wine" winecfg -v "$1" >/dev/null 2>&1; }

# run_tool <installer code> <options...>: the tool's full exit code.
run_tool() {
  local code=$1
  shift
  printf '%s\r\n' "$code" >"$tool_dir/wusa-code.txt"
  rm -f "$tool_dir/wusa-args.txt"
  printf '@echo off\r\nC:\\tw\\bin\\esu-prereq-check.exe %s\r\necho %%ERRORLEVEL%%\r\n' "$*" \
    >"$prefix/drive_c/tw/run.bat"
  "$wine" cmd /c 'C:\tw\run.bat' 2>/dev/null | tr -d '\r' | tail -n 1
}
installer_args() { tr -d '\r' <"$tool_dir/wusa-args.txt" 2>/dev/null; }
# log_has <count> <level> <message>: lines that end with exactly this message.
log_has() {
  local n
  n=$(tr -d '\r' <"$esu_log" 2>/dev/null | grep -cF -- "] $2 $3" || true)
  [ "$n" -eq "$1" ]
}
log_lines() { tr -d '\r' <"$esu_log" 2>/dev/null | wc -l; }

agent_key_add
options='-fn C:\pkg\update.msu -s "/quiet /norestart"'

# A fresh prefix answers as Windows 7.
check "win7: installer 0 gives 0" test "$(run_tool 0 "$options")" = 0
check "win7: installer command line" test "$(installer_args)" = 'wusa.exe C:\pkg\update.msu /quiet /norestart'
check "win7: log opened" log_has 1 '[INFO]' 'Log open time:'
check "win7: first line" log_has 1 '[INFO]' 'Check ESU.'
check "win7: file name" log_has 1 '[INFO]' 'SSU Filename: C:\pkg\update.msu'
check "win7: switches" log_has 1 '[INFO]' 'SSU args: /quiet /norestart'
check "win7: version 6" log_has 1 '[INFO]' 'MajorVersion : 6'
check "win7: minor 1" log_has 1 '[INFO]' 'MinorVersion : 1'
check "win7: workstation" log_has 1 '[INFO]' 'ProductType : 1'
check "win7: applicable" log_has 1 '[INFO]' 'ESU is applicable.'
check "win7: command line logged" log_has 1 '[INFO]' 'Command line args: wusa.exe C:\pkg\update.msu /quiet /norestart'
check "win7: exit code logged" log_has 1 '[INFO]' 'execute : Exit code for the application : 0 '
check "win7: close line last" bash -c "tr -d '\r' <'$esu_log' | tail -n 1 | grep -q '\[INFO\] Log close time: '"
check "win7: 3010 gives 0" test "$(run_tool 3010 "$options")" = 0
# (wine has no system text for 3010; Windows has)
check "win7: 3010 logged as error" log_has 1 '[ERROR]' 'Error Code : 3010 , Error Message : '
check "win7: 1641 gives 0" test "$(run_tool 1641 "$options")" = 0
check "win7: 1508 gives 0" test "$(run_tool 1508 "$options")" = 0
check "win7: 2359302 passes in full" test "$(run_tool 2359302 "$options")" = 2359302
check "win7: 1603 passes" test "$(run_tool 1603 "$options")" = 1603
check "win7: no options" test "$(run_tool 0 "")" = 0
check "win7: no options command line" test "$(installer_args)" = 'wusa.exe  '
check "win7: percent signs" test "$(run_tool 0 '-s /log:%%TEMP%%\w.evtx -fn u.msu')" = 0
check "win7: percent signs logged" log_has 1 '[INFO]' 'SSU args: /log:%TEMP%\w.evtx'
check "win7: percent signs passed on" test "$(installer_args)" = 'wusa.exe u.msu /log:%TEMP%\w.evtx'
check "win7: every run appended" log_has 8 '[INFO]' 'Check ESU.'
check "win7: an open line per run" log_has 8 '[INFO]' 'Log open time:'
# No installer anywhere: wine's own wusa.exe is moved aside with the stand-in.
installers=$(ls "$tool_dir/wusa.exe" "$prefix"/drive_c/windows/sys*/wusa.exe 2>/dev/null)
for f in $installers; do mv "$f" "$f.off"; done
check "win7: missing installer gives 2" test "$(run_tool 0 "$options")" = 2
check "win7: missing installer logged" log_has 1 '[INFO]' 'execute : Failed to Create the Process for the application '
for f in $installers; do mv "$f.off" "$f"; done

windows win2008
check "win2008: applies" test "$(run_tool 1603 "$options")" = 1603
check "win2008: server 6.0" log_has 1 '[INFO]' 'MinorVersion : 0'
check "win2008: server type" log_has 1 '[INFO]' 'ProductType : 3'

windows win2008r2
check "win2008r2: applies" test "$(run_tool 3010 "$options")" = 0
check "win2008r2: installer ran" test "$(installer_args)" = 'wusa.exe C:\pkg\update.msu /quiet /norestart'

# Without a manifest wine, like Windows, answers 6.2 for Windows 10.
windows win10
check "win10: not applicable" test "$(run_tool 0 "$options")" = 50023
check "win10: installer not started" test ! -e "$tool_dir/wusa-args.txt"
check "win10: reason" log_has 1 '[INFO]' 'ESU not applicable to this machine.'
check "win10: return code" log_has 1 '[INFO]' 'Return Code: 50023'

windows winxp
check "winxp: not applicable" test "$(run_tool 0 "$options")" = 50023
check "winxp: reason" log_has 2 '[INFO]' 'ESU not applicable to this machine.'

# Without the agent key: the same exit codes, and not a line more in the log.
agent_key_delete
lines_before=$(log_lines)
check "no agent key: winxp still 50023" test "$(run_tool 0 "$options")" = 50023
windows win7
check "no agent key: win7 still installs" test "$(run_tool 3010 "$options")" = 0
check "no agent key: installer ran" test -s "$tool_dir/wusa-args.txt"
check "no agent key: nothing logged" test "$(log_lines)" -eq "$lines_before"

echo "wine ($arch build): $passed passed, $failed failed"
[ "$failed" -eq 0 ]
