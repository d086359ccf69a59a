#!/usr/bin/env bash
# Stops or starts again a server that scripts/engines/<engine>.sh started in
# <state>, keeping its data, port and socket (the engine scripts' own stop
# throws the data away): a server that goes down in the middle of a test
# and comes back with everything it had committed.
#   engine_pause.sh postgresql|mariadb <state> down|up
set -euo pipefail
engine=$1 state=$2 action=$3
env_file=$state/$engine.env
value() { grep "^$1=" "$env_file" | head -n 1 | cut -d= -f2-; }
as_postgres() { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
case $engine:$action in
postgresql:down)
  as_postgres /usr/lib/postgresql/15/bin/pg_ctl -D "$(value DATA_DIR)" -m fast -w -t 30 stop >/dev/null ;;
postgresql:up)
  cd "$state/postgresql"
  as_postgres /usr/lib/postgresql/15/bin/pg_ctl -D "$(value DATA_DIR)" -l "$(value LOG)" -w -t 60 \
    -o "-k '$(value SOCKET_DIR)' -p $(value PORT) -c listen_addresses=127.0.0.1" start >/dev/null ;;
mariadb:down)
  pid=$(cat "$state/mariadb/mariadbd.pid")
  kill -TERM "$pid"
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || exit 0; sleep 0.1; done
  exit 1 ;;
mariadb:up)
  user=(); [ "$(id -u)" -eq 0 ] && user=(--user=root)
  PATH=$PATH:/usr/sbin setsid mariadbd --no-defaults --innodb-log-file-size=8M "${user[@]}" \
    --datadir="$(value DATA_DIR)" --socket="$(value SOCKET)" --port="$(value PORT)" --bind-address=127.0.0.1 \
    --pid-file="$state/mariadb/mariadbd.pid" --log-error="$(value LOG)" --skip-name-resolve \
    --max-connections=200 --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
    --innodb-buffer-pool-size=64M </dev/null >/dev/null 2>&1 &
  for _ in $(seq 600); do
    mariadb-admin --no-defaults -S "$(value SOCKET)" -u root ping >/dev/null 2>&1 && exit 0
    sleep 0.1
  done
  exit 1 ;;
*) echo "usage: $0 postgresql|mariadb <state> down|up" >&2; exit 2 ;;
esac
