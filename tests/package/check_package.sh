#!/usr/bin/env bash
# Installs a build tree into a temporary prefix, then builds a C program
# against it twice, through find_package(twagent) and through pkg-config,
# and runs both on the sample data dictionary.
#
#   check_package.sh <build dir> <source dir>
set -euo pipefail
build=${1:?build directory}
source=${2:?source directory}

work=$(mktemp -d /tmp/tw-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

echo "== find_package(twagent)"
cmake -S "$source/tests/package/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" "$source/examples/data" "$work/logs-cmake"
grep -q "consumer: dictionary 1, Machine found" "$work/logs-cmake/consumer.log"

echo "== pkg-config velmora"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046
cc -o "$work/consumer-pc" "$source/tests/package/consumer/main.c" $(pkg-config --cflags --libs --static velmora)
"$work/consumer-pc" "$source/examples/data" "$work/logs-pc"
grep -q "consumer: dictionary 1, Machine found" "$work/logs-pc/consumer.log"
