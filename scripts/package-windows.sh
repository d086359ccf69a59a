#!/usr/bin/env bash
# Leaves the Windows release folder as a zip:
#   scripts/package-windows.sh [<build dir> [<toolchain file>]]
# (default build/win32 with cmake/i686-w64-mingw32.cmake, the shipped build).
# Builds what is missing, installs into <build dir>/package/twagent-windows-<arch>
# and zips it beside: bin/ (esu-prereq-check.exe, twlibxml2.dll), lib/ (the
# static libraries, libtwlibxml2.dll.a, the CMake package), include/twagent/,
# examples/data (the sample data directory) and examples/store (store.exe
# with its source, twlibxml2.dll beside it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/win32}
toolchain=${2:-cmake/i686-w64-mingw32.cmake}
case $toolchain in
*i686*) arch=i686 ;;
*x86_64*) arch=x86_64 ;;
*) arch=windows ;;
esac
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain" >/dev/null
cmake --build "$build" -j 2 >/dev/null
name=twagent-windows-$arch
stage=$build/package/$name
rm -rf "$stage" "$build/package/$name.zip"
cmake --install "$build" --prefix "$stage" >/dev/null
mkdir -p "$stage/examples/store"
cp -r examples/data "$stage/examples/"
cp "$build/examples/store/store.exe" "$build/examples/store/twlibxml2.dll" examples/store/store.c "$stage/examples/store/"
(cd "$build/package" && zip -qr "$name.zip" "$name")
echo "$build/package/$name.zip"
