#!/usr/bin/env bash
# SQLite for the tests: nothing to start; the tests link the C library and
# keep their database files in one folder.
#   sqlite.sh start <state folder>   an empty folder for database files
#   sqlite.sh stop <state folder>    removes it
#   sqlite.sh env <state folder>     the connection facts as shell exports
engine=sqlite
source "$(dirname "$0")/common.sh"

[ $# -eq 2 ] || usage
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
databases=$state/sqlite/databases
env_file=$state/sqlite.env

stop() {
  rm -f -- "$env_file"
  rm -rf -- "$databases"
}

start() {
  command -v sqlite3 >/dev/null || die "sqlite3 is not installed (run scripts/install-deps.sh)"
  stop
  mkdir -p "$databases"
  write_env "$env_file" \
    ENGINE=sqlite \
    DATA_DIR="$databases" \
    CLIENT=sqlite3
  echo "sqlite: databases in $databases"
}

case $action in
start) start ;;
stop) stop ;;
env) print_env "$env_file" ;;
*) usage ;;
esac
