#!/usr/bin/env bash
# Screenshots of the program's own windows for docs/: each window is opened
# by a test-support program under Wine on the virtual display, captured with
# ImageMagick and cropped to the window. Needs the win32 and native builds
# (scripts/build.sh; VANTOR_WIN_BUILD / VANTOR_NATIVE_BUILD name others).
# WINEPREFIX picks the prefix; a display of one's own is reused when both
# DISPLAY and VANTOR_XVFB_PID (its server's PID) are given.
#
#   docs/msgbox-question.png   a question box with a bold heading and bold runs
#   docs/msgbox-rtl.png        a Hebrew box laid out right to left
#   docs/progress.png          a web setup's progress window, its download half done
#   docs/inform.png            the agent's inform window with a news page and its link button
#   docs/update-question.png   the agent's question before it downloads an update (the
#                              starting texts "vpack agent" writes, mode and flags as the agent asks)
set -euo pipefail
cd "$(dirname "$0")/.."
given_xvfb="${VANTOR_XVFB_PID:-}"
source scripts/wine-env.sh
cleanup() {
  # Only a display this script started.
  if [ -n "${VANTOR_XVFB_PID:-}" ] && [ "$VANTOR_XVFB_PID" != "$given_xvfb" ]; then
    kill "$VANTOR_XVFB_PID" 2>/dev/null || true
  fi
}
trap cleanup EXIT

WIN_BUILD="${VANTOR_WIN_BUILD:-build/win32}"
NATIVE_BUILD="${VANTOR_NATIVE_BUILD:-build/native}"
SUPPORT="$WIN_BUILD/tests/support"
WORK=build/screenshots
mkdir -p "$WORK" docs
for exe in msgbox_probe ui_driver; do
  [ -f "$SUPPORT/$exe.exe" ] || { echo "missing $SUPPORT/$exe.exe: run scripts/build.sh" >&2; exit 1; }
done

winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }

