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
# An empty selection is an error, not a pass. Skipped cases show in ctest's
# summary; their reasons are printed after it.
status=0
ctest --test-dir build/native --output-on-failure --no-tests=error -j2 "$@" || status=$?
log=build/native/Testing/Temporary/LastTest.log
if [ -f "$log" ] && grep -q '^SKIPPED ' "$log"; then
  echo "Skipped cases and why:"
  grep '^SKIPPED ' "$log" | sed 's/^SKIPPED /  /' | sort -u
fi
exit "$status"
