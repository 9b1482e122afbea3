#!/usr/bin/env bash
# Sizes of the 32-bit and 64-bit stub.exe against the 250 KB budget (every
# byte of the stub ships with every package; the budget has to hold the
# update agent too). Exits 1 when a built stub is over it.
#
#   bench/stub_size.sh
#   VANTOR_WIN_BUILD=/x VANTOR_WIN64_BUILD=/y bench/stub_size.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
limit=256000
over=0
for build in "${VANTOR_WIN_BUILD:-$root/build/win32}" "${VANTOR_WIN64_BUILD:-$root/build/win64}"; do
  stub=$build/src/stub.exe
  if [[ ! -f $stub ]]; then
    echo "$stub: not built"
    continue
  fi
  size=$(stat -c %s "$stub")
  if ((size > limit)); then
    verdict="OVER by $((size - limit)) bytes"
    over=1
  else
    verdict="$((limit - size)) bytes to spare"
  fi
  echo "$stub: $size bytes ($((size / 1024)) KB) of $limit ($((limit / 1024)) KB): $verdict"
done
exit $over
