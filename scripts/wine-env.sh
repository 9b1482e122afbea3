# Sourced by the scripts and tests: a Wine prefix of the project's own under
# build/, and a virtual display. Exports WINEPREFIX, WINEDEBUG and DISPLAY,
# and VANTOR_XVFB_PID when it started Xvfb (stop it by that PID).
: "${VANTOR_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export WINEPREFIX="${WINEPREFIX:-$VANTOR_ROOT/build/wineprefix}"
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
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
