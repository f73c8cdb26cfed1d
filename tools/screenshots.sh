#!/bin/sh
# Starts the program under a virtual X display and saves screenshots as PNG files: the
# splash, the main window and the introduction window (帮助 > 关于) on a 1280×1024 screen;
# then, on a 1920×1080 projector screen, the window in full screen (F11, which needs a
# window manager: openbox), enlarged with Ctrl++ and in the presentation view (B), and the
# whole program at twice the size on a 3840×2160 high-DPI screen (QT_SCALE_FACTOR=2).
# Usage: tools/screenshots.sh [build dir] [output dir]
set -e
build="${1:-build}"
out="${2:-screenshots}"
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "needs $tool (packages xvfb, xdotool, imagemagick)" >&2; exit 1; }
done
mkdir -p "$out"
out="$(cd "$out" && pwd)"
# Remembered settings go to a folder of their own, and every run starts from the defaults.
XDG_CONFIG_HOME="$(mktemp -d)"
export XDG_CONFIG_HOME QT_QPA_PLATFORM=xcb
display=:97
app=""
xvfb=""
wm=""
trap 'kill $app $wm $xvfb 2>/dev/null || true; rm -rf "$XDG_CONFIG_HOME"' EXIT

# screen WIDTHxHEIGHT: a fresh virtual display of that size.
screen() {
  [ -n "$app" ] && kill $app 2>/dev/null && wait $app 2>/dev/null || true
  [ -n "$wm" ] && kill $wm 2>/dev/null && wait $wm 2>/dev/null || true
  [ -n "$xvfb" ] && kill $xvfb 2>/dev/null && wait $xvfb 2>/dev/null || true
  app=""
  wm=""
  Xvfb $display -screen 0 "${1}x24" >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=$display
  sleep 1
}
# A window manager, for full screen; without one the program's window keeps its size.
manager() {
  command -v openbox >/dev/null || { echo "no openbox: the full-screen shot shows the window unchanged" >&2; return; }
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
}
# start [env...]: the program with its defaults, past the splash.
start() {
  [ -n "$app" ] && kill $app 2>/dev/null && wait $app 2>/dev/null || true
  (cd "$build/bin" && env "$@" ./velquor --reset >/dev/null 2>&1) &
  app=$!
  sleep 4
  win=$(xdotool search --onlyvisible --name '^Velquor$' | tail -n 1)
}
# shot NAME: the main window alone; root NAME: the whole screen.
shot() { import -window "$win" "$out/$1.png"; }
root() { import -window root "$out/$1.png"; }
key() {
  xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
  sleep 0.5
  xdotool key "$@"
  sleep 1
}

screen 1280x1024
(cd "$build/bin" && ./velquor --reset >/dev/null 2>&1) &
app=$!
sleep 1
root splash
sleep 3
win=$(xdotool search --onlyvisible --name '^Velquor$' | tail -n 1)
shot main
# Open the help menu (the last menu) and choose 关于.
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --sync $((X + 245)) $((Y + 10)) click 1
sleep 0.5
root help-menu
xdotool key Down Return
sleep 1
about=$(xdotool search --onlyvisible --name '简介' | tail -n 1)
eval "$(xdotool getwindowgeometry --shell "$about")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/introduction.png"

screen 1920x1080
manager
start
key F11
root projector-fullscreen
key b
root projector-presentation
key b
key Escape
key ctrl+plus
key ctrl+plus
shot projector-zoomed
screen 3840x2160
start QT_SCALE_FACTOR=2
shot scale-2x
key ctrl+plus
shot scale-2x-zoomed
echo "saved in $out"
