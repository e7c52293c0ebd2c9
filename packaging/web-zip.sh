#!/usr/bin/env bash
# Packs the browser release: OUT_ZIP holds one folder, named as the zip without .zip, with
#   index.html, page.js, loading.png     the page (packaging/web)
#   lumorakdemo.js, lumorakdemo.wasm     the show, built by scripts/build-web.sh
#   lumorakdemo.data, lumorakdemo.data.js  data/ as one package, and its loader
#   LICENSE
#   licenses/    DEPS_PREFIX/licenses/* (the libraries built for the page) and Emscripten's
#                copyright file, which covers its runtime, libc and libc++ linked in
# Any static web server serves the folder as it is. Member times are SOURCE_DATE_EPOCH
# (default: the last commit's) and names are sorted, so that the same input packs to the
# same bytes. OUT_ZIP is written only when complete.
#
# Usage: web-zip.sh BUILD_WEB_DIR DEPS_PREFIX OUT_ZIP
# Exit status: 0 packed, 1 failed, 2 bad usage.
set -euo pipefail
if [ "${1:-}" = --help ]; then
  sed -n '2,/^# Exit status/s/^# \{0,1\}//p' "$0"
  exit 0
fi
[ $# -eq 3 ] || { echo "usage: web-zip.sh BUILD_WEB_DIR DEPS_PREFIX OUT_ZIP" >&2; exit 2; }
web=$(readlink -f "$1")
deps=$(readlink -f "$2")
out_zip=$(readlink -m "$3")
root=$(cd "$(dirname "$0")/.." && pwd)
die() { echo "web-zip: $*" >&2; exit 1; }
[ -d "$deps/licenses" ] || die "the dependencies ($2) have no licenses/ folder"
[[ $out_zip == *.zip ]] || die "$3 does not end in .zip"
name=$(basename "$out_zip" .zip)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/$name
mkdir -p "$stage/licenses"
for f in index.html page.js loading.png lumorakdemo.js lumorakdemo.wasm lumorakdemo.data \
  lumorakdemo.data.js; do
  [ -f "$web/$f" ] || die "no $f in $1 (bash scripts/build-web.sh)"
  cp "$web/$f" "$stage/"
done
cp "$root/LICENSE" "$stage/"
cp -r "$deps/licenses/." "$stage/licenses/"
[ -f /usr/share/doc/emscripten/copyright ] || die "no copyright file for emscripten"
cp /usr/share/doc/emscripten/copyright "$stage/licenses/emscripten.txt"

. "$root/packaging/pack-folder.sh"
pack_folder "$work" "$name" "$out_zip" index.html lumorakdemo.wasm lumorakdemo.data LICENSE \
  licenses/SDL2.txt licenses/emscripten.txt
