#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine (as root): installs what is
# missing, builds, and runs the logging program, printing its log.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j "$(nproc)" --target logdemo
demo_dir=$(mktemp -d /tmp/tw-demo.XXXXXX)
log=$(build/native/runtime/logdemo "$demo_dir" 4)
echo "== $log"
cat "$log"
