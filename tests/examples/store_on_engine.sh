#!/usr/bin/env bash
# Runs examples/store on a database server started by scripts/engines:
#   store_on_engine.sh <engine> <store program> <examples/data>
# Makes a fresh database velmora_example, an ODBC configuration of its own
# with the data source VelmoraStore that the variant's connparams.txt names
# (the data-source list cannot carry a server's port), and runs the program
# on examples/data with examples/data/variants/<engine> laid over it.
set -euo pipefail
engine=$1 program=$2 data=$3
state=${TW_ENGINE_STATE:?TW_ENGINE_STATE names the engines state folder}
# shellcheck disable=SC1090
while IFS='=' read -r key value; do declare "E_$key=$value"; done <"$state/$engine.env"
config=$(mktemp -d /tmp/store-odbc.XXXXXX)
trap 'rm -rf "$config"' EXIT
database=velmora_example
drivers=/usr/lib/x86_64-linux-gnu/odbc
case $engine in
postgresql)
  /usr/lib/postgresql/15/bin/psql -X -h "$E_HOST" -p "$E_PORT" -U "$E_USER" -d postgres -q \
    -c "drop database if exists $database" -c "create database $database" >/dev/null
  cat >"$config/odbcinst.ini" <<INI
[PostgreSQL ANSI]
Driver=$drivers/psqlodbca.so
INI
  cat >"$config/odbc.ini" <<INI
[VelmoraStore]
Driver=PostgreSQL ANSI
Servername=$E_HOST
Port=$E_PORT
Database=$database
BoolsAsChar=0
INI
  ;;
mariadb)
  mariadb --no-defaults -h "$E_HOST" -P "$E_PORT" -u "$E_USER" \
    -e "drop database if exists $database; create database $database"
  cat >"$config/odbcinst.ini" <<INI
[MariaDB]
Driver=$drivers/libmaodbc.so
INI
  cat >"$config/odbc.ini" <<INI
[VelmoraStore]
Driver=MariaDB
SERVER=$E_HOST
PORT=$E_PORT
DATABASE=$database
INI
  ;;
*) echo "store_on_engine.sh: no variant for $engine" >&2; exit 2 ;;
esac
export ODBCSYSINI=$config ODBCINI=$config/odbc.ini HOME=$config
"$program" "$data" "$data/variants/$engine"
