#!/bin/bash
# Builds Morvane if needed and starts it under Wine on your display: the
# 32-bit edition (Morvane.exe) where this machine can execute 32-bit x86
# code, the 64-bit edition (Morvane64.exe) otherwise. The Wine prefix is
# $WINEPREFIX, by default one in ~/.local/share/morvane/; a prefix made here
# is made under a Japanese locale, so that texts use code page 932. The
# 32-bit edition runs in an existing prefix of either architecture.
#   MORVANE_I386=0   start the 64-bit edition on any machine
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/edition.sh

if morvane_i386_ok; then
  edition=32 build=build toolchain=cmake/mingw-i686.cmake exe=Morvane.exe
  compiler=i686-w64-mingw32-g++-posix loader=/usr/lib/wine/wine
else
  edition=64 build=build64 toolchain=cmake/mingw-x86_64.cmake exe=Morvane64.exe
  compiler=x86_64-w64-mingw32-g++-posix loader=$MORVANE_WINE64
fi

if ! command -v "$compiler" >/dev/null || [ ! -x "$loader" ] ||
   ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  echo "Installing the build tools and Wine (needs root)..."
  if [ "$(id -u)" = 0 ]; then bash scripts/install-deps.sh
  else sudo MORVANE_I386="${MORVANE_I386:-}" bash scripts/install-deps.sh; fi
fi

# The first build shows everything it prints, errors included.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target Morvane

if [ -z "${DISPLAY:-}" ]; then
  echo "No display (DISPLAY is not set): start Morvane from a desktop session." >&2
  exit 1
fi

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
if [ $edition = 64 ]; then
  export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/morvane/wineprefix64}
else
  export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/morvane/wineprefix}
fi
export WINELOADER=$loader
# A prefix that exists keeps its own architecture: Wine refuses a WINEARCH
# that differs from it. The 32-bit edition runs in either kind (in a
# 64-bit prefix through WoW64); the 64-bit one needs a 64-bit prefix.
arch=$(morvane_prefix_arch "$WINEPREFIX")
unset WINEARCH
if [ -z "$arch" ]; then
  mkdir -p "$WINEPREFIX"
  WINEARCH=win$edition "$loader" wineboot -i </dev/null >/dev/null 2>&1 || true
  morvane_font_replacements "$loader" || true
elif [ $edition = 64 ] && [ "$arch" != win64 ]; then
  echo "$WINEPREFIX is a 32-bit Wine prefix; the 64-bit edition needs a 64-bit one (set WINEPREFIX to another folder)." >&2
  exit 1
fi
echo "Starting the $edition-bit edition: $build/bin/$exe"
exec "$loader" "$root/$build/bin/$exe"
