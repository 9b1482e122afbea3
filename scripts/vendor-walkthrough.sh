#!/usr/bin/env bash
# Runs the vendor walkthrough of README.md and docs/vpack.md as written:
# every command block marked "<!-- walkthrough -->", in the order of the
# docs, in a scratch folder holding what a vendor brings (payload/ and dist/
# with an engine, texts.ini) and with the installed layout README describes
# ($HOME/vantor/bin/vpack, $HOME/vantor/share/vantor/stub-*.exe) pointing at
# this checkout's build. It ends at the update location: the published
# descriptor, its signature and the new setup, checked as an agent will (the
# agent itself runs under Wine in tests/e2e/test_agent_update.py).
#   VANTOR_VPACK  the vpack to use (default: the release build, else native)
#   VANTOR_STUB   the stub (default: the i686 build, else the x86_64 one)
# Exit code 77: no stub built (ctest reports it as skipped).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build/walkthrough}

first_of() { for f in "$@"; do [ -x "$f" ] || [ -f "$f" ] && { echo "$f"; return; }; done; }
vpack=${VANTOR_VPACK:-$(first_of "$root/build/release/tools/pack/vpack" "$root/build/native/tools/pack/vpack")}
stub=${VANTOR_STUB:-$(first_of "$root/build/win32/src/stub.exe" "$root/build/win64/src/stub.exe")}
[ -n "$vpack" ] || { echo "no vpack built (cmake --preset release && cmake --build --preset release)" >&2; exit 1; }
[ -n "$stub" ] || { echo "SKIPPED: no stub built (the win32 or win64 preset)" >&2; exit 77; }
engine=$(first_of "$(dirname "$(dirname "$stub")")/tests/support/sample_engine.exe" "$stub")

# The blocks, in the order a vendor reads them.
script=$(awk '
  /<!-- walkthrough -->/ { marked = 1; next }
  marked == 1 && /^```sh/ { marked = 2; next }
  marked == 2 && /^```/  { marked = 0; print ""; next }
  marked == 2            { print; next }
  { marked = 0 }' "$root/README.md" "$root/docs/vpack.md")
[ -n "$script" ] || { echo "no walkthrough blocks found in the docs" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
cd "$work"
export HOME=$work/home
mkdir -p "$HOME/vantor/bin" "$HOME/vantor/share/vantor" payload dist
ln -s "$vpack" "$HOME/vantor/bin/vpack"
ln -s "$stub" "$HOME/vantor/share/vantor/stub-i686.exe"
ln -s "$stub" "$HOME/vantor/share/vantor/stub-x86_64.exe"
cp "$engine" payload/Setup.exe
cp "$engine" dist/setup.exe
echo "read me" > payload/readme.txt
echo "read me" > dist/readme.txt
cp "$root/demo/languages.ini" texts.ini
printf '%s\n' "$script" > walkthrough.sh

echo "== The walkthrough's commands, as the docs give them (in $work)"
bash -euo pipefail -x walkthrough.sh

echo "== The update location, checked as an agent will"
for f in MySetup.exe MyWebSetup.exe upload/MySetup.exe ship/MyApp.AutoUpdate.exe \
         ship/MyApp.original ship/MyApp.info upload/MyApp.info upload/MyApp.info.sig \
         upload/MyAppSetup4.exe; do
  [ -f "$f" ] || { echo "missing: $f" >&2; exit 1; }
done
"$vpack" verify-update upload/MyApp.info --key keys/myapp.pub
openssl dgst -sha256 -verify keys/myapp.pub -signature upload/MyApp.info.sig upload/MyApp.info
grep -aq '^VersionNew=4' upload/MyApp.info || { echo "upload/MyApp.info is not version 4" >&2; exit 1; }
echo "== Walkthrough done"
