#!/bin/sh
# Cross-builds the roster component and its Qt-free tests for 64-bit Windows with MinGW-w64
# and runs them under Wine (ctest, each test through wine64). No Qt is needed.
#   tools/windows/roster-tests.sh [BUILD-FOLDER] [CTEST-ARGUMENTS...]
# The folder defaults to build-windows-roster in the checkout; the libraries come from
# build-libs.sh (cached), or from VELQUOR_WIN_LIBS when set. Exits non-zero when a test fails.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build-windows-roster}
[ $# -gt 0 ] && shift
jobs=${JOBS:-2}
libs=${VELQUOR_WIN_LIBS:-$("$here/build-libs.sh" | tail -n 1)}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || { echo "roster-tests: wine64 not found" >&2; exit 1; }
cache=${VELQUOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velquor}

launcher=
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
export PKG_CONFIG_LIBDIR="$libs/lib/pkgconfig:$libs/share/pkgconfig"
export PKG_CONFIG_PATH=
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake" -DVELQUOR_WIN_PREFIX="$libs" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" -DVELQUOR_ROSTER_ONLY=ON -DVELQUOR_BENCH=OFF -DVELQUOR_WERROR=ON \
  $launcher
cmake --build "$build" -j"$jobs"

# The DLLs the tests load: the libraries' and MinGW's runtime, found through WINEPATH.
gccdir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
winpath="$libs/bin;$gccdir;/usr/x86_64-w64-mingw32/lib"
# A Wine prefix of its own, made once; nothing of the user's Wine configuration is touched.
export WINEPREFIX="${VELQUOR_WINEPREFIX:-$cache/wine-roster}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPATH="$winpath"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1 || true
fi
status=0
(cd "$build" && ctest --output-on-failure -j"$jobs" "$@") || status=$?
# The Wine server of this prefix ends with the last test.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
WINEPREFIX="$WINEPREFIX" "$wineserver" -w 2>/dev/null || true
exit $status
