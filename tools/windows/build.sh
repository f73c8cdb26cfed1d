#!/bin/sh
# Cross-builds the Windows program and its tests with MinGW-w64 into BUILD (default
# build-windows), then the portable zip and the installer into BUILD/package. The first run
# builds Qt and the other libraries from Debian's source packages (build-deps.sh, cached).
# Usage: tools/windows/build.sh [BUILD]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build-windows}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
prefixes=$("$root/tools/windows/build-deps.sh" | tail -n 1)
# A build made against other library prefixes (a rebuilt Qt) starts its configuration afresh.
if [ "$(cat "$build/.velquor-prefixes" 2>/dev/null)" != "$prefixes" ]; then
  rm -f "$build/CMakeCache.txt"
  mkdir -p "$build" && echo "$prefixes" > "$build/.velquor-prefixes"
fi
launcher=""
if command -v ccache >/dev/null; then
  launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi
# shellcheck disable=SC2086
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUOR_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/tools/windows/mingw-toolchain.cmake" \
  -DVELQUOR_WIN_PREFIX="$prefixes" -DCMAKE_PREFIX_PATH="$prefixes" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DVELQUOR_BENCH=OFF -DVELQUOR_FUZZ=OFF $launcher
cmake --build "$build" -j"$jobs"
cmake --build "$build" --target windows_package
