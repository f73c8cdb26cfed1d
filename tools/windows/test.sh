#!/bin/sh
# The Windows checks, run under Wine on this Linux machine: the unit tests and the offscreen
# window tests of the cross build (ctest, each test program through wine-run.sh), the roster's
# own Windows tests (roster-tests.sh, read back by the Linux oracles), the portable program
# from the zip on a virtual display (smoke.sh) and the installer (installer-check.sh).
# Usage: tools/windows/test.sh [BUILD]   (after tools/windows/build.sh)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build-windows}" && pwd)
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
# The Wine prefix is made once before tests run side by side.
prefixes=$(sed -n 's/^VELQUOR_WIN_PREFIX:[A-Z]*=//p' "$build/CMakeCache.txt")
VELQUOR_WIN_PREFIX=$prefixes "$here/wine-run.sh" cmd /c exit 0
exclude=""
if [ -x "$here/roster-tests.sh" ]; then
  # The roster's tests run through their own script, with the Linux oracles beside them.
  exclude="-E ^roster_"
fi
# shellcheck disable=SC2086
(cd "$build" && ctest --output-on-failure -j"$jobs" $exclude)
if [ -x "$here/roster-tests.sh" ]; then
  "$here/roster-tests.sh"
fi
"$here/smoke.sh" "$build"
"$here/installer-check.sh" "$build"
echo "windows-test: all Windows checks passed"
