#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine
# (idempotent: only missing packages are fetched). Needs root or sudo.
set -euo pipefail

# libdeflate-dev: the native vpack's compressor; pigz: bench/vpack_build.sh
# compares with it. libssl-dev: update keys and signatures natively.
# nsis: a vendor's own installer as the engine in the end-to-end tests.
# libgnutls30: Wine's CNG (bcrypt.dll) hashes and verifies through it; it
# is only recommended by Wine, and recommendations are not installed here.
packages=(cmake g++ make python3 zlib1g-dev libdeflate-dev pigz googletest libcli11-dev
          nlohmann-json3-dev libssl-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64
          libz-mingw-w64-dev wine wine64 libgnutls30 wine32:i386 libgnutls30:i386 fonts-wine xvfb imagemagick
          osslsigncode openssl clang nsis)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Hosts whose kernel runs 64-bit programs only run the i686 build's test
# cases under qemu's user-mode emulation; wine-arch.sh --i686 says how they
# run. Nothing is registered for the whole machine: scripts/emul32.sh
# registers qemu-i386 for each run in a namespace of its own.
i686_road() {
  local road
  road=$("$here/wine-arch.sh" --i686)
  case "$road" in
    native) ;;
    emulated) echo "32-bit Windows programs: under qemu-i386 emulation (scripts/emul32.sh)" ;;
    *) echo "32-bit Windows programs: none (${road#none }); the i686 test cases will skip" >&2 ;;
  esac
}
needs_qemu() {
  [ -x /usr/lib/wine/wine ] && [ ! -x /usr/bin/qemu-i386-static ] &&
    [ "$(env -u VANTOR_WIN64_ONLY "$here/wine-arch.sh")" = win64 ]
}
here="$(cd "$(dirname "$0")" && pwd)"

if [ ${#missing[@]} -eq 0 ]; then
  needs_qemu || { i686_road; exit 0; }
else
  echo "Installing: ${missing[*]}"
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
# wine32:i386 goes on its own: hosts that cannot run 32-bit programs do not
# need it (scripts/wine-arch.sh then chooses the 64-bit road), and a failure
# to install it there must not stop the rest.
rest=() want_wine32=0
for p in "${missing[@]}"; do
  case "$p" in
    *:i386) want_wine32=1 ;;
    *) rest+=("$p") ;;
  esac
done
install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
[ ${#rest[@]} -eq 0 ] || install "${rest[@]}"
if [ "$want_wine32" = 1 ] && ! install wine32:i386 libgnutls30:i386; then
  echo "warning: wine32:i386 could not be installed; only 64-bit Windows programs will run" >&2
fi
if needs_qemu && ! install qemu-user-static; then
  echo "warning: qemu-user-static could not be installed" >&2
fi
i686_road
