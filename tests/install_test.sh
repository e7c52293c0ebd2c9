#!/usr/bin/env bash
# The installed show: `cmake --install` into a temporary prefix, then the installed
# lumorak-capture renders a frame from another folder, reading the installed data (the
# source tree's data is moved out of its way by a --data check first), and the launcher,
# the desktop entry and the icon are where a desktop looks for them.
#
# Usage: install_test.sh <build dir> <repository root>
set -euo pipefail
build=$(readlink -f "$1")
root=$(readlink -f "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix="$work/prefix"
for f in bin/lumorakdemo bin/lumorak-capture lib/lumorakdemo/lumorakdemo \
  share/lumorakdemo/data/deruz.mp3 share/lumorakdemo/data/materials/shadow.mat \
  share/applications/lumorakdemo.desktop share/icons/hicolor/256x256/apps/lumorakdemo.png; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
grep -qx 'Exec=lumorakdemo' "$prefix/share/applications/lumorakdemo.desktop" ||
  { echo "the desktop entry does not run lumorakdemo"; exit 1; }

# From another folder, with no data/ of its own: the installed data is found, not the
# source tree's. A broken installed picture shows which one the tool read.
mkdir "$work/elsewhere"
cd "$work/elsewhere"
export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
loading="$prefix/share/lumorakdemo/data/loading.png"
mv "$loading" "$work/loading.png"
echo "not a picture" >"$loading"
status=0
"$prefix/bin/lumorak-capture" --frames 46 --png-dir out 2>"$work/err.txt" >/dev/null || status=$?
[ "$status" -eq 1 ] && grep -q "Could not read image file 'data/loading.png'" "$work/err.txt" ||
  { echo "the installed tool did not read the installed data (exit $status)"; cat "$work/err.txt"; exit 1; }
mv "$work/loading.png" "$loading"
"$prefix/bin/lumorak-capture" --frames 46 --png-dir out 2>"$work/err.txt" >/dev/null ||
  { echo "the installed lumorak-capture failed"; cat "$work/err.txt"; exit 1; }
[ -s out/frame-046.000.png ] || { echo "no frame written"; ls -la out; exit 1; }
# The launcher makes the per-user folder with a link to the installed data.
HOME="$work/home" XDG_DATA_HOME="" timeout 1 "$prefix/bin/lumorakdemo" >/dev/null 2>&1 || true
link=$(readlink "$work/home/.local/share/lumorakdemo/data")
[ "$link" = "$prefix/share/lumorakdemo/data" ] || { echo "the launcher linked '$link'"; exit 1; }
[ -d "$work/home/.local/share/lumorakdemo/shots" ] || { echo "no shots/ folder"; exit 1; }
echo "install test passed"
