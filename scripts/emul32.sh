#!/usr/bin/env bash
# Runs a command in which 32-bit x86 programs run under qemu's user-mode
# emulation, on a host whose kernel does not run them itself:
#   scripts/emul32.sh CMD [ARG...]
# qemu-i386 is registered with binfmt_misc in a private user and mount
# namespace that lasts as long as CMD (and what it leaves running), never for
# the whole machine: a global entry would send every other 32-bit Wine run
# through the emulator. Needs a kernel that gives user namespaces their own
# binfmt_misc (Linux 6.7 and later) and Debian's qemu-user-static.
#   scripts/emul32.sh --bare CMD...  the same namespace with nothing
#                                    registered: what the kernel runs itself.
# Exit code 125 when the namespace cannot be set up (the reason on stderr).
set -euo pipefail
qemu="${VANTOR_QEMU_I386:-/usr/bin/qemu-i386-static}"

if [ "${1:-}" != --inside ]; then
  [ $# -gt 0 ] || { echo "usage: $0 [--bare] CMD [ARG...]" >&2; exit 2; }
  if [ "$1" != --bare ] && [ ! -x "$qemu" ]; then
    echo "emul32.sh: $qemu is missing (Debian package qemu-user-static)" >&2
    exit 125
  fi
  # The user namespace's own root may mount binfmt_misc; it maps to the
  # caller outside, so files made inside stay the caller's.
  exec unshare --user --map-root-user --mount --fork "$0" --inside "$@"
fi
shift
bare=0
if [ "$1" = --bare ]; then bare=1; shift; fi

# The mount is private to this namespace; the folder is shared by every call
# and stays empty outside.
mnt="${TMPDIR:-/tmp}/vantor-binfmt-$(id -ru)"
mkdir -p "$mnt" 2>/dev/null || true
if ! mount -t binfmt_misc binfmt_misc "$mnt" 2>/dev/null; then
  echo "emul32.sh: cannot mount binfmt_misc in a user namespace (a kernel before 6.7?)" >&2
  exit 125
fi
if [ "$bare" = 0 ]; then
  # The ELF header of a 32-bit x86 executable or shared object. No flags:
  # qemu is opened when a program starts, so it must be reachable then.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  if ! printf '%s' ":qemu-i386:M::$magic:$mask:$qemu:" > "$mnt/register" 2>/dev/null; then
    echo "emul32.sh: binfmt_misc refused the qemu-i386 entry" >&2
    exit 125
  fi
  # qemu 7.2 reserves 4 GiB for a 32-bit guest by default, and Wine's start
  # (it reserves its address space) then costs ~50 s of CPU; 0x81000000 cuts
  # that to ~2.5 s. 0x80000000 is too small. The stub is not
  # large-address-aware, so it loses nothing.
  export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0x81000000}"
fi
exec "$@"
