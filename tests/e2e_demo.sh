#!/usr/bin/env bash
# End-to-end test of kvdx on a virtual X screen (640 x 480 unless SCREEN
# says otherwise; no window manager), driven with xdotool: the launcher's
# logo and button, a game started by a click whose frame, found inside the
# game window, is the map as `vexil render` draws it, the right arrow
# scrolling, Escape back to the launcher, Alt+F4 ending the program with 0,
# and a start without KVTEST.FMP ending it with 1 and a message.
# Usage: e2e_demo.sh KVDX VEXIL KVTEST.FMP [SCREEN]   (exit 77: tools missing, skipped)
set -uo pipefail

KVDX=$1 VEXIL=$2 MAP=$3 SCREEN=${4:-640x480}
for tool in Xvfb xdotool import convert compare; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
# ImageMagick under its versioned Debian names when they are there.
convert() { command "$(command -v convert-im6.q16 || command -v convert)" "$@"; }
compare() { command "$(command -v compare-im6.q16 || command -v compare)" "$@"; }
import() { command "$(command -v import-im6.q16 || command -v import)" "$@"; }

WORK=$(mktemp -d)
XVFB_PID= KVDX_PID=
# E2E_KEEP=DIR keeps the screenshots there.
cleanup() {
    [ -n "$KVDX_PID" ] && kill "$KVDX_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    [ -n "${E2E_KEEP:-}" ] && mkdir -p "$E2E_KEEP" && cp "$WORK"/*.png "$E2E_KEEP"/ 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 "${SCREEN}x24" -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
exec 3>&-
[ -s "$WORK/display" ] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
export DISPLAY=":$(head -1 "$WORK/display")"
unset WAYLAND_DISPLAY SDL_VIDEODRIVER VEXIL_NO_PACING

# Colour of one screen pixel as RRGGBB.
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-Fa-f]\{6\}' | head -1 | tr -d '#'; }
# Area W x H at (X, Y) of an image as a PPM file: crop IMAGE GEOMETRY OUT.
crop() { convert "$1" -crop "$2" +repage -depth 8 "$3"; }
# The same area of the game's 640 x 480 frame, wherever and however large the
# frame is on the screen (FX, FY, FS below): fcrop SCREENSHOT W H X Y OUT.
fcrop() {
    convert "$1" -crop "$(($2 * FS))x$(($3 * FS))+$((FX + $4 * FS))+$((FY + $5 * FS))" +repage \
        -sample "$2x$3!" -depth 8 "$6"
}
# Number of pixels in which two images of the same size differ.
differ() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }
wait_window() { timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
wait_exit() {
    for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$1" 2>/dev/null && fail "kvdx did not end"
    wait "$1"
}

# --- Launcher -------------------------------------------------------------------
mkdir "$WORK/run" && cp "$MAP" "$WORK/run/KVTEST.FMP" || fail "no map $MAP"
cd "$WORK/run"
VEXIL_REPORT_DRIVER=1 "$KVDX" 2>"$WORK/kvdx.err" &
KVDX_PID=$!
LAUNCHER=$(wait_window "Krill Voyagers - Early Preview") || true
[ -n "$LAUNCHER" ] || fail "no launcher window; stderr: $(cat "$WORK/kvdx.err")"
grep -q "video driver x11" "$WORK/kvdx.err" || fail "SDL did not use X11: $(cat "$WORK/kvdx.err")"
eval "$(xdotool getwindowgeometry --shell "$LAUNCHER")"
[ "$WIDTH" = 320 ] && [ "$HEIGHT" = 240 ] || fail "launcher client is ${WIDTH}x$HEIGHT, not 320x240"
LX=$X LY=$Y
sleep 0.5
import -window root "$WORK/launcher.png"
colours=$(convert "$WORK/launcher.png" -crop "320x130+$LX+$LY" +repage -format %k info:)
[ "$colours" -gt 64 ] || fail "no logo in the launcher ($colours colours)"
[ "$(pixel "$WORK/launcher.png" $((LX + 106)) $((LY + 140)))" = FFFFFF ] || fail "button edge not raised"
[ "$(pixel "$WORK/launcher.png" $((LX + 108)) $((LY + 142)))" = C0C0C0 ] || fail "button face not grey"

# --- Game ------------------------------------------------------------------------------
xdotool mousemove $((LX + 166)) $((LY + 155)) click 1
GAME=$(wait_window "KV Game Window") || true
[ -n "$GAME" ] || fail "the button started no game"
eval "$(xdotool getwindowgeometry --shell "$GAME")"
[ "$X,$Y,$WIDTH,$HEIGHT" = "0,0,640,480" ] || fail "game window at $X,$Y ${WIDTH}x$HEIGHT"
# Where the frame must be: scaled by whole numbers into the window as it
# really is, centred (with no window manager it stays 640 x 480 whatever
# the screen's size).
FS=$((WIDTH / 640 < HEIGHT / 480 ? WIDTH / 640 : HEIGHT / 480))
FX=$((X + (WIDTH - 640 * FS) / 2)) FY=$((Y + (HEIGHT - 480 * FS) / 2))
sleep 0.7
import -window root "$WORK/start.png"

xdotool keydown Right
sleep 0.5
xdotool keyup Right
sleep 0.3
import -window root "$WORK/moved.png"

xdotool key Escape
for _ in $(seq 50); do xdotool search --onlyvisible --name "^KV Game Window\$" >/dev/null || break; sleep 0.1; done
xdotool search --onlyvisible --name "^KV Game Window\$" >/dev/null && fail "Escape did not end the game"
kill -0 "$KVDX_PID" 2>/dev/null || fail "Escape ended the program"
xdotool search --name "^Krill Voyagers - Early Preview\$" >/dev/null || fail "the launcher is gone"

xdotool mousemove $((LX + 20)) $((LY + 20)) key alt+F4
wait_exit "$KVDX_PID"
status=$?
KVDX_PID=
[ "$status" = 0 ] || fail "closing the launcher gave status $status"

# --- The frames on screen --------------------------------------------------------------
# The game has stepped its animations once per frame since it began; one of
# the first few hundred steps matches the screen exactly below the status line.
fcrop "$WORK/start.png" 640 456 0 24 "$WORK/start.ppm"
match=
for steps in $(seq 0 600); do
    "$VEXIL" render "$MAP" -x 488 -y 536 -a "$steps" -o "$WORK/render.png" || fail "vexil render failed"
    crop "$WORK/render.png" 640x456+0+24 "$WORK/render.ppm"
    if [ "$(differ "$WORK/start.ppm" "$WORK/render.ppm")" = 0 ]; then match=$steps; break; fi
done
[ -n "$match" ] || fail "the game at (488, 536) differs from vexil render"
echo "game screen = vexil render -x 488 -y 536 -a $match"

# Held right: the picture moved left by an even distance, found where the
# start picture shifted matches best, and it is the map there as vexil draws it.
fcrop "$WORK/moved.png" 300 380 0 100 "$WORK/moved.ppm"
best= bestdiff=
for d in $(seq 2 2 300); do
    fcrop "$WORK/start.png" 300 380 "$d" 100 "$WORK/shifted.ppm"
    n=$(differ "$WORK/moved.ppm" "$WORK/shifted.ppm")
    if [ -z "$best" ] || [ "$n" -lt "$bestdiff" ]; then best=$d bestdiff=$n; fi
done
fcrop "$WORK/moved.png" 640 456 0 24 "$WORK/moved.ppm"
match=
for steps in $(seq 0 900); do
    "$VEXIL" render "$MAP" -x $((488 + best)) -y 536 -a "$steps" -o "$WORK/render.png" || fail "vexil render failed"
    crop "$WORK/render.png" 640x456+0+24 "$WORK/render.ppm"
    if [ "$(differ "$WORK/moved.ppm" "$WORK/render.ppm")" = 0 ]; then match=$steps; break; fi
done
[ -n "$match" ] || fail "after holding right the screen is not the map at ($((488 + best)), 536)"
echo "right arrow: screen = vexil render -x $((488 + best)) -y 536 -a $match"

# --- No map: the start ends the program with 1, saying why --------------------------
mkdir "$WORK/empty" && cd "$WORK/empty"
"$KVDX" 2>"$WORK/kvdx2.err" &
KVDX_PID=$!
LAUNCHER=$(wait_window "Krill Voyagers - Early Preview") || true
[ -n "$LAUNCHER" ] || fail "no launcher window on the second run"
eval "$(xdotool getwindowgeometry --shell "$LAUNCHER")"
xdotool mousemove $((X + 166)) $((Y + 155)) click 1
wait_exit "$KVDX_PID"
status=$?
KVDX_PID=
[ "$status" = 1 ] || fail "a start without KVTEST.FMP gave status $status"
grep -q "^kvdx: KVTEST.FMP: cannot open (maperror 3): " "$WORK/kvdx2.err" ||
    fail "no reason for the failed start: $(cat "$WORK/kvdx2.err")"

echo "PASS"
