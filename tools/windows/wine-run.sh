#!/bin/sh
# Runs a Windows program of the cross build under wine64, with the DLLs of the cross-built
# prefixes and of the MinGW runtime on its search path and Qt's plugins found. The Wine
# prefix lives in the cache (VELQUOR_WINEPREFIX, default ~/.cache/velquor/wine), made on first
# use. CMake's test runner uses this as the cross-compiling emulator.
# Usage: VELQUOR_WIN_PREFIX="QT-PREFIX;LIBS-PREFIX" tools/windows/wine-run.sh PROGRAM.exe [ARGS...]
set -eu
cache=${VELQUOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velquor}
export WINEPREFIX=${VELQUOR_WINEPREFIX:-$cache/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No .NET or HTML engine downloads: nothing here needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -n "${VELQUOR_WIN_PREFIX:-}" ] || { echo "wine-run.sh: VELQUOR_WIN_PREFIX is not set" >&2; exit 2; }
qt=${VELQUOR_WIN_PREFIX%%;*}
libs=${VELQUOR_WIN_PREFIX#*;}
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
# Windows paths of the host's folders: Wine shows the root of the host as drive Z:.
win() { echo "Z:$1" | sed 's|/|\\|g'; }
export WINEPATH="$(win "$qt/bin");$(win "$libs/bin");$(win "$runtime");$(win /usr/x86_64-w64-mingw32/lib)"
# Wine keeps QT_* variables of the host from Windows programs, so the platform a test asks for
# (QT_QPA_PLATFORM, as ctest sets it) is given on the command line to the programs with windows
# (those importing Qt6Gui.dll); Qt's GUI-less tests and the rest would refuse the option.
qt_platform=${QT_QPA_PLATFORM:-}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$(dirname "$wine")/wineserver64" -w 2>/dev/null || wineserver -w 2>/dev/null || true
fi
program=$1
shift
imports=$(x86_64-w64-mingw32-objdump -p "$program" 2>/dev/null | sed -n 's/^[[:space:]]*DLL Name: //p')
set -- "$program" "$@"
if [ -n "$qt_platform" ] && echo "$imports" | grep -qx 'Qt6Gui.dll'; then
  set -- "$@" -platform "$qt_platform"
fi
# A Qt test's report does not come through Wine's standard output: it goes to a file, shown
# when the test ends.
if echo "$imports" | grep -qx 'Qt6Test.dll'; then
  report=$(mktemp)
  status=0
  "$wine" "$@" -o "Z:$report,txt" || status=$?
  cat "$report"
  rm -f "$report"
  exit $status
fi
exec "$wine" "$@"
