#!/bin/sh
# Builds the libraries the Windows program links, from Debian's own source packages of the
# versions installed on this machine, with Debian's MinGW-w64: Qt (Core, Gui, Widgets, Test, the
# windows and offscreen platform plugins), zlib, libzip, pugixml, libdeflate, SQLite, SQLiteCpp.
# Everything goes into a cache folder outside the checkout, keyed by this script, the toolchain
# file and the source versions; a finished prefix is reused, so only the first run is long.
# Prints the prefix on its last line of standard output; progress goes to standard error.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/mingw-toolchain.cmake
cache=${VELQUOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velquor}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

# Source package and version of each library, taken from the host's development packages so
# that the Windows libraries match the Linux ones (the host Qt also supplies moc, rcc and uic).
srcver() { dpkg-query -W -f='${source:Package}=${source:Version}' "$1"; }
sources="$(srcver qt6-base-dev) $(srcver zlib1g-dev) $(srcver libzip-dev) $(srcver libpugixml-dev)
 $(srcver libdeflate-dev) $(srcver libsqlite3-dev) $(srcver libsqlitecpp-dev) $(srcver libgtest-dev)"
key=$( (cat "$0" "$toolchain"; echo $sources) | sha256sum | cut -c1-12)
prefix=$cache/win64-$key
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
log() { echo "build-deps: $*" >&2; }
# Sources are kept per source versions, builds per key.
srcs=$cache/src-$(echo $sources | sha256sum | cut -c1-12)
work=$cache/work-$key
mkdir -p "$srcs" "$work" "$prefix"

# A private apt configuration with deb-src entries for the same Debian archive the machine uses;
# the machine's own sources are left untouched.
apt_dir=$cache/apt
mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
for f in /etc/apt/sources.list.d/*.sources; do
  grep -q 'debian' "$f" || continue
  sed 's/^Types:.*/Types: deb-src/' "$f" > "$apt_dir/sources/$(basename "$f")"
done
apt_opts="-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts=$apt_dir/sources
 -o Dir::State::Lists=$apt_dir/lists -o Dir::Cache=$apt_dir/cache -o APT::Sandbox::User=root"
if [ ! -f "$srcs/.fetched" ]; then
  log "fetching source packages: $sources"
  # shellcheck disable=SC2086
  apt-get $apt_opts update >&2
  # The installed version's source where the archive still serves it, else the other versions
  # the archive lists for that package (a mirror may lack a security update's source).
  for s in $sources; do
    pkg=${s%%=*}
    for v in "${s#*=}" $(apt-cache $apt_opts showsrc "$pkg" | sed -n 's/^Version: //p'); do
      (cd "$srcs" && apt-get $apt_opts source "$pkg=$v" >&2) && break
      v=
    done
    [ -n "$v" ] || { log "no source of $pkg could be fetched"; exit 1; }
  done
  touch "$srcs/.fetched"
fi
srcdir() { find "$srcs" -maxdepth 1 -type d -name "$1-*" | head -n 1; }

cmake_lib() { # name, source dir, extra cmake arguments...
  name=$1; src=$2; shift 2
  [ -f "$work/.built-$name" ] && return 0
  log "building $name"
  cmake -S "$src" -B "$work/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVELQUOR_WIN_PREFIX="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >&2
  cmake --build "$work/build-$name" -j"$jobs" >&2
  cmake --install "$work/build-$name" >&2
  touch "$work/.built-$name"
}

cmake_lib googletest "$(srcdir googletest)" -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF

# Qt: a shared build of what the program and its tests use, with the host Qt's tools.
cmake_lib qt "$(srcdir qt6-base)" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_tabletevent=OFF -DFEATURE_jpeg=OFF -DFEATURE_opengl=ON \
  -DINPUT_opengl=desktop -DFEATURE_pkg_config=OFF

# Debian's repacked zlib lacks the win32 folder whose version resource the DLL build names.
zsrc=$(srcdir zlib)
[ -f "$zsrc/win32/zlib1.rc" ] || { mkdir -p "$zsrc/win32"; printf '1 VERSIONINFO\nFILEVERSION 1,2,13,0\nBEGIN\nEND\n' > "$zsrc/win32/zlib1.rc"; }
cmake_lib zlib "$zsrc"
if [ ! -f "$work/.built-libdeflate" ]; then
  log "building libdeflate"
  rm -rf "$work/build-libdeflate"
  cp -a "$(srcdir libdeflate)" "$work/build-libdeflate"
  make -C "$work/build-libdeflate" -j"$jobs" CC=x86_64-w64-mingw32-gcc-posix \
    AR=x86_64-w64-mingw32-ar PREFIX="$prefix" DISABLE_SHARED=1 install >&2
  touch "$work/.built-libdeflate"
fi
cmake_lib libzip "$(srcdir libzip)" -DBUILD_SHARED_LIBS=ON -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
  -DENABLE_ZSTD=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
  -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
cmake_lib pugixml "$(srcdir pugixml)" -DBUILD_SHARED_LIBS=ON -DPUGIXML_BUILD_TESTS=OFF

# SQLite: the amalgamation is generated from the source tree on the host (it needs tclsh and the
# host compiler), then compiled for Windows into a static library.
if [ ! -f "$work/.built-sqlite" ]; then
  log "building sqlite"
  src=$(srcdir sqlite3)
  mkdir -p "$work/build-sqlite"
  (cd "$work/build-sqlite" && "$src/configure" --disable-tcl >&2 && make sqlite3.c >&2)
  x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA \
    -c "$work/build-sqlite/sqlite3.c" -o "$work/build-sqlite/sqlite3.o"
  x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$work/build-sqlite/sqlite3.o"
  cp "$work/build-sqlite/sqlite3.h" "$work/build-sqlite/sqlite3ext.h" "$prefix/include/"
  touch "$work/.built-sqlite"
fi
cmake_lib sqlitecpp "$(srcdir sqlitecpp)" -DSQLITECPP_INTERNAL_SQLITE=OFF -DSQLITECPP_RUN_CPPLINT=OFF \
  -DSQLITECPP_RUN_CPPCHECK=OFF -DSQLITECPP_BUILD_TESTS=OFF -DSQLITECPP_BUILD_EXAMPLES=OFF \
  -DSQLite3_INCLUDE_DIR="$prefix/include" -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.a"

touch "$prefix/.complete"
log "done: $prefix"
echo "$prefix"
