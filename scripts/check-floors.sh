#!/bin/bash
# Fails when a file includes a header of a floor above its own (FLOORS).
#   scripts/check-floors.sh            checks the tree
# Prints each wrong-way include as "file:line: includes header (floor a over b)".
set -uo pipefail
cd "$(dirname "$0")/.."
declare -A floor_of   # folder -> floor number
declare -A name_of    # floor number -> floor name
n=0
while read -r name folders; do
  case $name in ''|'#'*) continue ;; esac
  n=$((n + 1))
  name_of[$n]=$name
  for f in $folders; do floor_of[$f]=$n; done
done < FLOORS
# The bundled plug-in stands beside the house, on the ground floor and the
# Susie interface alone.
floor_of[spi]=0

# The floor of a path: its longest folder named in FLOORS; empty if none.
floor() {
  local dir=${1%/*} best=""
  while [ "$dir" != "$1" ] && [ -n "$dir" ]; do
    if [ -n "${floor_of[$dir]:-}" ]; then best=${floor_of[$dir]}; break; fi
    [ "${dir%/*}" = "$dir" ] && break
    dir=${dir%/*}
  done
  echo "$best"
}

bad=0
while IFS= read -r file; do
  from=$(floor "$file")
  [ -n "$from" ] || continue
  while IFS=: read -r line header; do
    to=$(floor "$header")
    [ -n "$to" ] || continue
    if [ "$from" = 0 ]; then
      # spi/: its own files, the ground floor, and the interface of susie/.
      case $header in spi/*|base/*|susie/spi_interface.h|susie/spi_result_codes.h) continue ;; esac
      echo "$file:$line: includes $header (spi/ takes only the ground floor and the Susie interface)"
      bad=1
    elif [ "$to" -gt "$from" ]; then
      echo "$file:$line: includes $header (floor ${name_of[$to]} over ${name_of[$from]})"
      bad=1
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
           sed -E 's/^([0-9]+):[^"]*"([^"]+)".*/\1:\2/')
done < <(git ls-files '*.cpp' '*.h'; git ls-files --others --exclude-standard '*.cpp' '*.h')
if [ $bad = 0 ]; then echo "check-floors: every include runs down a floor or stays on it"; fi
exit $bad
