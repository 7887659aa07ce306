#!/usr/bin/env bash
# Runs the README's script for a machine with no display, word for word, from
# a folder that stands for the top of the tree (its build/ the build being
# tested): the demo must end by itself with status 0, the screenshot land in
# TMPDIR, and nothing be written where the script runs.
# Usage: readme_headless.sh README.md BUILD_DIR   (exit 77: tools missing or :99 taken)
set -uo pipefail
README=$1 BUILD=$2
for tool in Xvfb xdotool import identify; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -e /tmp/.X99-lock ] && { echo "SKIP: display :99 is in use"; exit 77; }

WORK=$(mktemp -d)
trap 'pkill -f "Xvfb :99" 2>/dev/null; rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The first sh block after the heading, as the README has it.
awk '/^### On a machine with no display/ {on = 1} on && /^```sh$/ {code = 1; next} code && /^```$/ {exit} code' \
    "$README" >"$WORK/script.sh"
grep -q 'kvdx' "$WORK/script.sh" || fail "no script under the heading in $README"

mkdir "$WORK/top" "$WORK/tmp"
ln -s "$BUILD" "$WORK/top/build"
cd "$WORK/top"
unset WAYLAND_DISPLAY SDL_VIDEODRIVER VEXIL_NO_PACING
out=$(TMPDIR="$WORK/tmp" timeout 120 bash "$WORK/script.sh" 2>&1)
status=$?
echo "$out"
[ "$status" = 0 ] || fail "the script ended with status $status"
echo "$out" | grep -q '^kvdx ended with status 0$' || fail "the demo did not end with status 0"
[ "$(ls -A "$WORK/top")" = build ] || fail "the script wrote into the tree: $(ls -A "$WORK/top")"
[ "$(identify -format '%wx%h' "$WORK/tmp/game.png" 2>/dev/null)" = 640x480 ] || fail "no 640 x 480 game.png in TMPDIR"
echo PASS
