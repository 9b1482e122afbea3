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
server_pid=""
finish() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  [[ -n ${started_xvfb:-} ]] && kill "$VANTOR_XVFB_PID" 2>/dev/null
  rm -rf "$work" "${folder:-/nonexistent}"
  true
}
trap finish EXIT
if [[ -z ${WINEPREFIX:-} || -z ${DISPLAY:-} || -z ${VANTOR_WIN_ARCH:-} ]]; then
  # shellcheck source=../scripts/wine-env.sh
  source "$root/scripts/wine-env.sh"
  [[ -n ${VANTOR_XVFB_PID:-} ]] && started_xvfb=1
fi
win=${VANTOR_WIN_BUILD:-$root/build/$("$root/scripts/wine-arch.sh")}
vpack=$root/build/native/tools/pack/vpack
for need in "$win/src/stub.exe" "$win/tests/support/window_probe.exe" "$vpack"; do
  [[ -f $need ]] || { echo "$need is not built: run scripts/build.sh" >&2; exit 1; }
done

mkdir -p "$work/www/upd"
# The interpreter itself, so that $! is the test server's own process: a
# version manager's python3 may be a wrapper, and killing that would leave
# the server running.
python=$(python3 -c 'import sys; print(sys.executable)')
"$python" "$root/tests/support/http_server.py" "$work/www" --port-file "$work/port" \
  --max-seconds 600 --verbose 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 1 100); do [[ -s $work/port ]] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$work/port")/upd"

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
wine "$win/tests/support/window_probe.exe" wait .AutoUpdate.X_Bench.AutoUpdate 30000 >/dev/null

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
wine "$win/tests/support/window_probe.exe" post .AutoUpdate.X_Bench.AutoUpdate 1123 0 >/dev/null
wine "$win/tests/support/window_probe.exe" gone .AutoUpdate.X_Bench.AutoUpdate 10000 >/dev/null || true
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
echo "work: min $(head -1 <<<"$sorted") ms, median $(sed -n "$(( (runs + 1) / 2 ))p" <<<"$sorted") ms, max $(tail -1 <<<"$sorted") ms (target: every check below 500 ms)"
echo "the requests: the client opens the URL once before each download, then downloads it"
if (( miss )); then echo "target missed"; exit 1; fi
echo "target met"
