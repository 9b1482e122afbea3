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
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
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
