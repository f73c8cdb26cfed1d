#!/bin/sh
# Cross-builds the roster component and its Qt-free tests for 64-bit Windows with MinGW-w64 and
# runs them under Wine (ctest; each test program through wine-run.sh, which the build sets up
# as the cross-compiling emulator). No Qt is needed.
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

launcher=
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
# shellcheck disable=SC2086
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake" -DVELQUOR_WIN_PREFIX="$libs" \
  -DVELQUOR_ROSTER_ONLY=ON -DVELQUOR_BENCH=OFF -DVELQUOR_WERROR=ON $launcher
cmake --build "$build" -j"$jobs"
# The Wine prefix is made once, before tests run side by side.
VELQUOR_WIN_PREFIX="$libs" "$here/wine-run.sh" cmd /c exit 0
status=0
(cd "$build" && ctest --output-on-failure -j"$jobs" "$@") || status=$?
exit $status
