#!/bin/bash
# Builds the decode benchmark and runs it once under a headless Wine session.
#   scripts/bench.sh                 uses build/ (the README's build folder)
#   BUILD_DIR=build-x scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$root/$build ;; esac

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" --target morvane_decode_bench -j2

source "$root/scripts/wine-session.sh"
out=$build/bench/decode_bench.out
wine_session_start "$build/benchprefix"
rc=0
# Wine writes to files only, never to a pipe someone waits on.
wine "$build/bench/morvane_decode_bench.exe" </dev/null >"$out" 2>"$out.err" || rc=$?
wine_session_stop
cat "$out"
if [ "$rc" -ne 0 ]; then
  echo "benchmark failed (exit $rc); see $out.err" >&2
fi
exit "$rc"
