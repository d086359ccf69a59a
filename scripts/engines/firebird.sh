#!/usr/bin/env bash
# Firebird 3 for the tests, embedded: no server process. A test reaches a
# database file directly, through libfbclient's embedded engine or isql-fb.
#   firebird.sh start <state folder>   a private engine configuration and a folder for database files
#   firebird.sh stop <state folder>    removes the database files
#   firebird.sh env <state folder>     the connection facts as shell exports
# The engine's default mode (Super) opens a database for one process only,
# so a test could not look at its database with isql-fb while it holds a
# connection. The private configuration (found through FIREBIRD) runs the
# embedded engine as SuperClassic, which shares a database between processes
# through the lock folder in FIREBIRD_LOCK. Every program that opens these
# databases must use both variables: the .env file carries them.
engine=firebird
source "$(dirname "$0")/common.sh"

[ $# -eq 2 ] || usage
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
dir=$state/firebird
root=$dir/root
databases=$dir/databases
env_file=$state/firebird.env

stop() {
  rm -f -- "$env_file"
  rm -rf -- "$databases" "$root"
}

start() {
  command -v isql-fb >/dev/null || die "isql-fb is not installed (run scripts/install-deps.sh)"
  stop
  mkdir -p "$root/lock" "$databases"
  printf 'ServerMode = SuperClassic\n' >"$root/firebird.conf"
  export FIREBIRD=$root FIREBIRD_LOCK=$root/lock
  # The probe proves that the embedded engine is installed and works here.
  local probe=$databases/probe.fdb answer
  answer=$(isql-fb -q 2>&1 <<SQL
SET SQL DIALECT 3;
CREATE DATABASE '$probe' USER 'SYSDBA' DEFAULT CHARACTER SET UTF8;
SET LIST ON;
SELECT 'engine answers' AS PROBE FROM RDB\$DATABASE;
DROP DATABASE;
SQL
) || true
  rm -f -- "$probe"
  case $answer in
  *"engine answers"*) ;;
  *) die "the embedded engine does not answer: $answer" ;;
  esac
  write_env "$env_file" \
    ENGINE=firebird \
    USER=SYSDBA \
    PASSWORD=masterkey \
    DATA_DIR="$databases" \
    FIREBIRD="$root" \
    FIREBIRD_LOCK="$root/lock" \
    CLIENT="env FIREBIRD=$root FIREBIRD_LOCK=$root/lock isql-fb -q -u SYSDBA"
  echo "firebird: embedded, databases in $databases"
}

case $action in
start) start ;;
stop) stop ;;
env) print_env "$env_file" ;;
*) usage ;;
esac
