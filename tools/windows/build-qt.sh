#!/bin/sh
# Builds Qt for Windows from Debian's own qt6-base source package of the installed version, with
# the host Qt's tools (moc, rcc, uic): a shared build of Core, Gui, Widgets, Network (the local
# socket that hands a second start over to the running window), Test and the windows and
# offscreen platform plugins. About 40 minutes on 2 cores, once; the result is
# cached outside the checkout. Prints the prefix on its last line.
. "$(dirname "$0")/deps-common.sh"
prepare qt "qt6-base-dev"
# Debian's repacked source lacks the wintab header, so tablet events are off (touch and pen still
# arrive through the pointer messages); the windows plugin of this version needs OpenGL.
cmake_lib qt "$(srcdir qt6-base)" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=ON -DFEATURE_openssl=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_tabletevent=OFF -DFEATURE_jpeg=OFF -DFEATURE_opengl=ON \
  -DINPUT_opengl=desktop -DFEATURE_pkg_config=OFF
finish
