#!/bin/bash
# Builds the benchmarks and runs them once under a headless Wine session,
# printing their figures: decoding (many small files, one huge file, memory
# growth), opening a huge image in the preview, loading a long list against
# decoding its files alone and removing half of it, loads in parallel
# (PNGs, a worker pool, the window's answers, memory), loading and unloading
# 100 plug-ins, and a plug-in in a worker process against the same plug-in
# in the program. Benchmarks print figures and
# ratios; they are not tests.
# They run in the 32-bit edition where this machine can execute 32-bit x86
# code and in the 64-bit edition otherwise; every figure names its edition.
#   scripts/bench.sh                 uses build/ or build64/ (the README's build folders)
#   BUILD_DIR=build-x scripts/bench.sh
#   MORVANE_I386=0                   the 64-bit edition on any machine
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source "$root/scripts/edition.sh"
if morvane_i386_ok; then
  edition=32 label="[Morvane.exe, 32-bit]" toolchain=cmake/mingw-i686.cmake build=${BUILD_DIR:-build}
else
  edition=64 label="[Morvane64.exe, 64-bit]" toolchain=cmake/mingw-x86_64.cmake build=${BUILD_DIR:-build64}
fi
case $build in /*) ;; *) build=$root/$build ;; esac

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" --target morvane_decode_bench morvane_preview_bench morvane_remove_bench morvane_wic_bench morvane_startup_bench morvane_worker_bench morvane_load_bench -j2 || exit 1

source "$root/scripts/wine-session.sh"
trap wine_session_stop EXIT
wine_session_start "$build/benchprefix" "$edition"
rc=0
for bench in decode preview remove load wic startup worker; do
  out=$build/bench/${bench}_bench.out
  # Wine writes to files only, never to a pipe someone waits on.
  (cd "$build/bench" && wine_exec "./morvane_${bench}_bench.exe" </dev/null >"$out" 2>"$out.err")
  code=$?
  echo "== $bench $label (exit $code)"
  sed "s/^/$label /" "$out"
  [ $code -eq 1 ] && rc=1  # 1: the benchmark itself broke; 2: a target was missed
done
wine_session_stop
trap - EXIT
exit "$rc"
