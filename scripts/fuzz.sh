#!/usr/bin/env bash
# Builds a fuzz target (clang, libFuzzer, ASan) and runs it for a bounded
# time on a seed corpus of packages made by vpack.
#
#   scripts/fuzz.sh                    # package_reader_fuzz, 60 seconds
#   scripts/fuzz.sh 600                # longer
#   scripts/fuzz.sh 300 unpack         # the stub's unpacker (unpack_fuzz)
#   scripts/fuzz.sh 300 extract        # vpack extract (vpack_extract_fuzz)
# Targets: reader (default), unpack, extract; each keeps its own corpus in
# build/fuzz/corpus-TARGET. Crashes, leaks and oversized allocations are
# written to build/fuzz/artifacts/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
case ${2:-reader} in
  reader) target=package_reader_fuzz ;;
  unpack) target=unpack_fuzz ;;
  extract) target=vpack_extract_fuzz ;;
  *) echo "usage: $0 [SECONDS] [reader|unpack|extract]" >&2; exit 2 ;;
esac
build=$root/build/fuzz

cmake --preset fuzz -S "$root" >/dev/null
cmake --build "$build" --target "$target" vpack -j"$(nproc)"
fuzzer=$build/tests/fuzz/$target
vpack=$build/tools/pack/vpack

# The reader's corpus keeps its old place.
corpus=$build/corpus
[[ $target == package_reader_fuzz ]] || corpus=$build/corpus-$target
artifacts=$build/artifacts
mkdir -p "$corpus" "$artifacts"
if [[ -z $(ls -A "$corpus") ]]; then
  seeds=$(mktemp -d)
  trap 'rm -rf "$seeds"' EXIT
  python3 - "$seeds" <<'PY'
import os, sys
d = sys.argv[1]
stub = bytearray(512); stub[0:2] = b"MZ"; stub[256:258] = b"PE"
open(os.path.join(d, "stub.exe"), "wb").write(stub)
os.makedirs(os.path.join(d, "src", "sub"))
# vpack takes only a program as the engine: "MZ", and "PE" where it points.
open(os.path.join(d, "src", "setup.exe"), "wb").write(
    b"MZ" + bytes(58) + (64).to_bytes(4, "little") + b"PE\0\0" + b"engine" * 50)
open(os.path.join(d, "src", "sub", "a.txt"), "wb").write(b"hello\n" * 300)
open(os.path.join(d, "src", "empty.txt"), "wb").write(b"")
open(os.path.join(d, "src", "rnd.bin"), "wb").write(os.urandom(700))
open(os.path.join(d, "lang.ini"), "w").write("[ENGLISH]\ns1=Hi\nBtnText=|&OK|\n[GER*]\ns1=Hallo\n")
PY
  "$vpack" build "$seeds/src" --stub "$seeds/stub.exe" -o "$corpus/plain.exe" -q
  "$vpack" build "$seeds/src" --stub "$seeds/stub.exe" -o "$corpus/full.exe" -q \
    --engine setup.exe --engine-args "/S" --languages "$seeds/lang.ini" --update-url http://u \
    --update-token-plain t --download-source http://d --download-name s.exe --download-size 9 \
    --flag-show-second-bar --carry-agent --agent-name a.exe --end-marker --block-size 256
  "$vpack" build "$seeds/src" --stub "$seeds/stub.exe" -o "$corpus/level0.exe" -q --level 0 \
    --version-byte 0
  # Volume 1 of a spanned set: its Spanned bit leads the unpacker on.
  "$vpack" build "$seeds/src" --stub "$seeds/stub.exe" -o "$seeds/span.exe" -q --volume-size 2K
  cp "$seeds/span.exe" "$corpus/span.exe"
fi

# -malloc_limit_mb: inputs stay below 128 KB, so any allocation of a megabyte
# or more is a length taken from the input without a bounds check.
"$fuzzer" "$corpus" -artifact_prefix="$artifacts/" -max_total_time="$seconds" -max_len=131072 \
  -timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=1 -print_final_stats=1
