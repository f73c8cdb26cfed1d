#!/bin/sh
# The installer under Wine, in a Wine prefix of its own: a silent installation (/S) puts the
# program, the Start-menu entry "课堂点名", the desktop shortcut and the "Apps & features" entry
# in place without administrator rights; the installed program keeps its data in
# %APPDATA%\Velquor and its settings in the registry; the silent uninstallation removes what
# was installed and leaves the teacher's data, settings and files.
# Usage: tools/windows/installer-check.sh BUILD
set -eu
build=$(cd "$1" && pwd)
cache=${VELQUOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velquor}
export WINEPREFIX=$cache/wine-installer
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
unset WINEPATH QT_PLUGIN_PATH QT_SCALE_FACTOR
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver="$(dirname "$wine")/wineserver64"
fail() { echo "installer-check.sh: FAIL: $*" >&2; exit 1; }
setup=$(ls "$build"/package/velquor-*-win64-setup.exe)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wineserver" -w
fi
user=$(id -un)
home="$WINEPREFIX/drive_c/users/$user"
installed="$home/AppData/Local/Programs/Velquor"
menu="$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/课堂点名.lnk"
desktop=$("$wine" cmd /c echo %USERPROFILE%\\Desktop | tr -d '\r')
desktop_unix=$("$wine" winepath -u "$desktop" | tr -d '\r')
uninstall_key='Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Velquor'

QT_QPA_PLATFORM=offscreen "$wine" "$setup" /S
"$wineserver" -w
[ -f "$installed/velquor.exe" ] || fail "velquor.exe not installed"
[ -f "$installed/uninstall.exe" ] || fail "no uninstaller"
[ -f "$installed/platforms/qwindows.dll" ] || fail "no platform plugin"
[ -f "$installed/sound/yes.wav" ] || fail "no sounds"
[ -f "$installed/示例/点名册.xls" ] || fail "no sample roster"
[ ! -e "$installed/点名册.xls" ] || fail "a roster beside the installed program would be overwritten by the next installation"
[ -f "$menu" ] || fail "no Start-menu entry 课堂点名"
[ -f "$desktop_unix/课堂点名.lnk" ] || fail "no desktop shortcut"
grep -q "$uninstall_key" "$WINEPREFIX/user.reg" || fail "no Apps & features entry"
sed -n "/$uninstall_key\]/,/^\$/p" "$WINEPREFIX/user.reg" | grep -q '^"UninstallString"=.*uninstall.exe' || fail "the Apps & features entry has no uninstaller"

# The installed program: data in %APPDATA%\Velquor, settings in the registry.
paths=$(cd "$home" && "$wine" "$installed/velquor.exe" --paths | tr -d '\r')
printf '%s\n' "$paths"
printf '%s\n' "$paths" | grep -q '^data: C:\\users\\[^\\]*\\AppData\\Roaming\\Velquor$' || fail "the installed program's data is not in %APPDATA%\\Velquor"
printf '%s\n' "$paths" | grep -qF 'settings: \HKEY_CURRENT_USER\Software\Velquor\Velquor' || fail "the installed program's settings are not in the registry"

# The teacher's things: the program's data, a roster in the documents folder, a file kept in
# the program's folder, the settings.
mkdir -p "$home/AppData/Roaming/Velquor" "$home/Documents"
echo "teacher" > "$home/AppData/Roaming/Velquor/pending.txt"
cp "$installed/示例/点名册.xls" "$home/Documents/点名册.xls"
echo "teacher" > "$installed/我的笔记.txt"
"$wine" reg add 'HKCU\Software\Velquor\Velquor' /v category /d 0 /f >/dev/null

"$wine" "$installed/uninstall.exe" /S
"$wineserver" -w
sleep 2
"$wineserver" -w
[ ! -e "$installed/velquor.exe" ] || fail "velquor.exe left behind"
[ ! -e "$installed/platforms" ] || fail "the plugins left behind"
[ ! -e "$installed/uninstall.exe" ] || fail "the uninstaller left behind"
[ ! -e "$menu" ] || fail "the Start-menu entry left behind"
[ ! -e "$desktop_unix/课堂点名.lnk" ] || fail "the desktop shortcut left behind"
! grep -q "$uninstall_key" "$WINEPREFIX/user.reg" || fail "the Apps & features entry left behind"
[ -f "$home/AppData/Roaming/Velquor/pending.txt" ] || fail "the program's data was removed"
[ -f "$home/Documents/点名册.xls" ] || fail "the teacher's roster was removed"
[ -f "$installed/我的笔记.txt" ] || fail "the teacher's file in the program folder was removed"
grep -q 'Software\\\\Velquor\\\\Velquor' "$WINEPREFIX/user.reg" || fail "the settings were removed"
rm -rf "$installed" "$home/AppData/Roaming/Velquor" "$home/Documents/点名册.xls"
"$wine" reg delete 'HKCU\Software\Velquor' /f >/dev/null 2>&1 || true
"$wineserver" -w
echo "installer-check.sh: installed, checked and uninstalled; the teacher's data stayed"
