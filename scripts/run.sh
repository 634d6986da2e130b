#!/bin/bash
# Builds Morvane if needed and starts it under Wine on your display.
# The Wine prefix lives in ~/.local/share/morvane/wineprefix (made under a
# Japanese locale the first time, so that texts use code page 932).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if ! command -v i686-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null; then
  echo "Installing the build tools and Wine (needs root)..."
  if [ "$(id -u)" = 0 ]; then bash scripts/install-deps.sh; else sudo bash scripts/install-deps.sh; fi
fi

if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target Morvane morvane_spi_plugins 2>/dev/null ||
  cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target Morvane

if [ -z "${DISPLAY:-}" ]; then
  echo "No display (DISPLAY is not set): start Morvane from a desktop session." >&2
  exit 1
fi

export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/morvane/wineprefix}
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1 || true
fi
exec wine "$root/build/bin/Morvane.exe"
