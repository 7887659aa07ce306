#!/usr/bin/env bash
# End-to-end test of the platformer on a virtual X screen, driven with
# xdotool: start with a recording, resize the window so the picture is
# letterboxed, hold right, pause, take the window's picture, quit with
# Escape (status 0); then replay the recording headlessly and compare its
# 320 x 240 frame with the picture found inside the window.
# Usage: e2e_platformer.sh PLATFORMER   (exit 77: tools missing, skipped)
set -uo pipefail

GAME=$1
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
# ImageMagick under its versioned Debian names when they are there.
IM_CONVERT=$(command -v convert-im6.q16 || command -v convert || true)
IM_COMPARE=$(command -v compare-im6.q16 || command -v compare || true)
IM_IMPORT=$(command -v import-im6.q16 || command -v import || true)
[ -n "$IM_CONVERT" ] && [ -n "$IM_COMPARE" ] && [ -n "$IM_IMPORT" ] || { echo "SKIP: ImageMagick is not installed"; exit 77; }

WORK=$(mktemp -d)
XVFB_PID= GAME_PID=
# E2E_KEEP=DIR keeps the pictures there.
cleanup() {
    [ -n "$GAME_PID" ] && kill "$GAME_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    [ -n "${E2E_KEEP:-}" ] && mkdir -p "$E2E_KEEP" && cp "$WORK"/*.png "$WORK"/*.txt "$E2E_KEEP"/ 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
exec 3>&-
[ -s "$WORK/display" ] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
export DISPLAY=":$(head -1 "$WORK/display")"
unset WAYLAND_DISPLAY SDL_VIDEODRIVER

# --- The window -----------------------------------------------------------------
"$GAME" --scale 2 --record "$WORK/inputs.txt" 2>"$WORK/game.err" &
GAME_PID=$!
WIN=$(timeout 10 xdotool search --sync --onlyvisible --name '^Platformer$' 2>/dev/null | head -1) || true
[ -n "$WIN" ] || fail "no window; stderr: $(cat "$WORK/game.err")"
eval "$(xdotool getwindowgeometry --shell "$WIN")"
[ "$WIDTH,$HEIGHT" = "640,480" ] || fail "window is ${WIDTH}x$HEIGHT, not 640x480 at scale 2"
# A size that is no multiple of the frame: scale 2 with bars around it.
xdotool windowsize "$WIN" 700 530
sleep 0.5
xdotool windowfocus "$WIN" 2>/dev/null
xdotool keydown Right
sleep 1.2
xdotool keyup Right
sleep 0.3
xdotool key p
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$WIN")"
"$IM_IMPORT" -window root "$WORK/screen.png"
xdotool key Escape
for _ in $(seq 100); do kill -0 "$GAME_PID" 2>/dev/null || break; sleep 0.1; done
kill -0 "$GAME_PID" 2>/dev/null && fail "Escape did not end the game"
wait "$GAME_PID"
status=$?
GAME_PID=
[ "$status" = 0 ] || fail "Escape gave status $status; stderr: $(cat "$WORK/game.err")"

# --- The same steps without a window ---------------------------------------------
"$GAME" --replay "$WORK/inputs.txt" --screenshot "$WORK/replay.png" --dump >"$WORK/dump.txt" ||
    fail "the replay failed"
steps=$(grep -vc '^#' "$WORK/inputs.txt")
last=$(tail -1 "$WORK/dump.txt")
read -r step x _ _ _ _ _ _ _ state _ <<<"$last"
[ "$step" = "$steps" ] || fail "the dump ends at step $step of $steps"
[ "$state" = paused ] || fail "the replay does not end paused: $last"
[ "$x" -gt 100 ] || fail "holding right did not move the player: $last"
echo "replayed $steps steps: $last"

# The frame inside the window: the largest whole scale that fits, centred.
scale=$(( WIDTH / 320 < HEIGHT / 240 ? WIDTH / 320 : HEIGHT / 240 ))
ox=$(( X + (WIDTH - 320 * scale) / 2 )) oy=$(( Y + (HEIGHT - 240 * scale) / 2 ))
[ "$scale" = 2 ] || fail "the ${WIDTH}x$HEIGHT window should show scale 2"
"$IM_CONVERT" "$WORK/screen.png" -crop "$((320 * scale))x$((240 * scale))+$ox+$oy" +repage \
    -sample 320x240 -depth 8 "$WORK/window.png"
diff=$("$IM_COMPARE" -metric AE "$WORK/window.png" "$WORK/replay.png" null: 2>&1 | cut -d' ' -f1)
[ "$diff" = 0 ] || fail "the window's frame differs from the replay in $diff pixels"
# The bars are black.
bar=$("$IM_CONVERT" "$WORK/screen.png" -crop "1x1+$((X + 1))+$((Y + 1))" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}')
[ "$bar" = "#000000" ] || fail "the letterbox bar is $bar"
echo "PASS"
