#!/bin/bash
# Builds the benchmarks and runs them once under a headless Wine session,
# printing their figures: decoding (many small files, one huge file, memory
# growth), opening a huge image in the preview, removing half of a long
# list. Benchmarks print figures and ratios; they are not tests.
#   scripts/bench.sh                 uses build/ (the README's build folder)
#   BUILD_DIR=build-x scripts/bench.sh
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$root/$build ;; esac

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" --target morvane_decode_bench morvane_preview_bench morvane_remove_bench -j2 || exit 1

source "$root/scripts/wine-session.sh"
wine_session_start "$build/benchprefix"
rc=0
for bench in decode preview remove; do
  out=$build/bench/${bench}_bench.out
  # Wine writes to files only, never to a pipe someone waits on.
  (cd "$build/bench" && wine "./morvane_${bench}_bench.exe" </dev/null >"$out" 2>"$out.err")
  code=$?
  echo "== $bench (exit $code)"
  cat "$out"
  [ $code -eq 1 ] && rc=1  # 1: the benchmark itself broke; 2: a target was missed
done
wine_session_stop
exit "$rc"
