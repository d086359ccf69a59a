#!/usr/bin/env bash
# Cross-compiles libxml2 for Windows from Debian's source package:
#   scripts/build-twlibxml2.sh <build dir> <toolchain file>
# leaves <build dir>/twlibxml2/install/{bin/twlibxml2.dll,
# lib/libtwlibxml2.dll.a, include/libxml2/libxml/*.h}. Nothing but the
# distribution's own source is used (apt-get source; install-deps.sh enables
# the source archive). Once per build folder: a finished install is kept.
# Without iconv, zlib, lzma, HTTP, FTP and python (the store reads its own
# UTF-8 files and nothing else).
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <build dir> <toolchain file>" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mkdir -p "$1/twlibxml2" && cd "$1/twlibxml2" && pwd)
toolchain=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
install=$work/install
stamp=$install/.built-with-$(basename "$toolchain" .cmake)

if [ -f "$stamp" ] && [ -f "$install/bin/twlibxml2.dll" ]; then
    exit 0
fi

# A fetch that was cut short is started again (the marker comes last).
if [ ! -f "$work/source/.fetched" ]; then
    rm -rf "$work/source"
    mkdir -p "$work/source"
    echo "build-twlibxml2: fetching Debian's libxml2 source" >&2
    (cd "$work/source" && apt-get source -qq libxml2 >apt-source.log 2>&1) || {
        cat "$work/source/apt-source.log" >&2
        echo "build-twlibxml2: apt-get source libxml2 failed (is a deb-src entry enabled? scripts/install-deps.sh adds one)" >&2
        exit 1
    }
    touch "$work/source/.fetched"
fi
source=$(ls -d "$work"/source/libxml2-*/ | head -n 1)

echo "build-twlibxml2: cross-compiling $(basename "$source") as twlibxml2.dll" >&2
rm -rf "$work/build" "$install"
cmake -S "$root/cmake/twlibxml2" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$install" \
    -DTW_LIBXML2_SOURCE="${source%/}" \
    -DCMAKE_SHARED_LINKER_FLAGS="-static -static-libgcc" \
    -DBUILD_SHARED_LIBS=ON \
    -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_LZMA=OFF \
    -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_PYTHON=OFF \
    -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF \
    >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1 || { tail -n 50 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; exit 1; }
touch "$stamp"
