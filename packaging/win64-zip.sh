#!/usr/bin/env bash
# Packs the Windows release: OUT_ZIP holds one folder, named as the zip without .zip, with
#   lumorakdemo.exe   EXE stripped of its symbols
#   *.dll             every DLL it loads, directly or through another, that is not
#                     Windows' own: found among the dependencies (DEPS_PREFIX/bin, lib) or
#                     the cross compiler's runtime, stripped; one found nowhere fails
#   data/             the repository's committed data/
#   lumorakdemo.nfo, LICENSE
#   licenses/         DEPS_PREFIX/licenses/*, and those of the compiler's runtime that is
#                     linked in (libstdc++, libgcc, winpthreads, start-up code) with GPL-3
# Member times are SOURCE_DATE_EPOCH (default: the last commit's) and names are sorted, so
# the same input packs to the same bytes. OUT_ZIP is written only when complete.
#
# Usage: win64-zip.sh EXE DEPS_PREFIX OUT_ZIP
# Exit status: 0 packed, 1 failed, 2 bad usage.
set -euo pipefail
if [ "${1:-}" = --help ]; then
  sed -n '2,/^# Exit status/s/^# \{0,1\}//p' "$0"
  exit 0
fi
[ $# -eq 3 ] || { echo "usage: win64-zip.sh EXE DEPS_PREFIX OUT_ZIP" >&2; exit 2; }
exe=$(readlink -f "$1")
deps=$(readlink -f "$2")
out_zip=$(readlink -m "$3")
root=$(cd "$(dirname "$0")/.." && pwd)
die() { echo "win64-zip: $*" >&2; exit 1; }

[ -f "$exe" ] || die "no $1"
[ -d "$deps/licenses" ] || die "the dependencies ($2) have no licenses/ folder"
[[ $out_zip == *.zip ]] || die "$3 does not end in .zip"
mingw=x86_64-w64-mingw32
command -v $mingw-objdump >/dev/null || die "no $mingw-objdump (bash scripts/install-deps.sh --windows)"

name=$(basename "$out_zip" .zip)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/$name
mkdir -p "$stage/licenses"
cp "$exe" "$stage/lumorakdemo.exe"
$mingw-strip --strip-all "$stage/lumorakdemo.exe"

# Windows' own DLLs, which every Windows 10 and 11 has; names compare without case, as
# Windows does.
windows_dll() {
  case ${1,,} in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | ole32.dll | \
      oleaut32.dll | imm32.dll | winmm.dll | version.dll | setupapi.dll | cfgmgr32.dll | \
      opengl32.dll | glu32.dll | msvcrt.dll | ucrtbase.dll | ws2_32.dll | bcrypt.dll | \
      dinput8.dll | dxgi.dll | d3d9.dll | d3d11.dll | hid.dll | shlwapi.dll | \
      comdlg32.dll | comctl32.dll | dwmapi.dll | uxtheme.dll | powrprof.dll | \
      api-ms-win-*.dll) return 0 ;;
  esac
  return 1
}
find_built_dll() {
  local dir found
  for dir in "$deps/bin" "$deps/lib" "/usr/lib/gcc/$mingw"/*-posix /usr/$mingw/lib /usr/$mingw/bin; do
    [ -d "$dir" ] || continue
    found=$(find "$dir" -maxdepth 1 -iname "$1" -print -quit)
    [ -z "$found" ] || { echo "$found"; return 0; }
  done
}
imports() { $mingw-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }
# Breadth first over the import tables: each bundled DLL's own imports are looked at too.
pending=("$stage/lumorakdemo.exe")
while [ ${#pending[@]} -gt 0 ]; do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  for dll in $(imports "$file"); do
    windows_dll "$dll" && continue
    [ -e "$stage/$dll" ] && continue
    found=$(find_built_dll "$dll")
    [ -n "$found" ] || die "${file##*/} needs $dll, neither Windows' own nor built here"
    echo "bundling $dll ($found)"
    cp "$found" "$stage/$dll"
    $mingw-strip --strip-unneeded "$stage/$dll"
    pending+=("$stage/$dll")
  done
done

# The show's data as committed (no stray files from a work tree).
(cd "$root" && git ls-files -z data | xargs -0 cp --parents -t "$stage")
cp "$root/packaging/lumorakdemo.nfo" "$root/LICENSE" "$stage/"

# Licences of everything in the exe: the libraries built for it, and the compiler's
# runtime linked in statically, libstdc++ and libgcc (GPL-3 with the GCC Runtime Library
# Exception, whose text is in that copyright file) and winpthreads with the start-up code
# (mingw-w64's file). The packages that own those libraries name the copyright files.
cp -r "$deps/licenses/." "$stage/licenses/"
copyright_of() {  # copyright_of LIBRARY: the copyright file of the package that owns it
  local lib package
  lib=$($mingw-g++-posix -print-file-name="$1")
  [ -f "$lib" ] || die "no $1 in the cross compiler"
  package=$(dpkg -S "$(readlink -f "$lib")" 2>/dev/null) || die "no package owns $lib"
  package=${package%%:*}
  [ -f "/usr/share/doc/$package/copyright" ] || die "no copyright file for $package"
  echo "/usr/share/doc/$package/copyright"
}
gcc_copyright=$(copyright_of libstdc++.a)
winpthreads_copyright=$(copyright_of libwinpthread.a)
cp "$gcc_copyright" "$stage/licenses/mingw-w64-gcc-libstdc++-libgcc.txt"
cp "$winpthreads_copyright" "$stage/licenses/mingw-w64-winpthreads-crt.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.txt"

# What a Windows user unpacks: one folder with everything the show reads.
. "$root/packaging/pack-folder.sh"
pack_folder "$work" "$name" "$out_zip" lumorakdemo.exe lumorakdemo.nfo LICENSE \
  data/deruz.mp3 data/materials/ licenses/GPL-3.txt
