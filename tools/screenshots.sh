#!/bin/sh
# Starts the program under a virtual X display and saves screenshots of the splash,
# the main window and the introduction window (帮助 > 关于) as PNG files.
# Usage: tools/screenshots.sh [build dir] [output dir]
set -e
build="${1:-build}"
out="${2:-screenshots}"
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "needs $tool (packages xvfb, xdotool, imagemagick)" >&2; exit 1; }
done
mkdir -p "$out"
out="$(cd "$out" && pwd)"
display=:97
Xvfb $display -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb
cd "$build/bin"
./velquor >/dev/null 2>&1 &
app=$!
sleep 1
import -window root "$out/splash.png"
sleep 3
win=$(xdotool search --onlyvisible --name '^Velquor$' | tail -n 1)
eval "$(xdotool getwindowgeometry --shell "$win")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/main.png"
# Open the help menu (the last menu) and choose 关于.
xdotool mousemove --sync $((X + 305)) $((Y + 10)) click 1
sleep 0.5
import -window root "$out/help-menu.png"
xdotool key Down Return
sleep 1
about=$(xdotool search --onlyvisible --name '简介' | tail -n 1)
eval "$(xdotool getwindowgeometry --shell "$about")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/introduction.png"
echo "saved in $out"
