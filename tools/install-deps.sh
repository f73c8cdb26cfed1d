#!/bin/sh
# Installs the Debian packages Velquor needs to build, run and test, skipping
# those already present. Usage: tools/install-deps.sh run|package|test|windows
set -e
want="build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev
 libqt6multimedia6 fonts-noto-cjk fonts-arphic-ukai libzip-dev libpugixml-dev libdeflate-dev zlib1g-dev
 libsqlite3-dev libsqlitecpp-dev
 libxcb1-dev qt6-speech-dev qt6-declarative-dev qt6-speech-speechd-plugin speech-dispatcher
 speech-dispatcher-espeak-ng espeak-ng"
if [ "${1:-test}" != run ]; then
  # The Debian package: library dependencies, icon rendering, compressed manual page.
  want="$want dpkg-dev file librsvg2-bin gzip"
fi
if [ "${1:-test}" = test ] || [ "${1:-test}" = windows ]; then
  # Test oracles (LibreOffice, Gnumeric, openpyxl), benchmarks, the fuzzing toolchain, the
  # checkers of the package and its desktop files, and the writers the Spreadsheet::WriteExcel
  # and XlsxWriter fixtures are made with. The floating call button's checks run on Xvfb with
  # a window manager (openbox), driven by xdotool, over a LibreOffice Impress slide show (which
  # needs LibreOffice with its X11 front end, not the -nogui packages).
  want="$want openbox xdotool x11-utils libreoffice-impress libbenchmark-dev libreoffice-calc gnumeric clang libclang-rt-14-dev xvfb xauth
 lintian desktop-file-utils appstream libspreadsheet-writeexcel-perl python3-openpyxl python3-xlsxwriter"
fi
if [ "${1:-test}" = windows ]; then
  # The Windows build (`make windows`, `make windows-test`): the MinGW-w64 cross compiler, the
  # source packages of Qt and the roster's libraries (apt-get source; tcl generates SQLite's
  # amalgamation), the installer compiler, the icon tools, Wine on a virtual display with the
  # tools the screenshots and the smoke test use, and the packages whose source versions the
  # Windows libraries are built from.
  want="$want g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 nsis wine64 ninja-build
 dpkg-dev tcl icoutils librsvg2-bin zip unzip xdotool imagemagick x11-utils
 libsqlite3-dev libsqlitecpp-dev libgtest-dev libgmock-dev"
fi
missing=""
for p in $want; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages and not root: install them with apt-get:$missing" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends $missing
