#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine
# (idempotent: only missing packages are fetched). Needs root or sudo.
set -euo pipefail

packages=(cmake g++ make python3 zlib1g-dev googletest libcli11-dev nlohmann-json3-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
          wine wine64 wine32:i386 xvfb imagemagick osslsigncode openssl clang)

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
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
