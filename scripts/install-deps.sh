#!/bin/bash
# Installs what building and testing Morvane needs on Debian 12 (run as root).
# Both editions are always built; 64-bit Wine is always installed. The i386
# architecture and 32-bit Wine are installed only where this machine can
# execute 32-bit x86 code (MORVANE_I386=0 says it cannot).
# Each step is skipped when its result is already there, so a second run is quick.
set -euo pipefail
source "$(dirname "$0")/edition.sh"

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

pkgs=(cmake make g++ clang
      g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
      wine wine64 xvfb xauth x11-utils locales fonts-ipafont-gothic googletest libclang-rt-14-dev libpng-dev)
if morvane_i386_ok; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  pkgs+=(wine32:i386)
fi
for p in "${pkgs[@]}"; do
  have "$p" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen
fi
