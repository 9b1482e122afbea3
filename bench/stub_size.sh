#!/usr/bin/env bash
# Sizes of the 32-bit and 64-bit stub.exe against the budget: 230,400 bytes
# (225 KB) for the i686 stub, the one vendors ship, with the whole update
# agent in it (every byte ships with every package). The x86_64 stub is
# shown beside it. Exits 1 when the i686 stub is over the budget or either
# stub is not built.
#
#   bench/stub_size.sh
#   VANTOR_WIN32_BUILD=/x VANTOR_WIN64_BUILD=/y bench/stub_size.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
limit=230400
status=0
stub32=${VANTOR_WIN32_BUILD:-$root/build/win32}/src/stub.exe
stub64=${VANTOR_WIN64_BUILD:-$root/build/win64}/src/stub.exe
for stub in "$stub32" "$stub64"; do
  if [[ ! -f $stub ]]; then
    echo "stub_size: $stub is missing, so its size cannot be checked; build it" \
      "(scripts/build.sh, or cmake --preset P && cmake --build --preset P --target stub" \
      "with P win32 or win64)" >&2
    status=1
  fi
done
((status == 0)) || exit 1
size=$(stat -c %s "$stub32")
if ((size > limit)); then
  verdict="OVER by $((size - limit)) bytes"
  status=1
else
  verdict="$((limit - size)) bytes to spare"
fi
echo "i686 $stub32: $size bytes of $limit: $verdict"
echo "x86_64 $stub64: $(stat -c %s "$stub64") bytes"
exit $status
