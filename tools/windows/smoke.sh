#!/bin/sh
# The portable program as a teacher gets it, under Wine on a virtual display: unpacked from the
# zip into a folder with a Chinese name, started with only what the zip holds (no DLL search
# path of the build), its main window shown with the sample roster in the name list, one call
# and one mark written, and the roster read back on Linux (Gnumeric's ssconvert) with the
# mark in today's column. Screenshots at 100 % and 200 % go to BUILD/screenshots.
# Usage: tools/windows/smoke.sh BUILD
set -eu
build=$(cd "$1" && pwd)
cache=${VELQUOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velquor}
# A Wine prefix of its own: the program is stopped by ending that prefix's Wine server.
export WINEPREFIX=$cache/wine-smoke
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
unset WINEPATH QT_PLUGIN_PATH QT_QPA_PLATFORM QT_SCALE_FACTOR
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
for tool in Xvfb xdotool import ssconvert unzip; do
  command -v "$tool" >/dev/null || { echo "smoke.sh: needs $tool" >&2; exit 1; }
done
shots=$build/screenshots
mkdir -p "$shots"
work=$(mktemp -d)
display=:$((90 + $$ % 9))
xvfb=""
app=""
fail() { echo "smoke.sh: FAIL: $*" >&2; exit 1; }
stop_app() {
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null || true
  app=""
  "$(dirname "$wine")/wineserver64" -k 2>/dev/null || true
}
cleanup() { stop_app; [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

folder="$work/课堂 点名"
mkdir -p "$folder"
unzip -q "$build"/package/velquor-*-win64.zip -d "$folder"
program="$folder/Velquor"
[ -d "$program/data" ] || fail "the zip has no data folder"

# The portable program's own places, as it reports them.
[ -f "$WINEPREFIX/system.reg" ] || { mkdir -p "$WINEPREFIX"; "$wine" wineboot -i >/dev/null 2>&1 || true; "$(dirname "$wine")/wineserver64" -w; }
paths=$(cd "$work" && "$wine" "$program/velquor.exe" --paths | tr -d '\r')
printf '%s\n' "$paths"
printf '%s\n' "$paths" | grep -q '^data: Z:.*\\Velquor\\data$' || fail "the portable data folder is not beside the program"
printf '%s\n' "$paths" | grep -q '^settings: Z:.*\\Velquor\\data\\velquor.ini$' || fail "the portable settings are not the INI file"
printf '%s\n' "$paths" | grep -q '^roster: Z:.*\\Velquor\\点名册.xls (found)$' || fail "the sample roster is not found"

# Remembered settings: the name list, so the program opens the sample roster at once.
printf '[General]\ncategory=0\nrolling=false\n' > "$program/data/velquor.ini"

# start WIDTHxHEIGHT SCALE [VAR=VALUE...]: a fresh display and the program past its splash window.
start() {
  stop_app
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null || true
  Xvfb "$display" -screen 0 "${1}x24" -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=$display
  sleep 2
  scale=$2
  shift 2
  (cd "$program" && exec env "$@" "$wine" velquor.exe >/dev/null 2>&1) &
  app=$!
  # The splash window bears the same title; the main window is the one at least its design size
  # (628 pixels wide at 100 %).
  win=""
  for _ in $(seq 1 90); do
    sleep 1
    for w in $(xdotool search --onlyvisible --name '^Velquor$' 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$w")"
      [ "$WIDTH" -ge $((600 * scale)) ] && win=$w
    done
    [ -n "$win" ] && break
  done
  [ -n "$win" ] || fail "no main window"
  sleep 3  # the roster loaded
}

start 1280x1024 1
import -window root "$shots/windows-100.png"
eval "$(xdotool getwindowgeometry --shell "$win")"
echo "main window at $X,$Y size ${WIDTH}x$HEIGHT"
# One call (a clicker's Space), then "写成绩" (CmdXie(1)), placed by its design twips in the
# frame fraJf under the menu bar.
xdotool windowfocus --sync "$win" 2>/dev/null || true
xdotool key --window "$win" space
sleep 2
import -window root "$shots/windows-called.png"
menu=${VELQUOR_MENU_HEIGHT:-20}
xdotool mousemove --sync $((X + (4200 + 1140 + 382) / 15)) $((Y + menu + (1980 + 960 + 157) / 15)) click 1
sleep 3
import -window root "$shots/windows-written.png"
stop_app

# The roster read back on Linux: today's heading and a mark under it.
today=$(date +%m月%d)
ssconvert -S -T Gnumeric_stf:stf_csv "$program/点名册.xls" "$work/sheet.%s.csv" >/dev/null 2>&1 || fail "ssconvert cannot read the roster"
first=$(ls "$work"/sheet.*.csv | sort | head -n 1)
python3 - "$first" "$today" <<'PY' || fail "no mark in today's column of the roster"
import csv, sys
rows = list(csv.reader(open(sys.argv[1], encoding="utf-8")))
heads = [r for r in rows if sys.argv[2] in r]
assert heads, "no heading " + sys.argv[2]
col = heads[0].index(sys.argv[2])
start = rows.index(heads[0]) + 1
marks = [r[col] for r in rows[start:] if len(r) > col and r[col].strip()]
print("today's marks:", marks)
assert len(marks) == 1, marks
PY

# Wine keeps the host's QT_* variables from Windows programs; the user's environment in the
# registry reaches them.
"$wine" reg add 'HKCU\Environment' /v QT_SCALE_FACTOR /d 2 /f >/dev/null
"$(dirname "$wine")/wineserver64" -k 2>/dev/null || true
start 2560x2048 2
"$wine" reg delete 'HKCU\Environment' /v QT_SCALE_FACTOR /f >/dev/null
import -window root "$shots/windows-200.png"
echo "smoke.sh: the portable program ran, wrote a mark, screenshots in $shots"
