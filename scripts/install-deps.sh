#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Run as root.
# Packages already present are not asked for again, so a provisioned machine
# passes through in a second.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config file
  libgtest-dev libgmock-dev libbenchmark-dev
  mingw-w64 wine wine64
  libxml2-dev unixodbc-dev libsqlite3-dev sqlite3
)

# wine32 runs the i686 build as it ships; it needs a kernel that executes
# 32-bit code. Where that is switched off, the x86_64 build stands in.
if "$(dirname "$0")/can-run-32bit.sh"; then
  packages+=(wine32:i386)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
