#!/bin/bash
# Runs one Windows program under Wine for ctest, with the loader of its
# edition (a PE32+ image through the 64-bit loader). Wine's helper
# processes (started on demand) inherit the output of the program that
# started them and outlive it: writing to a file and printing it afterwards
# keeps them off ctest's pipe, which would otherwise stay open until they exit.
source "$(dirname "$0")/edition.sh"
loader=wine
# The optional header's magic: 0x20b is PE32+.
lfanew=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
if [ -n "$lfanew" ] && [ "$(od -An -tx2 -j$((lfanew + 24)) -N2 "$1" | tr -d ' ')" = 020b ]; then
  loader=$MORVANE_WINE64
fi
out=$(mktemp "${TMPDIR:-/tmp}/morvane-wine-run.XXXXXX")
"$loader" "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
