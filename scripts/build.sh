#!/usr/bin/env bash
# Builds every preset: native (vpack, unit tests), win32 and win64 (stub.exe,
# vpack.exe, the Windows test programs). VANTOR_PRESETS chooses presets, and
# "preset:target,target" builds only those targets of one, e.g.
#   VANTOR_PRESETS="release:vpack win64:stub,sample_engine" scripts/build.sh
# The release preset builds the vpack to ship and both stubs (README).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
for entry in ${VANTOR_PRESETS:-native win32 win64}; do
  preset=${entry%%:*}
  targets=()
  if [ "$entry" != "$preset" ]; then
    IFS=, read -r -a names <<<"${entry#*:}"
    targets=(--target "${names[@]}")
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" "${targets[@]}"
done
