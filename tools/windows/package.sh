#!/bin/sh
# Lays out the Windows program as a teacher gets it and packs it twice: the portable zip
# velquor-<version>-win64.zip (one folder "Velquor" holding everything, with an empty "data"
# folder for the teacher's files) and the installer velquor-<version>-win64-setup.exe (NSIS).
# Both hold the program, exactly the DLLs it loads (Qt, the roster's libraries, the MinGW
# runtime: found by following the import tables from the program and its Qt plugins), the
# windows platform and style plugins, the sounds, the introduction text and the sample roster.
# Usage: tools/windows/package.sh BUILD-DIR "QT-PREFIX;LIBS-PREFIX" VERSION
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
qt=${2%%;*}
libs=${2#*;}
version=$3
objdump=x86_64-w64-mingw32-objdump
out=$build/package
stage=$out/Velquor
rm -rf "$stage" "$out/installer"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/sound" "$stage/data" "$out/installer"

cp "$build/bin/velquor.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/velquor.exe"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
for style in "$qt"/plugins/styles/*.dll; do [ -f "$style" ] && cp "$style" "$stage/styles/"; done
rmdir "$stage/styles" 2>/dev/null || true
cp "$root"/sound/*.wav "$stage/sound/"
cp "$root/app/说明文档.txt" "$stage/"
cp "$root/roster/sample/点名册.xls" "$stage/"

# The DLLs the program and its plugins import, and theirs in turn, from the cross-built
# prefixes and the compiler's runtime; Windows' own DLLs stay out.
search="$qt/bin $libs/bin $(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)") /usr/x86_64-w64-mingw32/lib"
system_dll() {
  case $(echo "$1" | tr 'A-Z' 'a-z') in
    api-ms-win-*|ext-ms-*|kernel32.dll|user32.dll|gdi32.dll|shell32.dll|ole32.dll|oleaut32.dll|\
    advapi32.dll|winmm.dll|ws2_32.dll|comdlg32.dll|comctl32.dll|imm32.dll|dwmapi.dll|uxtheme.dll|\
    version.dll|winspool.drv|shlwapi.dll|msvcrt.dll|setupapi.dll|mpr.dll|netapi32.dll|userenv.dll|\
    wtsapi32.dll|d3d9.dll|d3d11.dll|d3d12.dll|dxgi.dll|dcomp.dll|opengl32.dll|authz.dll|rpcrt4.dll|\
    crypt32.dll|bcrypt.dll|ntdll.dll|secur32.dll|iphlpapi.dll|dwrite.dll|d2d1.dll|shcore.dll|\
    winhttp.dll|wininet.dll|cfgmgr32.dll|propsys.dll|oleacc.dll|usp10.dll|msimg32.dll|dnsapi.dll|\
    ncrypt.dll) return 0 ;;
  esac
  return 1
}
queue=$(find "$stage" -name '*.exe' -o -name '*.dll')
while [ -n "$queue" ]; do
  next=""
  for file in $queue; do
    for dll in $($objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
      [ -f "$stage/$dll" ] && continue
      found=""
      for dir in $search; do
        if [ -f "$dir/$dll" ]; then found=$dir/$dll; break; fi
      done
      if [ -n "$found" ]; then
        cp "$found" "$stage/$dll"
        next="$next $stage/$dll"
      elif ! system_dll "$dll"; then
        echo "package.sh: $dll (imported by $(basename "$file")) is neither built here nor part of Windows" >&2
        exit 1
      fi
    done
  done
  queue=$next
done

# No debugging symbols in what a teacher gets.
find "$stage" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +

# The portable zip, its names in UTF-8 and marked so (Python's zipfile sets the flag), so
# Windows shows 点名册.xls and 说明文档.txt rather than the OEM code page's reading of them.
zip_file=$out/velquor-$version-win64.zip
rm -f "$zip_file"
python3 - "$out" "$zip_file" <<'PY'
import os, sys, zipfile
base, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for folder, dirs, files in os.walk(os.path.join(base, "Velquor")):
        dirs.sort()
        rel = os.path.relpath(folder, base)
        z.write(folder, rel + "/")
        for name in sorted(files):
            z.write(os.path.join(folder, name), os.path.join(rel, name))
PY

# The installer: every file but the portable data folder; the uninstaller removes exactly
# these files, so whatever the teacher keeps beside them stays.
files=$out/installer/files.nsh
unfiles=$out/installer/unfiles.nsh
: > "$files"
: > "$unfiles"
for dir in $(cd "$stage" && find . -type d ! -name data | sort); do
  rel=$(printf '%s' "${dir#.}" | sed 's|/|\\|g')
  printf '%s\n' "SetOutPath \"\$INSTDIR$rel\"" >> "$files"
  for f in $(cd "$stage/$dir" && find . -maxdepth 1 -type f | sort); do
    name=${f#./}
    # The sample goes into a folder of its own: a roster beside the program would be written
    # to, and a later installation would overwrite it.
    if [ "$name" = "点名册.xls" ] && [ "$dir" = . ]; then continue; fi
    printf '%s\n' "File \"$stage/${dir#./}/$name\"" | sed 's|/\./|/|; s|//|/|' >> "$files"
    printf '%s\n' "Delete \"\$INSTDIR$rel\\$name\"" >> "$unfiles"
  done
done
printf '%s\n' "SetOutPath \"\$INSTDIR\\示例\"" >> "$files"
printf '%s\n' "File \"$stage/点名册.xls\"" >> "$files"
printf '%s\n' "Delete \"\$INSTDIR\\示例\\点名册.xls\"" >> "$unfiles"
printf '%s\n' "RMDir \"\$INSTDIR\\示例\"" >> "$unfiles"
for dir in $(cd "$stage" && find . -mindepth 1 -type d ! -name data | sort -r); do
  printf '%s\n' "RMDir \"\$INSTDIR$(printf '%s' "${dir#.}" | sed 's|/|\\|g')\"" >> "$unfiles"
done
setup=$out/velquor-$version-win64-setup.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$files" -DUNFILES="$unfiles" \
  -DICON="$build/generated/windows/velquor.ico" -DOUTFILE="$setup" "$root/packaging/windows/velquor.nsi"
ls -l "$zip_file" "$setup"
