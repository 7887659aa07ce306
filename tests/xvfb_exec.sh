#!/usr/bin/env bash
# Runs a command on a virtual X screen of its own with no window manager,
# through SDL's X11 driver, and ends with the command's status.
# Usage: xvfb_exec.sh WIDTHxHEIGHT COMMAND [ARGS...]   (exit 77: no Xvfb, skipped)
set -u
SCREEN=$1
shift
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }

WORK=$(mktemp -d)
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 "${SCREEN}x24" -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
trap 'kill "$XVFB_PID" 2>/dev/null; rm -rf "$WORK"' EXIT
for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
exec 3>&-
[ -s "$WORK/display" ] || { echo "Xvfb did not start: $(cat "$WORK/xvfb.log")"; exit 1; }
unset WAYLAND_DISPLAY
DISPLAY=":$(head -1 "$WORK/display")" SDL_VIDEODRIVER=x11 "$@"
