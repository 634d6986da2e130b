#!/bin/bash
# Checks a built executable natively with objdump, without running it:
#   scripts/check-pe.sh FILE 32|64
# 32: PE32 i386, large-address-aware; 64: PE32+ x86-64. Both: a GUI
# program that imports nothing beyond Windows' own DLLs, with a manifest
# that allows long paths.
set -uo pipefail
file=$1 edition=$2
if [ "$edition" = 64 ]; then
  objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 magic=020b
else
  objdump=i686-w64-mingw32-objdump format=pei-i386 magic=010b
fi
fail() { echo "check-pe: $file: $*" >&2; exit 1; }
[ -f "$file" ] || fail "missing"
headers=$($objdump -p "$file") || fail "objdump cannot read it"
grep -q "file format $format" <<<"$headers" || fail "not $format"
grep -qi "^Magic[[:space:]]*$magic" <<<"$headers" || fail "optional header magic is not $magic"
grep -qi "^Subsystem[[:space:]]*00000002" <<<"$headers" || fail "not a GUI program"
if [ "$edition" = 32 ]; then
  grep -qi "large address aware" <<<"$headers" || fail "not large-address-aware"
fi
grep -q "longPathAware>true<" "$file" || fail "no long-path manifest"
allowed=" KERNEL32.DLL USER32.DLL GDI32.DLL COMCTL32.DLL COMDLG32.DLL SHELL32.DLL SHLWAPI.DLL OLE32.DLL OLEAUT32.DLL ADVAPI32.DLL MSVCRT.DLL "
count=0
while read -r dll; do
  dll=${dll^^}
  [[ "$allowed" == *" $dll "* ]] || fail "imports $dll"
  count=$((count + 1))
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ $count -gt 3 ] || fail "only $count imported DLLs: is the import table there?"
echo "check-pe: $(basename "$file"): $format, GUI, $count system DLLs"
