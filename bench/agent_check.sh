#!/usr/bin/env bash
# What a check that finds nothing new costs the update agent under Wine: an
# agent installed in the prefix (check interval -1, so it checks only when
# asked), a .info on tests/support/http_server.py announcing the installed
# version; "/TEST=0" asks for a check VANTOR_BENCH_RUNS times (default 5).
# Printed: the agent's own time from the start of a check to its decision
# (its log line "Check decided in N ms"), the bytes of the .info it
# downloaded, and the requests the server saw per check. The agent keeps its
# windows alive for 500 ms before and after each download by design; the
# rest is the check's work. Target: that work well under a second (below
# 500 ms). Exits 1 when a check misses it.
#
#   bench/agent_check.sh
#   VANTOR_BENCH_SIGNED=1   the agent carries a key and the .info is signed
#                           (its .sig is fetched and verified at every check)
#   VANTOR_WIN_BUILD=/x     Windows build (default: the one this host runs)
# WINEPREFIX and DISPLAY are taken as given, else from scripts/wine-env.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${VANTOR_BENCH_RUNS:-5}
signed=${VANTOR_BENCH_SIGNED:-0}
work=$(mktemp -d)
finish() {
  agent_bench_finish
  rm -rf "$work" "${folder:-/nonexistent}"
}
trap finish EXIT
EXTRA_SERVER_ARGS="--max-seconds 600 --verbose"
# shellcheck source=agent_bench_setup.sh
source "$root/bench/agent_bench_setup.sh"
mkdir -p "$work/www/upd"
url="$server/upd"

folder="$WINEPREFIX/drive_c/Program Files/Vantor Bench"
rm -rf "$folder" && mkdir -p "$folder"
key=()
if [[ $signed == 1 ]]; then
  "$vpack" keygen "$work/bench" >/dev/null
  key=(--update-key "$work/bench.pub")
fi
"$vpack" agent --stub "$win/src/stub.exe" -o "$folder" --update-url "$url" \
  --update-info Bench.info --agent-name Bench.AutoUpdate.exe --update-token-plain bench \
  --version 3 --check-interval -1 --program '<InstallDir>\Bench.exe' --flag-agent-log \
  "${key[@]}" >/dev/null
cp "$folder/Bench.info" "$work/www/upd/Bench.info" # announces the installed version
if [[ $signed == 1 ]]; then
  "$vpack" sign-update "$work/www/upd/Bench.info" --key "$work/bench.key" >/dev/null
  echo "signed: the agent fetches Bench.info.sig and verifies it at every check"
fi
log="$folder/X_Bench.AutoUpdate.log"

wine "$folder/Bench.AutoUpdate.exe"
wine "$probe" wait .AutoUpdate.X_Bench.AutoUpdate 30000 >/dev/null

miss=0
times=()
pauses=1000
for i in $(seq 1 "$runs"); do
  before=$(grep -ac "Check decided in" "$log" || true)
  requests_before=$(grep -c "Bench.info" "$work/server.log" || true) # .sig included
  wine "$folder/Bench.AutoUpdate.exe" /TEST=0
  for _ in $(seq 1 300); do
    [[ $(grep -ac "Check decided in" "$log" || true) -gt $before ]] && break
    sleep 0.1
  done
  line=$(grep -a "Check decided in" "$log" | tail -1 | tr -d '\r')
  ms=$(sed -E 's/.*Check decided in ([0-9]+) ms.*/\1/' <<<"$line")
  bytes=$(sed -E 's/.*\.info ([0-9]+) bytes.*/\1/' <<<"$line")
  requests=$(( $(grep -c "Bench.info" "$work/server.log" || true) - requests_before ))
  work_ms=$(( ms - pauses ))
  printf 'check %d: decided in %4d ms (%d ms of it the two pauses, %3d ms work), .info %d bytes, %d requests\n' \
    "$i" "$ms" "$pauses" "$work_ms" "$bytes" "$requests"
  times+=("$work_ms")
  (( work_ms < 500 )) || miss=1
done
wine "$probe" post .AutoUpdate.X_Bench.AutoUpdate 1123 0 >/dev/null
wine "$probe" gone .AutoUpdate.X_Bench.AutoUpdate 10000 >/dev/null || true
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
echo "work: min $(head -1 <<<"$sorted") ms, median $(sed -n "$(( (runs + 1) / 2 ))p" <<<"$sorted") ms, max $(tail -1 <<<"$sorted") ms (target: every check below 500 ms)"
echo "the requests per check: the .info (answered 304 when unchanged since the last check), and its .sig when signed"
if (( miss )); then echo "target missed"; exit 1; fi
echo "target met"
