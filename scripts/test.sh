#!/bin/bash
# Installs what is missing, checks that no include runs up a floor, builds
# every configuration and runs every test:
# the portable logic natively (ASan/UBSan), then the Wine suite against the
# 64-bit edition (always) and the 32-bit edition (where this machine can
# execute i386 code), each in a fresh Japanese prefix, headless.
# Exits non-zero on any failure.
#   scripts/test.sh            everything
#   MORVANE_SKIP_INSTALL=1     skip the package step
#   MORVANE_I386=0             treat this machine as one that cannot run i386 code
#   MORVANE_FUZZ_SECONDS=N     seconds per fuzz target (default 60, 0 = none)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
started=$(date +%s)
source scripts/edition.sh

if [ "${MORVANE_SKIP_INSTALL:-}" != 1 ]; then
  if [ "$(id -u)" = 0 ]; then
    bash scripts/install-deps.sh || exit 1
  else
    sudo MORVANE_I386="${MORVANE_I386:-}" bash scripts/install-deps.sh || exit 1
  fi
fi

if morvane_i386_ok; then
  i386=yes
  echo "== this machine executes i386 code: both editions run under Wine"
else
  i386=no
  if [ "${MORVANE_I386:-}" = 0 ]; then why="MORVANE_I386=0"; else why="this machine cannot execute i386 code"; fi
  echo "== $why: the 32-bit edition is built and checked, its Wine tests are not run"
fi

jobs=$(nproc 2>/dev/null || echo 2)
status=0
summary=()
passed_total=0 failed_total=0 skipped_total=0

build() {  # build DIR LOG cmake-args...
  local dir=$1 log=$2
  shift 2
  cmake -S . -B "$dir" "$@" >"$log" 2>&1 && cmake --build "$dir" -j"$jobs" >>"$log" 2>&1 ||
    { tail -50 "$log"; echo "== BUILD FAILED ($dir, see $log)"; exit 1; }
}

# Runs ctest in a build folder and adds its counts to the summary.
run_ctest() {  # run_ctest LABEL DIR [ctest args...]
  local label=$1 dir=$2 log
  shift 2
  log=$(mktemp "${TMPDIR:-/tmp}/morvane-ctest.XXXXXX")
  ctest --test-dir "$dir" --output-on-failure "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line total failed
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  else
    failed=1 total=1
  fi
  [ $rc = 0 ] || status=1
  passed_total=$((passed_total + total - failed))
  failed_total=$((failed_total + failed))
  summary+=("$label: $((total - failed)) of $total test programs passed")
  rm -f "$log"
}

echo "== floors (FLOORS): no include runs up a floor"
if bash scripts/check-floors.sh; then
  summary+=("floors: every include runs down a floor or stays on it")
else
  status=1
  summary+=("floors: FAILED (a file includes a header of a floor above its own)")
fi

echo "== native build (portable logic, sanitizers)"
build build-native build-native.log -DMORVANE_NATIVE=ON -DCMAKE_BUILD_TYPE=Debug
echo "== Windows build, 64-bit edition (MinGW-w64 x86-64): build64/bin/Morvane64.exe"
build build64 build64.log -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
echo "== Windows build, 32-bit edition (MinGW-w64 i686): build/bin/Morvane.exe"
build build build.log -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release

echo "== executables (objdump)"
for e in "build64/bin/Morvane64.exe 64" "build/bin/Morvane.exe 32"; do
  # shellcheck disable=SC2086
  bash scripts/check-pe.sh $e || status=1
done

echo "== native tests"
run_ctest "native" build-native

source scripts/wine-session.sh
trap wine_session_stop EXIT
echo "== Wine tests, 64-bit edition (Morvane64.exe, win64 prefix)"
wine_session_start "$root/build64/wineprefix" 64
if [ $i386 = yes ]; then
  run_ctest "Wine, Morvane64.exe" build64
else
  # The 64-bit edition's tests of its 32-bit plug-in worker need 32-bit code.
  run_ctest "Wine, Morvane64.exe" build64 -E '^worker32_test$'
  skipped_total=$((skipped_total + 1))
  summary+=("Wine, Morvane64.exe: worker32_test (the 32-bit plug-in worker) not run ($why)")
fi
wine_session_stop

if [ $i386 = yes ]; then
  echo "== Wine tests, 32-bit edition (Morvane.exe, win32 prefix)"
  wine_session_start "$root/build/wineprefix" 32
  run_ctest "Wine, Morvane.exe" build
  wine_session_stop
else
  skipped=$(ctest --test-dir build -N 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)/\1/p')
  skipped=${skipped:-0}
  skipped_total=$((skipped_total + skipped))
  summary+=("Wine, Morvane.exe: $skipped test programs not run ($why); built and checked with objdump only")
fi
trap - EXIT

if [ -x scripts/fuzz.sh ] && [ "${MORVANE_FUZZ_SECONDS:-60}" != 0 ]; then
  echo "== fuzzing (${MORVANE_FUZZ_SECONDS:-60} s per target)"
  if bash scripts/fuzz.sh "${MORVANE_FUZZ_SECONDS:-60}"; then
    summary+=("fuzzing: no finding")
  else
    status=1
    summary+=("fuzzing: FAILED")
  fi
fi

echo "== summary ($(( $(date +%s) - started )) s in all, installs included)"
for s in "${summary[@]}"; do echo "   $s"; done
echo "total: $passed_total passed, $failed_total failed, $skipped_total skipped"
if [ $status = 0 ]; then echo "== all tests passed"; else echo "== TESTS FAILED"; fi
exit $status
