#!/usr/bin/env bash
# Builds every preset: native (vpack, unit tests), win32 and win64 (stub.exe,
# vpack.exe, the Windows test programs).
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in ${VANTOR_PRESETS:-native win32 win64}; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
