#!/bin/sh
# Builds the Debian package from a built tree, unpacks it into a scratch root and checks
# what a school's IT person and a teacher would meet: the installed layout, the desktop
# entry, the AppStream metadata, lintian, and an installed program that finds its sounds,
# its introduction text and the teacher's roster, with a fresh home folder.
# When run as root with CI=true it also installs the package for real, checks it and
# removes it again.
# Usage: check_package.sh BUILD_DIR VERSION
set -eu
build="$(cd "$1" && pwd)"
version="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The package, as `make package` builds it, but into the scratch folder.
(cd "$build" && cpack -G DEB -B "$work/pkg") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/pkg/velquor_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no package $(basename "$deb"); made: $(ls "$work/pkg")"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for d in libc6 libqt6core6 libqt6widgets6 libqt6multimedia6 fonts-noto-cjk gstreamer1.0-plugins-base; do
  echo ", $depends," | grep -Eq ", $d[ ,]" || fail "Depends lacks $d"
done

root="$work/root"
dpkg -x "$deb" "$root"
share="$root/usr/share"
for f in usr/bin/velquor usr/share/velquor/sound/start.wav usr/share/velquor/sound/over.wav \
         usr/share/velquor/sound/yes.wav usr/share/velquor/sound/type.wav usr/share/velquor/sound/type0.wav \
         usr/share/velquor/说明文档.txt usr/share/applications/velquor.desktop \
         usr/share/metainfo/org.velquor.velquor.metainfo.xml usr/share/man/man1/velquor.1.gz \
         usr/share/icons/hicolor/scalable/apps/velquor.svg usr/share/doc/velquor/copyright; do
  [ -f "$root/$f" ] || fail "package lacks /$f"
done
for size in 48 128 256; do
  file "$share/icons/hicolor/${size}x${size}/apps/velquor.png" | grep -q "PNG image data, $size x $size" ||
    fail "no ${size}x${size} PNG icon"
done
grep -qx 'Name\[zh_CN\]=课堂点名' "$share/applications/velquor.desktop" || fail "desktop entry lacks the Chinese name"
desktop-file-validate "$share/applications/velquor.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/org.velquor.velquor.metainfo.xml" || fail "appstreamcli validate"
lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || { cat "$work/lintian.txt"; fail "lintian reports errors"; }
echo "lintian: $(grep -c '^W:' "$work/lintian.txt" || true) warnings, $(grep -c '^I:' "$work/lintian.txt" || true) notes"
grep '^W:' "$work/lintian.txt" || true

# A teacher's fresh account: everything the program may look at lies in the scratch folder,
# and the documents folder has a Chinese name, as on a Chinese desktop.
home="$work/home"
mkdir -p "$home/.config" "$work/cwd" "$work/run"
chmod 700 "$work/run"
echo 'XDG_DOCUMENTS_DIR="$HOME/文档"' >"$home/.config/user-dirs.dirs"
docs="$home/文档"
run() {
  (cd "$work/cwd" && env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
     XDG_DATA_DIRS="$work/no-data" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen "$@")
}
check_installed() {  # check_installed PROGRAM DATA_FOLDER
  [ "$(run "$1" --version)" = "velquor $version" ] || fail "$1 --version: $(run "$1" --version)"
  rm -rf "$docs"
  run "$1" --paths >"$work/paths.txt"
  for name in sound/start.wav sound/over.wav sound/yes.wav sound/type.wav sound/type0.wav 说明文档.txt; do
    grep -qxF "$name: $2/$name" "$work/paths.txt" || { cat "$work/paths.txt"; fail "$1 does not find $name in $2"; }
  done
  # No roster anywhere: the sample is offered in the documents folder.
  grep -qxF "roster: $docs/点名册.xls (missing; the sample roster is offered there)" "$work/paths.txt" ||
    { cat "$work/paths.txt"; fail "$1 does not offer the sample roster in the documents folder"; }
  mkdir -p "$docs"
  cp "$3" "$docs/点名册.xls"
  run "$1" --paths | grep -qxF "roster: $docs/点名册.xls (found)" || fail "$1 does not find the roster in the documents folder"
  # The program itself comes up without a display and stays up until stopped.
  status=0
  run timeout 5 "$1" >"$work/out.txt" 2>&1 || status=$?
  [ "$status" -eq 124 ] || { cat "$work/out.txt"; fail "$1 ended with status $status"; }
}
sample="$(dirname "$0")/../../roster/sample/点名册.xls"
check_installed "$root/usr/bin/velquor" "$share/velquor" "$sample"
echo "unpacked package: layout, validators and the installed program pass"

if [ "$(id -u)" -eq 0 ] && [ "${CI:-}" = true ]; then
  if dpkg-query -W velquor >/dev/null 2>&1; then
    echo "velquor is already installed here; the real installation is not tried"
  else
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.txt" 2>&1 ||
      { cat "$work/apt.txt"; fail "apt-get install"; }
    status=0
    (check_installed /usr/bin/velquor /usr/share/velquor "$sample") || status=$?
    dpkg -r velquor >/dev/null
    [ "$status" -eq 0 ] || fail "the installed package"
    echo "real installation: passes"
  fi
fi
