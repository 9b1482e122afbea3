#!/usr/bin/env bash
# Prints which Windows build this host runs under Wine, found by trying it:
#   win32  32-bit programs run (the i686 stub first, x86_64 beside it);
#   win64  only 64-bit programs run: the kernel's IA-32 emulation is off, so
#          Wine's 32-bit loader fails with "Exec format error".
# VANTOR_WINE64_ONLY=1 chooses win64 on any host.
if [ "${VANTOR_WINE64_ONLY:-0}" = 1 ]; then
  echo win64
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo win32
else
  echo win64
fi
