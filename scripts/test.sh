#!/usr/bin/env bash
# Installs what is missing, builds, checks formatting and runs every test. Works headless:
# without DISPLAY it starts its own X server (Xvfb, Mesa's llvmpipe renders), and without
# a sound device SDL's dummy audio driver plays.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
. scripts/xvfb.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

echo "== clang-format"
git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tools/*.cpp' 'tools/*.h' \
  | xargs clang-format --dry-run -Werror

xvfb_pid=""
xvfb_dir=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -n "$xvfb_dir" ] && rm -rf "$xvfb_dir"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  xvfb_dir=$(mktemp -d)
  start_xvfb "$xvfb_dir"
fi
if [ -z "${SDL_AUDIODRIVER:-}" ] && [ ! -e /dev/snd/controlC0 ]; then
  export SDL_AUDIODRIVER=dummy
fi
export LIBGL_ALWAYS_SOFTWARE=1

echo "== tests (DISPLAY=$DISPLAY, audio=${SDL_AUDIODRIVER:-default})"
ctest --test-dir "$build" --output-on-failure -j2