# Wine draws the caption buttons with glyphs of its Marlett font (Debian's
# fonts-wine); without it they show as plain letters.
# Wine started through its 64-bit loader directly does not find the system's
# copy, so the prefix gets one of its own.
if [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  else
    echo "warning: no Marlett font (package fonts-wine): caption buttons show as letters" >&2
  fi
fi

# No window manager runs on the virtual display: let Wine draw the probe's
# window frame and caption itself.
for exe in msgbox_probe.exe inform_probe.exe; do
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\X11 Driver" \
    /v Managed /d N /f >/dev/null 2>&1
done

# shoot_box NAME [ENV=VALUE...] -- PROBE-ARGUMENTS...
# Opens a box, waits until it is built (the probe's report), captures the
# screen, crops it to the box's window rectangle and closes the box.
shoot_box() {
  local name="$1"; shift
  local env=()
  while [ "$1" != "--" ]; do env+=("$1"); shift; done
  shift
  local report="$WORK/$name.report"
  rm -f "$report"
  env "${env[@]}" wine "$SUPPORT/msgbox_probe.exe" --report "$(winpath "$WORK")\\$name.report" \
    --timeout 30000 "$@" >/dev/null 2>&1 &
  local probe=$!
  for _ in $(seq 1 300); do [ -f "$report" ] && break; sleep 0.1; done
  [ -f "$report" ] || { echo "$name: the box did not open" >&2; kill "$probe"; return 1; }
  sleep 0.5  # let it paint
  local left top right bottom
  read -r left top right bottom < <(sed -n 's/^box=//p' "$report")
  import -display "$DISPLAY" -window root png:- |
    convert - -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "docs/$name.png"
  wine "$SUPPORT/ui_driver.exe" --key escape --gone >/dev/null 2>&1 || true
  wait "$probe" || true
  echo "docs/$name.png ($((right - left))x$((bottom - top)))"
}

# Below 11 points Wine draws most letters of Tahoma's bold face no heavier
# than the regular ones; from 11 points on bold shows as it does on Windows.
FONT=(--font Tahoma 11 1)

# --- Markup message box: a question ---------------------------------------
printf '%s' 'The drive <B>C:\</B> has <B>12.4 MB</B> free; unpacking needs <B>85.20 MB</B>.<P>Free some space and choose <B>Yes</B> to go on, or <B>No</B> to end the setup.' \
  >"$WORK/question.txt"
shoot_box msgbox-question -- --mode 0 --caption Confirm --flags 0x24 "${FONT[@]}" \
  --text-file "$(winpath "$WORK/question.txt")"

# --- The agent's update question -------------------------------------------
printf '%s' 'A new version of <B>Vantor Demo</B> is available.<P><P>Download and install it now?' \
  >"$WORK/update-question.txt"
shoot_box update-question -- --mode 1 --caption Confirm --flags 0x24 "${FONT[@]}" \
  --text-file "$(winpath "$WORK/update-question.txt")"

# --- Markup message box: right to left ------------------------------------
# The box gets Hebrew bytes (code page 1255) and takes them in Wine's ANSI
# code page, which comes from the locale: the probe runs in a Hebrew locale,
# built here when the system has none. The labels are given in UTF-8, which
# Wine turns into that code page for the probe. The caption stays Latin:
# the caption font Wine draws with has no Hebrew letters.
python3 -c 'import sys; open(sys.argv[1], "wb").write(sys.argv[2].encode("cp1255"))' \
  "$WORK/rtl.txt" 'ההתקנה תעתיק <B>42</B> קבצים לתיקייה שנבחרה.<P>האם להמשיך?'
locales="$WORK/locale"
mkdir -p "$locales"
# localedef fails on mere warnings; what counts is the locale it leaves.
[ -d "$locales/he_IL.UTF-8" ] || localedef -i he_IL -f UTF-8 "$locales/he_IL.UTF-8" >/dev/null 2>&1 || true
[ -d "$locales/he_IL.UTF-8" ] ||
  echo "warning: no Hebrew locale; the right-to-left box will not show Hebrew letters" >&2
shoot_box msgbox-rtl LOCPATH="$locales" LC_ALL=he_IL.UTF-8 -- \
  --mode 1 --caption 'Vantor Installation Suite' --flags 0x24 --charset 177 "${FONT[@]}" \
  --labels '|&אישור|&ביטול|&כן|&לא|&בטל|&נסה שוב|&התעלם|' \
  --text-file "$(winpath "$WORK/rtl.txt")"

# --- Inform window ---------------------------------------------------------
# A news page as the agent shows it, with the link button; closed unpressed.
[ -f "$SUPPORT/inform_probe.exe" ] || { echo "missing $SUPPORT/inform_probe.exe: run scripts/build.sh" >&2; exit 1; }
printf '%s\r\n' 'Vantor Demo 2.0 is available.' '' \
  'What is new:' \
  '  - checks for updates in the background and asks only once' \
  '  - a download that breaks off resumes at the next check' \
  '  - right-to-left texts for Hebrew and Arabic' '' \
  'Press Download to open the release page.' >"$WORK/inform.txt"
report="$WORK/inform.report"
rm -f "$report"
wine "$SUPPORT/inform_probe.exe" --report "$(winpath "$WORK")\\inform.report" \
  --text-file "$(winpath "$WORK/inform.txt")" --link https://downloads.example.com/demo/ \
  --title 'New Version' --button Download --face Tahoma --size 9 --width 420 --height 300 \
  >/dev/null 2>&1 &
inform=$!
for _ in $(seq 1 300); do [ -f "$report" ] && break; sleep 0.1; done
if [ -f "$report" ]; then
  sleep 0.5 # let it paint
  read -r left top right bottom < <(sed -n 's/^window=//p' "$report")
  import -display "$DISPLAY" -window root png:- |
    convert - -crop "$((right - left))x$((bottom - top))+$left+$top" +repage docs/inform.png
  echo "docs/inform.png ($((right - left))x$((bottom - top)))"
else
  echo "inform window: did not open" >&2
fi
wine "$SUPPORT/window_probe.exe" post VRichEditBox 0x10 >/dev/null 2>&1 || true
wait "$inform" || true

# --- Progress window ------------------------------------------------------
# A web setup fetching its full setup from the test HTTP server on
# 127.0.0.1 at a set rate: the window is caught with its bar half full
# whatever the machine's speed (unpacking is over too fast to catch there).
for exe in window_probe sample_engine; do
  [ -f "$SUPPORT/$exe.exe" ] || { echo "missing $SUPPORT/$exe.exe: run scripts/build.sh" >&2; exit 1; }
done
progress="$WORK/progress"
rm -rf "$progress" && mkdir -p "$progress/payload" "$progress/www"
cp "$SUPPORT/sample_engine.exe" "$progress/payload/Engine.exe"
head -c 2000000 /dev/urandom >"$progress/payload/data.bin"
# The interpreter itself, so that $! is the test server's own process: a
# version manager's python3 may be a wrapper, and killing that would leave
# the server running.
python=$(python3 -c 'import sys; print(sys.executable)')
"$python" tests/support/http_server.py "$progress/www" --port-file "$progress/port" \
  --max-seconds 120 >/dev/null 2>&1 &
server=$!
stop_server() { kill "$server" 2>/dev/null || true; }
trap 'stop_server; cleanup' EXIT
for _ in $(seq 1 100); do [ -f "$progress/port" ] && break; sleep 0.1; done
"$NATIVE_BUILD/tools/pack/vpack" build "$progress/payload" --stub "$WIN_BUILD/src/stub.exe" \
  --engine Engine.exe --engine-args "/HoldMs=100" --level 1 -q \
  -o "$progress/www/DemoSetup_Full.exe" --web-stub "$progress/DemoSetup.exe" \
  --download-source "http://127.0.0.1:$(cat "$progress/port")/_slow/250000"
wine reg add 'HKCU\Software\Wine\AppDefaults\DemoSetup.exe\X11 Driver' \
  /v Managed /d N /f >/dev/null 2>&1
cls="$(winpath "$progress/DemoSetup.exe")" # a setup's window class is its own path
wine "$progress/DemoSetup.exe" >/dev/null 2>&1 &
setup=$!
shot=""
for _ in $(seq 1 300); do
  # The first line is the main bar: "position maximum".
  read -r pos max < <(wine "$SUPPORT/window_probe.exe" bars "$cls" 2>/dev/null | tr -d '\r' |
    grep -E '^[0-9]+ [0-9]+$' | head -1) || true
  if [ "${max:-0}" -gt 1 ] && [ $((2 * ${pos:-0})) -ge "$max" ]; then
    read -r _ width height visible left top < <(wine "$SUPPORT/window_probe.exe" geometry "$cls" \
      2>/dev/null | tr -d '\r' | head -1) || true
    if [ "${visible:-0}" = 1 ]; then
      import -display "$DISPLAY" -window root png:- |
        convert - -crop "${width}x${height}+${left}+${top}" +repage docs/progress.png
      shot="docs/progress.png (${width}x${height}, bar at $pos of $max)"
    fi
    break
  fi
  sleep 0.1
done
wait "$setup" || true
stop_server
rm -rf "$progress"
echo "${shot:-progress window: not captured}"
