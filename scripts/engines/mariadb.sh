#!/usr/bin/env bash
# A throwaway MariaDB server for the tests:
#   mariadb.sh start <state folder>   fresh data folder, mariadbd on its own socket and a free loopback port
#   mariadb.sh stop <state folder>    stops it and removes its data (the log stays)
#   mariadb.sh env <state folder>     the connection facts as shell exports
# No option files are read (--no-defaults), so the machine's own MariaDB
# configuration cannot change what the tests see. The server's SQL mode and
# backslash escapes stay at their defaults: that is what the data store
# meets in the field. `root` has no password and reaches the server on the
# socket and on 127.0.0.1, where nobody else can.
engine=mariadb
source "$(dirname "$0")/common.sh"

[ $# -eq 2 ] || usage
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
dir=$state/mariadb
data=$dir/data
pid_file=$dir/mariadbd.pid
env_file=$state/mariadb.env

# Shared by the install and the server: the redo log size is fixed at install.
server_options=(--no-defaults --innodb-log-file-size=8M)
if [ "$(id -u)" -eq 0 ]; then
  server_options+=(--user=root)
fi

stop() {
  rm -f -- "$env_file"
  if [ -f "$pid_file" ]; then
    local pid
    pid=$(cat "$pid_file")
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      wait_gone "$pid" 30
    fi
    rm -f -- "$pid_file"
  fi
  rm -rf -- "$data"
  remove_socket_dir "$dir/sock"
}

start() {
  local sock port tries pid i
  command -v mariadbd >/dev/null || [ -x /usr/sbin/mariadbd ] ||
    die "mariadbd is not installed (run scripts/install-deps.sh)"
  command -v mariadb >/dev/null || die "the mariadb client is not installed (run scripts/install-deps.sh)"
  stop
  mkdir -p "$dir"
  sock=$(socket_dir "$dir/sock" "mariadbd.sock")/mariadbd.sock
  cd "$dir"
  mariadb-install-db "${server_options[@]}" --datadir="$data" \
    --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1 ||
    die "mariadb-install-db failed: $(tail -n 5 "$dir/install.log")"
  for tries in 1 2 3 4 5; do
    # TW_ENGINE_PORT asks for a given port: a restart keeps its address.
    port=${TW_ENGINE_PORT:-$(free_port)}
    rm -f -- "$dir/server.log"
    # Durability is traded for speed: the data is thrown away at the end.
    PATH=$PATH:/usr/sbin setsid mariadbd "${server_options[@]}" --datadir="$data" \
      --socket="$sock" --port="$port" --bind-address=127.0.0.1 --pid-file="$pid_file" \
      --log-error="$dir/server.log" --skip-name-resolve --max-connections=200 \
      --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
      --innodb-buffer-pool-size=64M --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 \
      </dev/null >/dev/null 2>&1 &
    pid=$!
    for ((i = 0; i < 600; i++)); do
      if ! kill -0 "$pid" 2>/dev/null; then
        break
      fi
      if mariadb-admin --no-defaults -S "$sock" -u root ping >/dev/null 2>&1; then
        # The server writes its own pid file; ours stands in until it has.
        [ -s "$pid_file" ] || echo "$pid" >"$pid_file"
        write_env "$env_file" \
          ENGINE=mariadb \
          HOST=127.0.0.1 \
          PORT="$port" \
          SOCKET="$sock" \
          USER=root \
          PASSWORD= \
          DATABASE= \
          DATA_DIR="$data" \
          LOG="$dir/server.log" \
          CLIENT="mariadb --no-defaults -S $sock -u root"
        echo "mariadb: running on 127.0.0.1:$port and $sock"
        return 0
      fi
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    # A port taken between the check and the bind is worth another try;
    # anything else is not.
    grep -qi 'address already in use' "$dir/server.log" 2>/dev/null || break
  done
  die "server did not start: $(tail -n 5 "$dir/server.log" 2>/dev/null)"
}

case $action in
start) start ;;
stop) stop ;;
env) print_env "$env_file" ;;
*) usage ;;
esac
