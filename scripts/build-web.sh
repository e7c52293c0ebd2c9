#!/usr/bin/env bash
# Builds the show for web browsers with Debian's Emscripten, into build-web/ (or
# $WEB_BUILD_DIR): index.html, lumorakdemo.js, lumorakdemo.wasm and lumorakdemo.data
# (data/, preloaded), ready for any static web server. Also the test page's frame renderer
# (lumorak-capture.js) used by tests/web.
#
# The libraries it links are built first from Debian 12's source packages, pinned in
# scripts/windows-deps.sh with their checksums, into a cache outside the repository
# ($LUMORAK_WEB_CACHE, by default ~/.cache/lumorakdemo/web), keyed by those pins and the
# compiler. A second run finds them there and builds only the show.
#
# Usage: build-web.sh [--deps-only] [extra cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

deps_only=0
if [ "${1:-}" = --deps-only ]; then
  deps_only=1
  shift
fi

bash scripts/install-deps.sh --web
# Debian's emcc needs its own node modules (acorn) on the path.
export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs
. scripts/web-deps.sh

. scripts/deps-cache.sh
enable_deb_src
cache=${LUMORAK_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumorakdemo/web}
key=$( (cat scripts/web-deps.sh scripts/windows-deps.sh; emcc --version | head -n 1) |
  sha256sum | cut -c1-16)
prefix=$cache/deps-$key
build_cached_prefix web "$prefix" build_web_deps
[ "$deps_only" -eq 1 ] && { echo "$prefix"; exit 0; }

build=${WEB_BUILD_DIR:-build-web}
export LUMORAK_WEB_PREFIX=$prefix
emcmake cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLUMORAK_TESTS=OFF "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
