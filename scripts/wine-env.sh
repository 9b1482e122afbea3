# Sourced by the scripts and tests: the Windows build this host can run, a
# Wine prefix of the project's own under build/, and a virtual display.
# Exports VANTOR_WIN_ARCH (win32 or win64, see wine-arch.sh), VANTOR_WIN_BUILD
# (the build whose programs run here), WINEPREFIX, WINEDEBUG and DISPLAY, and
# VANTOR_XVFB_PID when it started Xvfb (stop it by that PID).
: "${VANTOR_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
: "${VANTOR_WIN_ARCH:=$("$VANTOR_ROOT/scripts/wine-arch.sh")}"
export VANTOR_WIN_ARCH
export VANTOR_WIN_BUILD="${VANTOR_WIN_BUILD:-$VANTOR_ROOT/build/$VANTOR_WIN_ARCH}"
if [ "$VANTOR_WIN_ARCH" = win64 ]; then
  # 64-bit programs only: "wine", "winepath", "wineboot" and the rest start
  # through the 64-bit loader, in a 64-bit prefix of its own.
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
  # harmless, nothing 32-bit runs there.
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
