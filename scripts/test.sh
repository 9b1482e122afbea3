#!/usr/bin/env bash
# Runs all tests on a fresh Debian machine: installs what is missing, builds
# every preset, then runs the unit tests (native, sanitizers on) and the
# end-to-end tests (the real stub under Wine, on a virtual display).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
source scripts/wine-env.sh
trap '[ -n "${VANTOR_XVFB_PID:-}" ] && kill "$VANTOR_XVFB_PID" 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
ctest --test-dir build/native --output-on-failure -j2 "$@"
