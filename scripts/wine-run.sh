#!/bin/bash
# Runs one Windows program under Wine for ctest. Wine's helper processes
# (started on demand) inherit the output of the program that started them
# and outlive it: writing to a file and printing it afterwards keeps them
# off ctest's pipe, which would otherwise stay open until they exit.
out=$(mktemp "${TMPDIR:-/tmp}/morvane-wine-run.XXXXXX")
wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
