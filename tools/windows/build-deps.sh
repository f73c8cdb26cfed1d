#!/bin/sh
# Builds (once) and prints the two Windows library prefixes, Qt's and the other libraries', on
# one line separated by a semicolon, as CMAKE_PREFIX_PATH takes them.
set -eu
dir=$(dirname "$0")
libs=$("$dir/build-libs.sh" | tail -n 1)
qt=$("$dir/build-qt.sh" | tail -n 1)
echo "$qt;$libs"
