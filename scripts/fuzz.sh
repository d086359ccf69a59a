#!/usr/bin/env bash
# Runs every libFuzzer target of the project for a given time each.
#
#   scripts/fuzz.sh [SECONDS [TARGET...]]   (default 60 s, every target;
#                                            as root when clang is missing)
#
# Configures a clang build with -DTW_FUZZ=ON in build/fuzz (every library
# under ASan and UBSan with the fuzzer's coverage instrumentation), builds
# the targets that build lists in fuzzers.txt, and runs each on its own
# corpus in build/fuzz/corpus/<target> (started from its seed files, kept
# between runs). Findings (crash-, leak-, timeout-, oom- files) land in
# build/fuzz/findings/<target>/; reproduce one with
#   build/fuzz/<path of the target> <finding file>
# Prints executions and findings per target (a target stops at its first
# finding, and its report is in findings/<target>.log); exits 1 when any
# target found something. Not part of scripts/test.sh: it takes minutes by design.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
case $seconds in
'' | *[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS [TARGET...]]" >&2; exit 2 ;;
esac
shift $(($# > 0 ? 1 : 0))
only=" $* "

if ! command -v clang++-14 >/dev/null || ! command -v clang-14 >/dev/null ||
  ! ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "fuzz: installing clang-14 and its runtime libraries"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends clang-14 libclang-rt-14-dev >/dev/null ||
    { echo "fuzz: could not install clang-14 (run as root)" >&2; exit 2; }
fi
scripts/install-deps.sh || exit 2

build=$root/build/fuzz
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_FUZZ=ON \
  >/dev/null || exit 2
# The targets the build has, or those of them named on the command line.
mapfile -t chosen < <(awk -v only="$only" 'only == "  " || index(only, " " $1 " ")' "$build/fuzzers.txt")
if [ ${#chosen[@]} -eq 0 ]; then
  echo "fuzz: no such target; the build has: $(awk '{print $1}' "$build/fuzzers.txt" | tr '\n' ' ')" >&2
  exit 2
fi
mapfile -t targets < <(printf '%s\n' "${chosen[@]}" | awk '{print $1}')
echo "fuzz: building ${targets[*]}"
cmake --build "$build" --target "${targets[@]}" -j "$(nproc)" >/dev/null || {
  cmake --build "$build" --target "${targets[@]}" -j 1 2>&1 | grep -E 'error|Error' | head -20
  exit 2
}

found_any=0
printf '%-22s %12s %8s %10s  %s\n' target executions corpus findings "seconds each: $seconds"
while read -r name program seeds; do
  corpus=$build/corpus/$name
  findings=$build/findings/$name
  mkdir -p "$corpus" "$findings"
  if [ "$seeds" != - ] && [ -d "$seeds" ]; then
    cp -n "$seeds"/* "$corpus"/ 2>/dev/null
  fi
  log=$build/findings/$name.log
  touch "$findings/.started" # findings of earlier runs stay, but are not counted again
  # A target stops at its first finding and saves the input that caused it.
  (cd "$findings" && "$program" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1)
  executions=$(grep -Eo 'stat::number_of_executed_units: [0-9]+' "$log" | awk '{print $2}')
  new_findings=$(find "$findings" -maxdepth 1 -type f -newer "$findings/.started" \( -name 'crash-*' \
    -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \))
  count=$(printf '%s' "$new_findings" | grep -c . || true)
  printf '%-22s %12s %8s %10s\n' "$name" "${executions:-?}" "$(ls "$corpus" | wc -l)" "$count"
  if [ "$count" -gt 0 ]; then
    found_any=1
    printf '    %s\n' $new_findings
    grep -E '^(==[0-9]+==ERROR|SUMMARY)' "$log" | sort -u | head -5 | sed 's/^/    /'
  fi
done < <(printf '%s\n' "${chosen[@]}")
exit "$found_any"
