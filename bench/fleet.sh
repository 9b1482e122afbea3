#!/usr/bin/env bash
# A fleet of installs through the agent's own deciding code, natively: the
# share eligible on each day of a 7-day staged rollout against the plan, and
# the busiest second of 100,000 agents started in the same minute with the
# check spread and without it. Exits 1 when a target is missed.
#
#   bench/fleet.sh [INSTALLS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sim="$root/build/native/bench/fleet_sim"
if [ ! -x "$sim" ]; then
  echo "fleet.sh: $sim is missing: cmake --build --preset native --target fleet_sim" >&2
  exit 2
fi
# The native build carries the sanitizers; leaks are not what this measures.
ASAN_OPTIONS=detect_leaks=0 exec "$sim" "$@"
