#!/usr/bin/env bash
# A throwaway PostgreSQL 15 cluster for the tests:
#   postgresql.sh start <state folder>   fresh cluster on a Unix socket and a free loopback port
#   postgresql.sh stop <state folder>    stops it and removes its data (the log stays)
#   postgresql.sh env <state folder>     the connection facts as shell exports
# The server refuses to run as root, so as root the cluster belongs to the
# unprivileged `postgres` user that Debian's package creates. Trust
# authentication: the server listens on 127.0.0.1 and a private socket only.
engine=postgresql
source "$(dirname "$0")/common.sh"

[ $# -eq 2 ] || usage
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
dir=$state/postgresql
data=$dir/data
env_file=$state/postgresql.env
owner=postgres

bin_dir() {
  local bin=/usr/lib/postgresql/15/bin
  [ -x "$bin/pg_ctl" ] || die "PostgreSQL 15 is not installed ($bin/pg_ctl missing; run scripts/install-deps.sh)"
  echo "$bin"
}

stop() {
  rm -f -- "$env_file"
  if [ -f "$data/postmaster.pid" ]; then
    local pid
    pid=$(head -n 1 "$data/postmaster.pid")
    (cd "$dir" && as_owner $owner "$(bin_dir)/pg_ctl" -D "$data" -m fast -w -t 30 stop >/dev/null 2>&1) || true
    [ -n "$pid" ] && wait_gone "$pid" 10
  fi
  rm -rf -- "$data"
  remove_socket_dir "$dir/sock"
}

start() {
  local bin sock port tries
  bin=$(bin_dir)
  stop
  mkdir -p "$dir"
  sock=$(socket_dir "$dir/sock" ".s.PGSQL.65535.lock")
  if [ "$(id -u)" -eq 0 ]; then
    id $owner >/dev/null 2>&1 || die "user $owner is missing (it comes with Debian's postgresql package)"
    chown $owner: "$dir" "$sock"
  fi
  cd "$dir"
  as_owner $owner "$bin/initdb" -D "$data" -A trust -U postgres -E UTF8 --locale=C -N \
    >"$dir/initdb.log" 2>&1 || die "initdb failed: $(tail -n 5 "$dir/initdb.log")"
  # A throwaway cluster needs no durability; this keeps table creation fast.
  cat >>"$data/postgresql.conf" <<CONF
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 200
CONF
  for tries in 1 2 3 4 5; do
    # TW_ENGINE_PORT asks for a given port: a restart keeps its address.
    port=${TW_ENGINE_PORT:-$(free_port)}
    if as_owner $owner "$bin/pg_ctl" -D "$data" -l "$dir/server.log" -w -t 60 \
      -o "-k '$sock' -p $port -c listen_addresses=127.0.0.1" start >/dev/null 2>&1; then
      write_env "$env_file" \
        ENGINE=postgresql \
        HOST=127.0.0.1 \
        PORT="$port" \
        SOCKET_DIR="$sock" \
        USER=postgres \
        PASSWORD= \
        DATABASE=postgres \
        DATA_DIR="$data" \
        LOG="$dir/server.log" \
        CLIENT="psql -X -h $sock -p $port -U postgres"
      psql -X -q -h "$sock" -p "$port" -U postgres -d postgres -c 'select 1' >/dev/null ||
        die "server started but does not answer (see $dir/server.log)"
      echo "postgresql: running on 127.0.0.1:$port and $sock"
      return 0
    fi
    # Another process may have taken the port between the check and the bind.
    as_owner $owner "$bin/pg_ctl" -D "$data" -m immediate stop >/dev/null 2>&1 || true
  done
  die "server did not start: $(tail -n 5 "$dir/server.log" 2>/dev/null)"
}

case $action in
start) start ;;
stop) stop ;;
env) print_env "$env_file" ;;
*) usage ;;
esac
