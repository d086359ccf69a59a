#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Run as root.
# Packages already present are not asked for again, so a provisioned machine
# passes through in a second.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config file
  libgtest-dev libgmock-dev libbenchmark-dev
  mingw-w64 wine wine64
  # apt-get source unpacks with dpkg-source (libxml2 for the Windows builds).
  dpkg-dev
  libxml2-dev unixodbc-dev libsqlite3-dev sqlite3
  # The ODBC driver manager with its tools and the drivers the store's tests
  # reach the engines through (SQLite3, psqlODBC, MariaDB Connector/ODBC).
  unixodbc odbc-postgresql odbc-mariadb libsqliteodbc
  # The database engines that the tests start for themselves (scripts/engines/)
  # and the client libraries through which the tests read results back.
  postgresql-15 postgresql-client-15 libpq-dev
  mariadb-server mariadb-client libmariadb-dev
  firebird3.0-server firebird3.0-utils firebird-dev
)
# Packages whose installation would start a system-wide server. The tests
# run their own servers on private sockets and free ports; a system server
# would only hold memory and the well-known ports, so none is left running.
server_packages=(postgresql-15 mariadb-server firebird3.0-server)
server_services=(postgresql mariadb firebird3.0)

# wine32 runs the i686 build as it ships; it needs a kernel that executes
# 32-bit code. Where that is switched off, the x86_64 build stands in.
# wine32's odbc32 hands ODBC calls to the host's 32-bit unixODBC, which
# loads 32-bit drivers: those let the i686 data store reach the engines.
if "$(dirname "$0")/can-run-32bit.sh"; then
  packages+=(wine32:i386 unixodbc:i386 libsqliteodbc:i386 odbc-postgresql:i386)
fi

# The distribution's source archive, for `apt-get source libxml2`
# (scripts/build-twlibxml2.sh): a deb-src entry in a file of its own,
# beside the machine's own sources and naming the same mirrors.
source_list=/etc/apt/sources.list.d/twagent-deb-src.sources
need_update=
if [ ! -e "$source_list" ] && ! grep -rqs '^\(deb-src\|Types:.*deb-src\)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$source_list"
  else
    grep -h '^deb ' /etc/apt/sources.list 2>/dev/null | sed 's/^deb /deb-src /' >"${source_list%.sources}.list"
  fi
  need_update=1
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ -n "$need_update" ] && [ ${#missing[@]} -eq 0 ]; then
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --add-architecture i386
  fi
  # Non-interactive: firebird3.0-server's question for a SYSDBA password
  # stays unasked (the package then makes one up; the tests use the engine
  # embedded, without that server).
  export DEBIAN_FRONTEND=noninteractive DEBCONF_NONINTERACTIVE_SEEN=true
  # While installing, a policy-rc.d that refuses every start keeps the
  # server packages from starting their services; a machine's own policy
  # file is left as it is.
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\n# install-deps.sh: no service starts while it installs\nexit 101\n' >"$policy"
    chmod +x "$policy"
    trap 'rm -f "$policy"' EXIT
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # Where systemd runs, the freshly installed servers would start at the
  # next boot: keep them off (only those installed now, never a server the
  # machine had before).
  if [ -d /run/systemd/system ]; then
    for i in "${!server_packages[@]}"; do
      if printf '%s\n' "${missing[@]}" | grep -qx "${server_packages[$i]}"; then
        systemctl disable --now "${server_services[$i]}" >/dev/null 2>&1 || true
      fi
    done
  fi
fi
