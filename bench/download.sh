#!/usr/bin/env bash
# Download speed and abort latency of the WinINet client under Wine, served
# by tests/support/http_server.py on 127.0.0.1:
#   (i)  a 100 MB file through http_fetch.exe (the real client with its
#        progress object and message pumping) against inet_bare.exe (8 KiB
#        InternetReadFile calls into a file, nothing else) in the same run:
#        throughput ratio client / bare, target >= 0.9. curl's MB/s on the
#        same URL is shown beside it as what the server can give.
#  (ii)  abort latency: a message posted to http_fetch's window sets the
#        abort flag; the time from the post to the download's return,
#        target <= 100 ms, at full speed and on a slow (1 MB/s) transfer.
# Times are the best of VANTOR_BENCH_RUNS runs (default 3), each program's
# own measurement of its transfer (Wine's start-up is not counted). Exits 1
# when a target is missed.
#
#   bench/download.sh
#   VANTOR_BENCH_DIR=/x     data folder (default /tmp/vantor_download_bench)
#   VANTOR_WIN_BUILD=/x     Windows build (default: the one this host runs)
# WINEPREFIX and DISPLAY are taken as given, else from scripts/wine-env.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${VANTOR_BENCH_DIR:-/tmp/vantor_download_bench}
runs=${VANTOR_BENCH_RUNS:-3}
mkdir -p "$work/www" "$work/out"

if [[ -z ${WINEPREFIX:-} || -z ${DISPLAY:-} || -z ${VANTOR_WIN_ARCH:-} ]]; then
  # shellcheck source=../scripts/wine-env.sh
  source "$root/scripts/wine-env.sh"
  [[ -n ${VANTOR_XVFB_PID:-} ]] && trap 'kill "$VANTOR_XVFB_PID" 2>/dev/null || true' EXIT
fi
# The build that runs here: i686, or x86_64 where only 64-bit programs run.
win=${VANTOR_WIN_BUILD:-$root/build/$("$root/scripts/wine-arch.sh")}
export WINEDEBUG=-all

cmake -S "$root" -B "$win" >/dev/null # an existing Windows build, brought up to date
cmake --build "$win" --target http_fetch inet_bare -j"$(nproc)" >/dev/null
fetch=$win/tests/support/http_fetch.exe
bare=$win/bench/inet_bare.exe

size=$((100 * 1024 * 1024))
file=$work/www/payload.bin
if [[ ! -f $file || $(stat -c %s "$file") -ne $size ]]; then
  head -c "$size" /dev/urandom >"$file"
fi

rm -f "$work/port"
# The interpreter itself, so that $! is the test server's own process: a
# version manager's python3 may be a wrapper, and killing that would leave
# the server running.
python=$(python3 -c 'import sys; print(sys.executable)')
"$python" "$root/tests/support/http_server.py" "$work/www" --port-file "$work/port" \
  --max-requests 100 --max-seconds 900 >/dev/null &
server=$!
cleanup_server() { kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; }
trap 'cleanup_server; [[ -n ${VANTOR_XVFB_PID:-} ]] && kill "$VANTOR_XVFB_PID" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do [[ -f $work/port ]] && break; sleep 0.1; done
url=http://127.0.0.1:$(cat "$work/port")
target_unix=$work/out/payload.bin
target="Z:$(realpath -m "$target_unix" | tr / '\\')"

field() { sed -n "s/^$1=\([0-9-]*\).*/\1/p" | tr -d '\r' | head -1; }
best() { sort -n | head -1; }

# (i) Throughput, the two programs alternating so both see the same machine.
# Per URL form, both programs timed from the same points: the transfer
# (resource open to the end) and the whole call (the client's with its probe:
# one extra open and close of the URL first; the bare loop's from opening
# the session).
run_fetch() { # URL -> "transfer-ms download-ms"
  rm -f "$target_unix"*
  local out err
  out=$(wine "$fetch" "$1" "$target" 2>/dev/null)
  err=$(sed -n 's/^error=//p' <<<"$out" | tr -d '\r')
  [[ -z $err && $(stat -c %s "$target_unix") -eq $size ]] || {
    echo "http_fetch $1 failed: $out" >&2
    exit 1
  }
  echo "$(field transfer-ms <<<"$out") $(field download-ms <<<"$out")"
}
run_bare() { # URL -> "transfer-ms download-ms"
  rm -f "$target_unix"*
  local out
  out=$(wine "$bare" "$1" "$target" 2>/dev/null)
  [[ $(field bytes <<<"$out") -eq $size ]] || { echo "inet_bare $1 failed: $out" >&2; exit 1; }
  echo "$(field transfer-ms <<<"$out") $(field download-ms <<<"$out")"
}
fail=0
for form in length nolength; do
  u=$url/payload.bin
  [[ $form == nolength ]] && u=$url/_nolength/payload.bin
  transfer=() whole=() bare_ms=() bare_whole=()
  for _ in $(seq 1 "$runs"); do
    read -r t w < <(run_fetch "$u")
    transfer+=("$t") whole+=("$w")
    read -r t w < <(run_bare "$u")
    bare_ms+=("$t") bare_whole+=("$w")
  done
  rm -f "$target_unix"*
  curl_bps=$(for _ in $(seq 1 "$runs"); do
    curl -s -o /dev/null -w '%{speed_download}\n' "$u"
  done | sort -g | tail -1)
  python3 - "$form" "$(printf '%s\n' "${transfer[@]}" | best)" \
    "$(printf '%s\n' "${whole[@]}" | best)" "$(printf '%s\n' "${bare_ms[@]}" | best)" \
    "$curl_bps" "$size" "$(printf '%s\n' "${bare_whole[@]}" | best)" <<'PY' || fail=1
import sys
form = sys.argv[1]
t, w, b, curl, size, bw = map(float, sys.argv[2:])
mb = size / 1048576
rate = lambda ms: mb / (ms / 1000)
ratio = b / t
print(f"(i)  100 MB, {'with' if form == 'length' else 'without'} Content-Length:")
print(f"     client transfer {rate(t):.1f} MB/s ({t:.0f} ms), bare loop {rate(b):.1f} MB/s "
      f"({b:.0f} ms), curl {curl / 1048576:.1f} MB/s")
print(f"     ratio client / bare = {ratio:.3f} (target >= 0.9): "
      f"{'ok' if ratio >= 0.9 else 'MISSED'}")
print(f"     whole call with the probe: {w:.0f} ms, bare loop's whole {bw:.0f} ms, ratio {bw / w:.3f}")
sys.exit(0 if ratio >= 0.9 else 1)
PY
done

# (ii) Abort latency, full speed and slow.
for name in full slow; do
  if [[ $name == full ]]; then
    # After the probe (its open and close of the URL), into the transfer.
    u=$url/_nolength/payload.bin delay=300
  else
    u=$url/_slow/1048576/payload.bin delay=1500
  fi
  lat=()
  for _ in $(seq 1 "$runs"); do
    rm -f "$target_unix"*
    out=$(wine "$fetch" "$u" "$target" --abort-after-ms "$delay" 2>/dev/null || true)
    grep -q '^error=Download Aborted' <<<"$out" || {
      echo "abort ($name) did not abort: $out" >&2
      exit 1
    }
    lat+=("$(field abort-latency-ms <<<"$out")")
  done
  worst=$(printf '%s\n' "${lat[@]}" | sort -n | tail -1)
  verdict=ok
  ((worst <= 100)) || { verdict=MISSED; fail=1; }
  echo "(ii) abort latency, $name transfer: ${lat[*]} ms (worst $worst, target <= 100): $verdict"
done
rm -f "$target_unix"*
exit $fail
