# Sourced by the agent benchmarks (agent_check.sh, agent_hostile.sh), after
# they set `root` and `work` and trap an EXIT handler that calls
# agent_bench_finish. Sets `win`, `vpack`, `probe` and `server` (the base URL
# of tests/support/http_server.py serving $work/www, its log in
# $work/server.log); EXTRA_SERVER_ARGS go to the server.
server_pid=""

agent_bench_finish() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  [[ -n ${started_xvfb:-} ]] && kill "$VANTOR_XVFB_PID" 2>/dev/null
  true
}

if [[ -z ${WINEPREFIX:-} || -z ${DISPLAY:-} || -z ${VANTOR_WIN_ARCH:-} ]]; then
  # shellcheck source=../scripts/wine-env.sh
  source "$root/scripts/wine-env.sh"
  [[ -n ${VANTOR_XVFB_PID:-} ]] && started_xvfb=1
fi
win=${VANTOR_WIN_BUILD:-$root/build/$("$root/scripts/wine-arch.sh")}
vpack=$root/build/native/tools/pack/vpack
probe=$win/tests/support/window_probe.exe
for need in "$win/src/stub.exe" "$probe" "$vpack"; do
  [[ -f $need ]] || { echo "$need is not built: run scripts/build.sh" >&2; exit 1; }
done

mkdir -p "$work/www"
# The interpreter itself, so that $! is the test server's own process: a
# version manager's python3 may be a wrapper, and killing that would leave
# the server running.
python=$(python3 -c 'import sys; print(sys.executable)')
"$python" "$root/tests/support/http_server.py" "$work/www" --port-file "$work/port" \
  ${EXTRA_SERVER_ARGS:-} >/dev/null 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 1 100); do [[ -s $work/port ]] && break; sleep 0.1; done
server="http://127.0.0.1:$(cat "$work/port")"
