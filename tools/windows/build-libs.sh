#!/bin/sh
# Builds the libraries besides Qt that the Windows program and its tests link, from Debian's own
# source packages of the installed versions: zlib, libdeflate, libzip, pugixml, SQLite,
# SQLiteCpp, GoogleTest. A few minutes, once; cached outside the checkout. Prints the prefix on
# its last line.
. "$(dirname "$0")/deps-common.sh"
prepare libs "zlib1g-dev libdeflate-dev libzip-dev libpugixml-dev libsqlite3-dev libsqlitecpp-dev libgtest-dev"
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

cmake_lib googletest "$(srcdir googletest)" -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF
finish
