#!/usr/bin/env bash
# The main job: builds the stub and vpack, packs the demo package and runs the
# setup under Wine, showing what the stub did.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/wine-env.sh
echo "== Building vpack (release) and the $VANTOR_WIN_ARCH stub with the programs the demo runs"
# Only what the demo runs: the tests and their sanitizer build are for
# scripts/test.sh.
VANTOR_PRESETS="release:vpack $VANTOR_WIN_ARCH:stub,sample_engine,debug_viewer,product_app,ui_driver,window_probe" \
  scripts/build.sh >/dev/null
win=build/$VANTOR_WIN_ARCH
if [ "$VANTOR_WIN_ARCH" = win32 ]; then
  stub_kind="the i686 (32-bit) stub, the one to ship"
elif [ "$(scripts/wine-arch.sh --i686)" = emulated ]; then
  # Emulated, every Windows program of the demo would have to run inside
  # scripts/emul32.sh, at a multiple of the time: the i686 stub is shown
  # by the test cases instead.
  stub_kind="the x86_64 stub: this host runs 64-bit Windows programs only; the i686 stub runs here under emulation in the e2e.i686 test cases"
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
vpack=build/release/tools/pack/vpack
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
# The interpreter itself, so that $! is the test server's own process: a
# version manager's python3 may be a wrapper, and killing that would leave
# the server running.
python=$(python3 -c 'import sys; print(sys.executable)')
"$python" tests/support/http_server.py "$out/www" --port-file "$out/port" --max-seconds 300 &
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
echo

echo "== The update agent ($stub_kind): the demo product installed with its agent,"
echo "   and version 2 published on the local server"
product_dir="$WINEPREFIX/drive_c/Program Files/Vantor Demo"
product_win='C:\Program Files\Vantor Demo'
rm -rf "$product_dir" "$out/www/update" && mkdir -p "$product_dir" "$out/www/update"
cp "$win/tests/support/product_app.exe" "$product_dir/DemoProduct.exe"
"$python" tests/support/http_server.py "$out/www" --port-file "$out/port2" --max-seconds 300 &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$out/port2" ] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$out/port2")/update"
# Signed updates: the agent carries the vendor's public key and runs only
# what the private key signed.
rm -rf "$out/keys"
"$vpack" keygen "$out/keys/demo" >/dev/null
"$vpack" agent --stub "$win/src/stub.exe" -o "$product_dir" --update-url "$url" \
  --update-info Demo.info --agent-name Demo.AutoUpdate.exe --update-token-plain "demo product" \
  --version 1 --check-interval 0 --program '<InstallDir>\DemoProduct.exe' \
  --program-name "Vantor Demo" --target-dir "$product_win" --shutdown-method "Using WM_CLOSE" \
  --flag-agent-log --update-key "$out/keys/demo.pub"
"$vpack" build "$out/payload" --stub "$win/src/stub.exe" --languages demo/languages.ini \
  --engine Engine.exe --engine-args "/HoldMs=1500" -o "$out/www/update/DemoSetup2.exe" -q \
  --update-url "$url" --update-info Demo.info --agent-name Demo.AutoUpdate.exe \
  --update-token-plain "demo product" --carry-agent
size=$(stat -c %s "$out/www/update/DemoSetup2.exe")
printf '%s\r\n' "[NewSetup]" "DownloadURL_UPDATE=$url" "NameOfUpdateFile=DemoSetup2.exe" \
  "SizeOfUpdateFile=$size" "RequestConfirmationBeforeDownload=1" \
  "RequestConfirmationBeforeInstall=0" "BackgroundUpdate=0" "ShutDownMethod=Using WM_CLOSE" \
  "RestartProcess=1" "InformFinish=0" 'RunningProcess=<InstallDir>\DemoProduct.exe' \
  "ProgramName=Vantor Demo" "VersionNew=2" "Stamp=2" > "$out/www/update/Demo.info"
"$vpack" sign-update "$out/www/update/Demo.info" --key "$out/keys/demo.key" \
  --setup "$out/www/update/DemoSetup2.exe" >/dev/null
echo "   installed: $product_win (DemoProduct.exe, Demo.AutoUpdate.exe, Demo.original)"
echo "   published: $url/Demo.info (version 2, signed: Demo.info.sig) and DemoSetup2.exe ($size bytes)"
echo "   Demo.original says VersionOriginal=$(grep -a VersionOriginal= "$product_dir/Demo.original" | tr -d '\r' | cut -d= -f2)"

echo "== The product runs; its agent starts, makes its X_ copy and checks"
wine "$product_dir/DemoProduct.exe" "/Title=Vantor Demo, version 1" &
product_pid=$!
sleep 2
rm -f "$out/engine.txt"
# The agent asks before it downloads; the UI driver reads the question and
# answers Yes as a user would.
wine "$win/tests/support/ui_driver.exe" --timeout 60000 --text --click Yes --gone \
  > "$out/question.txt" &
driver_pid=$!
wine "$product_dir/Demo.AutoUpdate.exe"
wait "$driver_pid" || true
echo "== The agent asked:"
tr -d '\r' < "$out/question.txt" | sed 's/^/   /'
for _ in $(seq 1 600); do
  grep -aq "ReStartAutoUpdateExe() - End" "$product_dir/X_Demo.AutoUpdate.log" 2>/dev/null && break
  sleep 0.1
done
echo "== What the agent did (its log, X_Demo.AutoUpdate.log)"
tr -d '\r' < "$product_dir/X_Demo.AutoUpdate.log" | sed -nE 's/^.{17} +[0-9]+ X (.*)$/\1/p' |
  grep -aE "Download (START|END)|Signature of|GetOkToPerformAU|PerformAutoUpdate\(\)|Shut Down|Setup result|WinExec" |
  sed 's/^/   /'
echo "== What the new setup's engine received"
tr -d '\r' < "$out/engine.txt" | head -1 | sed 's/^/   /'
echo "== Demo.original now says VersionOriginal=$(grep -a VersionOriginal= "$product_dir/Demo.original" | tr -d '\r' | cut -d= -f2)"
if ! kill -0 "$product_pid" 2>/dev/null; then
  echo "== The product the user started was closed for the update;"
fi
if wine "$win/tests/support/window_probe.exe" wait VantorProductMain 10000; then
  echo "   the agent started it again (its window is up)"
fi
kill "$server_pid" 2>/dev/null || true
