#!/usr/bin/env bash
# The signed update agent against a hostile server, under Wine: what a check
# costs in time and memory when the server sends without end, sends a huge
# signature, or sends a byte every 5 seconds. Each case installs its own
# agent (check interval -1, so it checks only when asked) whose update
# location is one of tests/support/http_server.py's routes, asks for one
# check ("/TEST=0") and waits for the agent's log line "Check decided in N
# ms" (or its refusal). Printed per case: the time from the request to that
# line and the peak memory (VmHWM) of the agent's Wine process, beside the
# agent checking a plain signed descriptor. Targets: every check ended
# within 90 s, the endless and huge bodies within 60 s, and the agent's peak
# memory below 64 MB. Exits 1 when a target is missed.
#
#   bench/agent_hostile.sh
#   VANTOR_BENCH_CASES="HugeSignature ..."   only these cases
#   VANTOR_WIN_BUILD=/x     Windows build (default: the one this host runs)
# WINEPREFIX and DISPLAY are taken as given, else from scripts/wine-env.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
folders=()
finish() {
  agent_bench_finish
  rm -rf "$work" "${folders[@]}"
}
trap finish EXIT
EXTRA_SERVER_ARGS="--max-seconds 900"
# shellcheck source=agent_bench_setup.sh
source "$root/bench/agent_bench_setup.sh"
mkdir -p "$work/www/upd"
"$vpack" keygen "$work/bench" >/dev/null

# The agent's process: the X_ copy does the checks.
agent_pid() { pgrep -f "X_Hostile$1\.AutoUpdate\.exe" | head -1; }

miss=0
# check NAME LOCATION DEADLINE: one check of a fresh agent checking LOCATION.
check() {
  local name=$1 location=$2 deadline=$3
  local folder="$WINEPREFIX/drive_c/Program Files/Vantor Hostile $name"
  folders+=("$folder")
  rm -rf "$folder" && mkdir -p "$folder"
  "$vpack" agent --stub "$win/src/stub.exe" -o "$folder" --update-url "$location" \
    --update-info Hostile.info --agent-name "Hostile$name.AutoUpdate.exe" \
    --update-token-plain bench --version 3 --check-interval -1 \
    --program '<InstallDir>\Bench.exe' --flag-agent-log --update-key "$work/bench.pub" >/dev/null
  local class=".AutoUpdate.X_Hostile$name.AutoUpdate" log="$folder/X_Hostile$name.AutoUpdate.log"
  wine "$folder/Hostile$name.AutoUpdate.exe"
  wine "$probe" wait "$class" 30000 >/dev/null
  # A refused signature ends the check at once; the box that says so may
  # then wait for the user, so the refusal's line counts as the end too.
  local done_re="Check decided in|ERROR: refused" start now ms=""
  start=$(date +%s%3N)
  wine "$folder/Hostile$name.AutoUpdate.exe" /TEST=0
  while now=$(date +%s%3N); ((now - start < 150000)); do
    if grep -aEq "$done_re" "$log" 2>/dev/null; then ms=$((now - start)); break; fi
    sleep 0.25
  done
  local pid hwm line
  pid=$(agent_pid "$name")
  hwm=$(awk '/VmHWM/ {print int($2 / 1024)}' "/proc/$pid/status" 2>/dev/null || echo "?")
  line=$(grep -aE "$done_re" "$log" | tail -1 | tr -d '\r' | sed -E 's/^.* X //' || true)
  wine "$probe" post "$class" 1123 0 >/dev/null
  wine "$probe" gone "$class" 10000 >/dev/null || true
  if [[ -z $line ]]; then
    printf '%-16s no decision within 150 s; the end of its log:\n' "$name:"
    tail -5 "$log" 2>/dev/null | sed 's/^/    /'
    miss=1
    return
  fi
  printf '%-16s ended in %6d ms (limit %2d s), peak memory %s MB: %s\n' "$name:" "$ms" "$deadline" "$hwm" "$line"
  ((ms <= deadline * 1000)) || miss=1
  [[ $hwm != "?" ]] && ((hwm < 64)) || miss=1
}

# A plain signed descriptor announcing the installed version, for the
# baseline, with a 50 MB "signature" beside a second copy, served without a
# length so that only the client's own bound stops it.
printf '[NewSetup]\r\nVersionNew=3\r\nStamp=1\r\nProgramName=Bench\r\n' >"$work/www/upd/Hostile.info"
"$vpack" sign-update "$work/www/upd/Hostile.info" --key "$work/bench.key" >/dev/null
mkdir -p "$work/www/huge"
cp "$work/www/upd/Hostile.info" "$work/www/huge/Hostile.info"
head -c 52428800 /dev/urandom >"$work/www/huge/Hostile.info.sig"
cp "$work/www/upd/Hostile.info" "$work/www/Hostile.info"

cases=${VANTOR_BENCH_CASES:-Plain EndlessInfo HugeSignature OneByteEvery5s}
for name in $cases; do
  case $name in
  Plain) check Plain "$server/upd" 90 ;;
  EndlessInfo) check EndlessInfo "$server/_endless" 60 ;;
  HugeSignature) check HugeSignature "$server/_nolength/huge" 60 ;;
  OneByteEvery5s) check OneByteEvery5s "$server/_trickle/5" 90 ;;
  *) echo "unknown case $name" >&2; exit 2 ;;
  esac
done
if ((miss)); then echo "target missed"; exit 1; fi
echo "targets met"
