#!/bin/bash
# Installs what building and testing Morvane needs on Debian 12 (run as root).
# Each step is skipped when its result is already there, so a second run is quick.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  updated=no
fi

for p in cmake make g++ clang g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686 \
         wine wine32:i386 xvfb xauth x11-utils locales fonts-ipafont-gothic googletest libclang-rt-14-dev libpng-dev; do
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
