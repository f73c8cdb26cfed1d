#!/bin/sh
# Cross-builds the roster component and its Qt-free tests for 64-bit Windows with MinGW-w64 and
# runs them under Wine (ctest; each test program through wine-run.sh, which the build sets up
# as the cross-compiling emulator), then reads rosters saved there back with Gnumeric. No Qt
# is needed.
#   tools/windows/roster-tests.sh [BUILD-FOLDER] [CTEST-ARGUMENTS...]
# The folder defaults to build-windows-roster in the checkout; the libraries come from
# build-libs.sh (cached), or from VELQUOR_WIN_LIBS when set. Exits non-zero when a test fails.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build-windows-roster}
[ $# -gt 0 ] && shift
mkdir -p "$build" && build=$(cd "$build" && pwd)
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

# Rosters saved by the Windows build, read back by a Linux reader: the helper program of the
# tests adds 1 to a cell in 3 saves of its own, in an .xls and an .xlsx.
if command -v ssconvert >/dev/null; then
  work=$build/readback
  rm -rf "$work" && mkdir -p "$work"
  for f in lo-roster3.xls lo-roster3.xlsx; do
    cp "$src/tests/data/$f" "$work/点名册-$f"
    VELQUOR_WIN_PREFIX="$libs" "$here/wine-run.sh" "$build/bin/roster_file_helper.exe" count \
      "Z:$work/点名册-$f" 30 3 >/dev/null
    ssconvert -S -T Gnumeric_stf:stf_csv "$work/点名册-$f" "$work/$f.%n.csv" >/dev/null 2>&1
    got=$(sed -n 3p "$work/$f.0.csv" | cut -d, -f30)
    if [ "$got" = 3 ]; then
      echo "roster-tests: $f saved under Wine reads back in Gnumeric (AD3 = $got)"
    else
      echo "roster-tests: $f saved under Wine reads back wrong in Gnumeric (AD3 = '$got', not 3)" >&2
      status=1
    fi
  done
fi
exit $status
