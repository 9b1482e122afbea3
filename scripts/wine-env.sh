# Sourced by the scripts and tests: the Windows build this host can run, a
# Wine prefix of the project's own under build/, and a virtual display.
# Exports VANTOR_WIN_ARCH (win32 or win64, see wine-arch.sh), VANTOR_WIN_BUILD
# (the build whose programs run here), WINEPREFIX, WINEDEBUG and DISPLAY, and
# VANTOR_XVFB_PID when it started Xvfb (stop it by that PID).
# VANTOR_I686=native or emulated (wine-arch.sh --i686) chooses the i686
# build's road instead: its own WoW64 prefix, entered through the 64-bit
# loader so that only the i686 programs themselves run 32-bit. Emulated, the
# caller runs inside scripts/emul32.sh, and so must everything that starts a
# Windows program: a process outside it cannot start a 32-bit one.
: "${VANTOR_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
if [ -n "${VANTOR_I686:-}" ]; then
  VANTOR_WIN_ARCH=win32
  : "${WINEPREFIX:=$VANTOR_ROOT/build/wineprefix-i686}"
fi
: "${VANTOR_WIN_ARCH:=$("$VANTOR_ROOT/scripts/wine-arch.sh")}"
export VANTOR_WIN_ARCH
export VANTOR_WIN_BUILD="${VANTOR_WIN_BUILD:-$VANTOR_ROOT/build/$VANTOR_WIN_ARCH}"
if [ "$VANTOR_WIN_ARCH" = win64 ] || [ -n "${VANTOR_I686:-}" ]; then
  # "wine", "winepath", "wineboot" and the rest start through the 64-bit
  # loader, in a 64-bit prefix of its own; a 32-bit program there goes on to
  # the 32-bit loader (WoW64).
  case ":$PATH:" in
    *":$VANTOR_ROOT/scripts/wine64:"*) ;;
    *) export PATH="$VANTOR_ROOT/scripts/wine64:$PATH" ;;
  esac
  export WINELOADER=/usr/lib/wine/wine64 WINEARCH=win64
  export WINEPREFIX="${WINEPREFIX:-$VANTOR_ROOT/build/wineprefix64}"
else
  export WINEPREFIX="${WINEPREFIX:-$VANTOR_ROOT/build/wineprefix}"
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Our own display, so windows never land on a user's desktop and screenshots
# see only what the tests opened.
if [ -z "${VANTOR_XVFB_PID:-}" ]; then
  for n in $(seq 57 90); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    VANTOR_XVFB_PID=$!
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n" VANTOR_XVFB_PID
    break
  done
  if [ -z "${VANTOR_XVFB_PID:-}" ]; then
    echo "wine-env.sh: no free X display between :57 and :90 (stale /tmp/.X*-lock files?)" >&2
  fi
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # On the 64-bit road wineboot warns that syswow64\rundll32.exe is missing:
  # harmless, nothing 32-bit runs there. The i686 road's prefix is made by
  # the caller's own road (under emulation: some 40 s), with its 32-bit side.
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi

# The tests, the demo and the benches expect an agent to check at its first
# tick: the random check spread that keeps a fleet from asking the server in
# the same second is switched off in this prefix (the agent's lab switch).
if [ ! -f "$WINEPREFIX/.vantor-check-spread-off" ]; then
  wine reg add 'HKCU\Software\Kelvane\Vantor\AutoUpdate' /v CheckSpread /d 0 /f >/dev/null 2>&1 &&
    touch "$WINEPREFIX/.vantor-check-spread-off"
fi
