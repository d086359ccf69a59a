# Shared by the engine scripts (sourced, not run). Each engine script keeps
# everything it makes below one state folder, so that two build folders can
# run their suites at the same time and a later start can clean up after a
# run that was killed half-way.

set -euo pipefail

die() {
  echo "$engine: $*" >&2
  exit 1
}

usage() {
  echo "usage: $0 start|stop|env <state folder>" >&2
  exit 2
}

# A loopback port that nothing listens on now. Another starter may take it
# before our server binds it, so callers retry on a bind failure.
free_port() {
  local port tries=0
  while [ $tries -lt 200 ]; do
    port=$((20000 + RANDOM % 40000))
    tries=$((tries + 1))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  die "no free loopback port found"
}

# A Unix socket path must fit in sun_path (108 bytes with its NUL). When the
# state folder is too deep, the socket goes to a short folder below /tmp
# whose name the state folder remembers.
socket_dir() { # socket_dir <wanted folder> <longest file name in it>
  local wanted=$1 name=$2 link="$1.tmp"
  if [ $((${#wanted} + ${#name} + 1)) -lt 100 ]; then
    mkdir -p "$wanted"
    echo "$wanted"
    return
  fi
  local short
  short=$(mktemp -d /tmp/tw-engine.XXXXXX)
  echo "$short" >"$link"
  echo "$short"
}

remove_socket_dir() { # remove_socket_dir <wanted folder>
  local link="$1.tmp"
  if [ -f "$link" ]; then
    rm -rf -- "$(cat "$link")"
    rm -f -- "$link"
  fi
  rm -rf -- "$1"
}

# The connection facts: one KEY=VALUE a line, the value being the rest of
# the line as it is (no shell quoting), so programs read it without a shell.
# Written to a temporary name and renamed, so a reader never sees half.
write_env() { # write_env <file> KEY=VALUE...
  local file=$1
  shift
  printf '%s\n' "$@" >"$file.new"
  mv -f -- "$file.new" "$file"
}

# Prints the facts as shell exports (TW_<ENGINE>_<KEY>), for developers:
#   eval "$(scripts/engines/postgresql.sh env build/e/engines)"
print_env() { # print_env <file>
  local file=$1 prefix key value
  [ -f "$file" ] || die "not started: $file is missing"
  prefix="TW_$(echo "$engine" | tr '[:lower:]' '[:upper:]')_"
  while IFS= read -r line; do
    key=${line%%=*}
    value=${line#*=}
    printf 'export %s%s=%q\n' "$prefix" "$key" "$value"
  done <"$file"
}

# Waits until a process has ended; kills it after the given seconds.
wait_gone() { # wait_gone <pid> <seconds>
  local pid=$1 i
  for ((i = 0; i < $2 * 10; i++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  sleep 0.2
}

# Runs a command as the unprivileged owner of a server that refuses root.
as_owner() { # as_owner <user> <command...>
  local user=$1
  shift
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$user" -- "$@"
  else
    "$@"
  fi
}
