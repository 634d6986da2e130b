#!/bin/bash
# Builds the libFuzzer targets with clang and runs each for a while.
#   scripts/fuzz.sh [seconds]   (default 60 per target)
# Corpora persist in build-fuzz/corpus-<target> and grow from run to run;
# findings (crash-*, leak-*, timeout-*, oom-*) land in build-fuzz/findings-<target>.
# Exits non-zero when any target finds something or fails to run.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
case $seconds in '' | *[!0-9]*) echo "usage: $0 [seconds]" >&2; exit 2 ;; esac
build=$root/build-fuzz
targets="fuzz_bmp fuzz_dib"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DMORVANE_NATIVE=ON -DMORVANE_FUZZ=ON >"$build.configure.log" 2>&1 ||
  { echo "configure failed, see $build.configure.log" >&2; exit 1; }
cmake --build "$build" -j2 --target $targets fuzz_make_seeds >"$build.build.log" 2>&1 ||
  { echo "build failed, see $build.build.log" >&2; exit 1; }

# Seeds: what the bitmap builder makes, plus the public BMP suite when it is
# beside the checkout (a fresh clone has none and does without).
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds/bmp" "$seeds/dib"
"$build/fuzz_make_seeds" "$seeds" || { echo "fuzz_make_seeds failed" >&2; exit 1; }
suite=${MORVANE_CORPUS:-$root/../shared/corpus/bmpsuite}
if [ -d "$suite" ]; then
  n=0
  for f in "$suite"/*/*.bmp; do
    [ -f "$f" ] || continue
    cp "$f" "$seeds/bmp/suite-$(basename "$(dirname "$f")")-$(basename "$f")"
    n=$((n + 1))
  done
  echo "seeds: added $n files of $suite"
else
  echo "seeds: builder only ($suite not present)"
fi

status=0
for t in $targets; do
  case $t in fuzz_bmp) seed=$seeds/bmp ;; fuzz_dib) seed=$seeds/dib ;; esac
  corpus=$build/corpus-$t
  findings=$build/findings-$t
  log=$build/$t.log
  mkdir -p "$corpus" "$findings"
  # New inputs go to the first folder (the persistent corpus); seeds are read only.
  (cd "$findings" && "$build/$t" "$corpus" "$seed" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1)
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
  files=$(find "$corpus" -type f | wc -l)
  found=$(find "$findings" -type f | wc -l)
  printf '%-9s exit %d, %s execs (%s/s), %s, corpus %d files, findings %d\n' \
    "$t" "$rc" "${execs:-?}" "${speed:-?}" "${cov:-cov: ?}" "$files" "$found"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    status=1
    echo "  $t: see $log and $findings/" >&2
    grep -E '^(==[0-9]+==|SUMMARY)' "$log" | head -5 >&2
  fi
done
exit $status
