# Shared by the Windows library builds (sourced, not run): fetching Debian's source packages of
# the versions installed on this machine through a private apt configuration, and a CMake build
# with the MinGW-w64 toolchain. Each build goes into a cache folder outside the checkout, keyed
# by its own script, this file, the toolchain file and the source versions.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/mingw-toolchain.cmake
cache=${VELQUOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velquor}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
log() { echo "$(basename "$0"): $*" >&2; }

# Source package and version behind an installed development package.
srcver() { dpkg-query -W -f='${source:Package}=${source:Version}' "$1"; }

# prepare LAYER "DEV-PACKAGES...": sets sources, prefix, work and srcs; exits 0 after printing
# the prefix when that layer is already complete.
prepare() {
  layer=$1
  sources=""
  for p in $2; do sources="$sources $(srcver "$p")"; done
  key=$( (cat "$0" "$here/deps-common.sh" "$toolchain"; echo $sources) | sha256sum | cut -c1-12)
  prefix=$cache/$layer-$key
  if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
  fi
  srcs=$cache/src-$(echo $sources | sha256sum | cut -c1-12)
  work=$cache/work-$layer-$key
  mkdir -p "$srcs" "$work" "$prefix"
  fetch
}

# A private apt configuration with deb-src entries for the Debian archive the machine uses; the
# machine's own sources are left untouched.
fetch() {
  [ -f "$srcs/.fetched" ] && return 0
  apt_dir=$cache/apt
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  for f in /etc/apt/sources.list.d/*.sources; do
    grep -q 'debian' "$f" || continue
    sed 's/^Types:.*/Types: deb-src/' "$f" > "$apt_dir/sources/$(basename "$f")"
  done
  apt_opts="-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts=$apt_dir/sources
   -o Dir::State::Lists=$apt_dir/lists -o Dir::Cache=$apt_dir/cache -o APT::Sandbox::User=root"
  log "fetching source packages:$sources"
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
}

srcdir() { find "$srcs" -maxdepth 1 -type d -name "$1-*" | head -n 1; }

# cmake_lib NAME SOURCE-DIR [CMAKE ARGUMENTS...]; EXTRA_ROOT names a further prefix to search.
cmake_lib() {
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

finish() {
  touch "$prefix/.complete"
  log "done: $prefix"
  echo "$prefix"
}
