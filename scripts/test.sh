#!/usr/bin/env bash
# Runs every test on a fresh Debian 12 machine (as root):
#   1. installs what is missing,
#   2. cross-builds for Windows (i686, as shipped; plus x86_64 where this
#      kernel cannot run 32-bit code, so wine64 can run the Win32 half),
#   3. builds and runs the suite under AddressSanitizer and UBSan,
#   4. builds and runs the threaded suites under ThreadSanitizer,
#   5. builds and runs the suite natively, with the wine end-to-end runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

scripts/install-deps.sh

# The database servers of the engine tests start and stop as CTest fixtures
# (scripts/engines/), each build folder its own. Should a ctest run be cut
# short, nothing is left running.
stop_engines() {
  local build script
  for build in build/asan build/tsan build/native; do
    [ -d "$build/engines" ] || continue
    for script in scripts/engines/{sqlite,postgresql,mariadb,firebird}.sh; do
      "$script" stop "$build/engines" >/dev/null 2>&1 || true
    done
  done
}
trap stop_engines EXIT

configure() { # configure <dir> <cmake args...>
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
}

echo "== Windows cross build (i686)"
configure build/win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake"
cmake --build build/win32 -j "$jobs"
# The shipped i686 build runs under wine32 wherever the kernel runs 32-bit
# code (and install-deps could add wine32:i386); elsewhere the x86_64 build
# stands in under wine64.
if scripts/can-run-32bit.sh && [ -x /usr/lib/wine/wine ]; then
  windows_build=$root/build/win32
  wine_command=wine
  echo "== Windows programs under wine: the shipped i686 build, with wine32"
else
  echo "== Windows cross build (x86_64): this kernel runs no 32-bit code (or wine32 is missing)"
  echo "== Windows programs under wine: the x86_64 build, with wine64 (the shipped i686 build is not run)"
  configure build/win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake"
  cmake --build build/win64 -j "$jobs"
  windows_build=$root/build/win64
  wine_command=/usr/lib/wine/wine64
fi

echo "== Sanitizer build (ASan + UBSan)"
configure build/asan -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan -j "$jobs" --output-on-failure

echo "== ThreadSanitizer build"
# Only the suites that run threads; any report fails the run.
tsan_suites="log_test runtime_rotation_test platform_io_test util_test tables_test db_threads_test"
configure build/tsan -DTW_TSAN=ON
cmake --build build/tsan -j "$jobs" --target $tsan_suites
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build/tsan -j "$jobs" --output-on-failure -L "^(${tsan_suites// /|})\$"

echo "== Native build"
configure build/native -DTW_BUILD_BENCH=ON -DTW_WINDOWS_BUILD_DIR="$windows_build" -DTW_WINE="$wine_command"
cmake --build build/native -j "$jobs"
ctest --test-dir build/native -j "$jobs" --output-on-failure
