#!/usr/bin/env bash
# Which Windows build this host runs under Wine, found by trying it.
#   wine-arch.sh         the build every test case runs on:
#     win32  the kernel runs 32-bit programs (the i686 stub first, x86_64
#            beside it);
#     win64  only 64-bit programs run natively: the kernel's IA-32 emulation
#            is off, so Wine's 32-bit loader fails with "Exec format error".
#   wine-arch.sh --i686  how the cases marked for the i686 build run:
#     native     the kernel runs 32-bit programs;
#     emulated   through qemu-i386, registered per run in a private
#                namespace (scripts/emul32.sh);
#     none REASON  not at all.
# A 32-bit program that runs may still be emulated: a qemu-i386 entry
# registered for the whole machine catches it before the kernel does. So
# "native" is tried where no such entry can apply: in a namespace of its own
# with an empty binfmt_misc, or, where none can be made, with no global entry
# in sight.
# VANTOR_WIN64_ONLY=1 chooses win64, and no i686 runs, on any host.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
loader32=/usr/lib/wine/wine

global_i386_entry() {
  local e
  for e in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$e" ] && grep -qx enabled "$e" 2>/dev/null &&
      grep -q '^magic 7f454c4601010100000000000000000002000300' "$e" && return 0
  done
  return 1
}

runs_natively() {
  if "$here/emul32.sh" --bare true 2>/dev/null; then
    "$here/emul32.sh" --bare "$loader32" --version >/dev/null 2>&1
  else
    ! global_i386_entry && "$loader32" --version >/dev/null 2>&1
  fi
}

i686_road() {
  if [ "${VANTOR_WIN64_ONLY:-0}" = 1 ]; then
    echo "none VANTOR_WIN64_ONLY=1 keeps every case on the x86_64 build"
  elif [ ! -x "$loader32" ]; then
    echo "none Wine's 32-bit loader is missing (Debian package wine32:i386)"
  elif runs_natively; then
    echo native
  else
    local why
    if why=$("$here/emul32.sh" "$loader32" --version 2>&1 >/dev/null); then
      echo emulated
    else
      echo "none the host runs 64-bit programs only and 32-bit emulation cannot be set up: ${why:-$loader32 failed under qemu-i386}" |
        tr '\n' ' ' | sed 's/ *$/\n/'
    fi
  fi
}

if [ "${1:-}" = --i686 ]; then
  i686_road
elif [ "${VANTOR_WIN64_ONLY:-0}" != 1 ] && runs_natively; then
  echo win32
else
  echo win64
fi
