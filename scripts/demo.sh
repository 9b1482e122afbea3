#!/usr/bin/env bash
# The main job: builds the stub and vpack, packs the demo package and runs the
# setup under Wine, showing what the stub did.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/wine-env.sh
echo "== Building vpack and the $VANTOR_WIN_ARCH stub"
VANTOR_PRESETS="native $VANTOR_WIN_ARCH" scripts/build.sh >/dev/null
win=build/$VANTOR_WIN_ARCH
if [ "$VANTOR_WIN_ARCH" = win32 ]; then
  stub_kind="the i686 (32-bit) stub, the one to ship"
else
  stub_kind="the x86_64 stub: this host runs 64-bit Windows programs only"
fi
viewer_pid="" server_pid=""
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  wineserver -k 2>/dev/null || true
  [ -n "${VANTOR_XVFB_PID:-}" ] && kill "$VANTOR_XVFB_PID" 2>/dev/null
  true
}
trap cleanup EXIT

out=build/demo
rm -rf "$out" && mkdir -p "$out/payload"
vpack=build/native/tools/pack/vpack
engine=$win/tests/support/sample_engine.exe
cp -r demo/payload/. "$out/payload/"
cp "$engine" "$out/payload/Engine.exe"

echo "== Packing the demo payload and the sample setup engine with vpack"
"$vpack" build "$out/payload" --stub "$win/src/stub.exe" --languages demo/languages.ini \
  --engine Engine.exe --engine-args "/ExitCode=3 /HoldMs=1500" \
  --update-url http://127.0.0.1/demo/ --update-info demo.info --agent-name Demo.AutoUpdate.exe \
  --carry-agent --flag-show-second-bar -o "$out/DemoSetup.exe"
"$vpack" list "$out/DemoSetup.exe"
echo

# Runs a Windows program with the debug viewer catching the stub's trace;
# prints the trace and leaves the exit code in $code.
run_traced() {
  rm -f "$out/trace.txt" "$out/trace.txt.ready"
  wine "$win/tests/support/debug_viewer.exe" "$(winepath -w "$out")\\trace.txt" &
  viewer_pid=$!
  for _ in $(seq 1 100); do [ -e "$out/trace.txt.ready" ] && break; sleep 0.1; done
  set +e
  wine "$@"
  code=$?
  set -e
  wine "$win/tests/support/debug_viewer.exe" --stop || true
  wait "$viewer_pid" 2>/dev/null || true
  viewer_pid=""
  tr -d '\r' < "$out/trace.txt"
}

echo "== Running the setup under Wine: $stub_kind (trace from the debug channel)"
export VANTOR_ENGINE_RECORD="$(winepath -w "$out")\\engine.txt"
run_traced "$out/DemoSetup.exe" /demo=1
echo "== What the setup engine received"
tr -d '\r' < "$out/engine.txt"
echo "== The setup exited with code $code (the engine's own)"
echo

echo "== A web setup ($stub_kind): a small stub that downloads the full setup over HTTP"
mkdir -p "$out/www" "$out/web"
python3 tests/support/http_server.py "$out/www" --port-file "$out/port" --max-seconds 300 &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$out/port" ] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$out/port")/demo"
mkdir -p "$out/www/demo"
"$vpack" build "$out/payload" --stub "$win/src/stub.exe" --languages demo/languages.ini \
  --engine Engine.exe --engine-args "/ExitCode=4" -o "$out/www/demo/DemoFull.exe" \
  --web-stub "$out/web/DemoWebSetup.exe" --download-source "$url" --download-token-plain "demo 1"
rm -f "$out/engine.txt"
run_traced "$out/web/DemoWebSetup.exe"
kill "$server_pid" 2>/dev/null || true
echo "== What the setup engine received"
tr -d '\r' < "$out/engine.txt"
echo "== The web setup exited with code $code (the engine's own)"
