#!/bin/bash
# Installs what is missing, builds both configurations and runs every test:
# the portable logic natively (ASan/UBSan) and everything else under Wine
# in a fresh Japanese prefix, headless. Exits non-zero on any failure.
#   scripts/test.sh            everything
#   MORVANE_SKIP_INSTALL=1     skip the package step
#   MORVANE_FUZZ_SECONDS=N     seconds per fuzz target (default 60, 0 = none)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ "${MORVANE_SKIP_INSTALL:-}" != 1 ]; then
  if [ "$(id -u)" = 0 ]; then
    bash scripts/install-deps.sh || exit 1
  else
    sudo bash scripts/install-deps.sh || exit 1
  fi
fi

jobs=$(nproc 2>/dev/null || echo 2)
status=0

echo "== native build (portable logic, sanitizers)"
cmake -S . -B build-native -DMORVANE_NATIVE=ON -DCMAKE_BUILD_TYPE=Debug >build-native.log 2>&1 &&
  cmake --build build-native -j"$jobs" >>build-native.log 2>&1 || { tail -50 build-native.log; exit 1; }

echo "== Windows build (MinGW-w64 i686)"
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >build.log 2>&1 &&
  cmake --build build -j"$jobs" >>build.log 2>&1 || { tail -50 build.log; exit 1; }

echo "== native tests"
ctest --test-dir build-native --output-on-failure || status=1

source scripts/wine-session.sh
trap wine_session_stop EXIT
echo "== starting Wine session"
wine_session_start "$root/build/wineprefix"
echo "== Wine tests"
ctest --test-dir build --output-on-failure || status=1
wine_session_stop
trap - EXIT

if [ -x scripts/fuzz.sh ] && [ "${MORVANE_FUZZ_SECONDS:-60}" != 0 ]; then
  echo "== fuzzing (${MORVANE_FUZZ_SECONDS:-60} s per target)"
  bash scripts/fuzz.sh "${MORVANE_FUZZ_SECONDS:-60}" || status=1
fi

if [ $status = 0 ]; then echo "== all tests passed"; else echo "== TESTS FAILED"; fi
exit $status
