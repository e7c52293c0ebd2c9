#!/usr/bin/env bash
# The Windows leg, after scripts/test.sh: makes the release (scripts/release.sh: the
# Windows build, the zip, the Debian package checked by lintian), then under Wine on Xvfb
# (a private one without DISPLAY) runs the Windows build's own tests and the release
# checks of tests/wine_test.sh: the zip's DLLs, the show from the unpacked zip in a fresh
# Wine prefix, the missing-file box, and the golden frames from the Windows renderer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# The work tree as it stands: a test run need not wait for a commit.
bash scripts/release.sh --allow-dirty
win=${WIN_BUILD_DIR:-build-win64}
version=$(sed -n 's/^project(lumorakdemo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=$root/dist/lumorakdemo-$version-win64.zip
[ -f "$zip" ] || { echo "test-windows: release.sh made no $zip"; exit 1; }

# pngdiff, from the Linux build the README's test command made (or makes now).
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target pngdiff

. scripts/xvfb.sh
headless_session
wine_dir=$(mktemp -d)
trap 'WINEPREFIX=$wine_dir/prefix wineserver -k 2>/dev/null || true; rm -rf "$wine_dir";
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; [ -n "$xvfb_dir" ] && rm -rf "$xvfb_dir"; true' EXIT
export WINEPREFIX=$wine_dir/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
echo "== Wine prefix (first start takes a while)"
wineboot -i >/dev/null 2>&1

echo "== Windows build's tests under Wine (DISPLAY=$DISPLAY)"
ctest --test-dir "$win" --output-on-failure -j2

echo "== the Windows release under Wine"
# The real sound path: where Wine offers no device, the show plays silently on its clock.
(unset SDL_AUDIODRIVER; bash tests/wine_test.sh "$zip" "$win" "$build/tests/pngdiff" "$root")
