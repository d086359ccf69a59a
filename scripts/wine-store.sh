#!/usr/bin/env bash
# Runs the Windows build of examples/store under wine against a database:
#
#   scripts/wine-store.sh <windows build dir> <wine command> <engine> <examples/data>
#
# engine: sqlite (a database file) or postgresql (the server of
# scripts/engines/postgresql.sh, whose state folder TW_ENGINE_STATE names).
# Wine's odbc32 hands the program's ODBC calls to the host's unixODBC, so the
# data source is a unixODBC one (ODBCINI, ODBCSYSINI) with the host's driver
# of the program's own word size: i386 drivers for the i686 build under
# wine32, x86_64 ones for the x86_64 build under wine64. The program gets its
# data directory as a Windows path (Z:\...\examples\data), works below the
# prefix's temporary folder and reads its files through ..\data\ from its
# bin folder. Prints what the program printed, then the rows the database
# holds afterwards ("db: ..." lines); CTest checks both.
set -euo pipefail
build=${1:?windows build directory}
wine=${2:?wine command}
engine=${3:?engine}
data=$(cd "${4:?examples/data}" && pwd)
exe=$build/examples/store/store.exe

pe_offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
case $(od -An -tu2 -j$((pe_offset + 4)) -N2 "$exe" | tr -d ' ') in
332) drivers=/usr/lib/i386-linux-gnu/odbc ;;
34404) drivers=/usr/lib/x86_64-linux-gnu/odbc ;;
*) echo "wine-store: $exe is no Windows program" >&2; exit 1 ;;
esac

work=$(mktemp -d /tmp/tw-wine-store.XXXXXX)
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

variant=
case $engine in
sqlite)
  driver=$drivers/libsqlite3odbc.so
  database=$work/velmora.db
  cat >"$work/odbcinst.ini" <<INI
[SQLite3]
Driver=$driver
INI
  # SQLite checks foreign keys only when asked; the store's other engines
  # always do.
  cat >"$work/odbc.ini" <<INI
[VelmoraStore]
Driver=SQLite3
Database=$database
FKSupport=1
INI
  rows() { sqlite3 -separator ' ' "$database" 'select HostName, coalesce(MemoryMB, 0) from Machine order by MachineId'; }
  ;;
postgresql)
  driver=$drivers/psqlodbca.so
  state=${TW_ENGINE_STATE:?TW_ENGINE_STATE names the engines state folder}
  while IFS='=' read -r key value; do declare "E_$key=$value"; done <"$state/postgresql.env"
  database=velmora_wine
  psql_=(/usr/lib/postgresql/15/bin/psql -X -q -h "$E_HOST" -p "$E_PORT" -U "$E_USER")
  "${psql_[@]}" -d postgres -c "drop database if exists $database" -c "create database $database" >/dev/null
  cat >"$work/odbcinst.ini" <<INI
[PostgreSQL ANSI]
Driver=$driver
INI
  cat >"$work/odbc.ini" <<INI
[VelmoraStore]
Driver=PostgreSQL ANSI
Servername=$E_HOST
Port=$E_PORT
Database=$database
BoolsAsChar=0
INI
  variant='Z:'$(echo "$data/variants/postgresql" | tr / '\\')
  rows() { "${psql_[@]}" -d "$database" -At -F ' ' -c 'select HostName, coalesce(MemoryMB, 0) from Machine order by MachineId'; }
  ;;
*) echo "wine-store: no engine $engine" >&2; exit 2 ;;
esac
[ -f "$driver" ] || { echo "wine-store: the driver $driver is missing (scripts/install-deps.sh)" >&2; exit 1; }
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini HOME=$work

# The program and twlibxml2.dll side by side, as shipped.
mkdir -p "$work/bin"
cp "$exe" "$build/examples/store/twlibxml2.dll" "$work/bin/"
"$wine" cmd /c exit >/dev/null 2>&1
windows_data='Z:'$(echo "$data" | tr / '\\')
status=0
(cd "$work/bin" && "$wine" store.exe "$windows_data" ${variant:+"$variant"}) 2>&1 | tr -d '\r' || status=$?
rows | sed 's/^/db: /'
# The program removes its folder when it ends (Windows refuses while a
# process still works in it).
leftover=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp/velmora-store.* 2>/dev/null || true)
if [ -n "$leftover" ]; then
  echo "FAILED: store.exe left $leftover behind"
  status=1
fi
exit $status
