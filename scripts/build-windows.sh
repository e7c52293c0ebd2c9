#!/usr/bin/env bash
# Cross-builds the show for 64-bit Windows with mingw-w64, into build-win64/ (or
# $WIN_BUILD_DIR): lumorakdemo.exe, the frame renderer and the tests that run under Wine.
#
# The libraries it links are built first from Debian 12's source packages, at the versions
# pinned in scripts/windows-deps.sh with their checksums checked, into a cache outside the
# repository ($LUMORAK_WIN_CACHE, by default ~/.cache/lumorakdemo/win64), keyed by those
# pins and the compiler. A second run finds them there and builds only the show.
#
# Usage: build-windows.sh [--deps-only] [extra cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

deps_only=0
if [ "${1:-}" = --deps-only ]; then
  deps_only=1
  shift
fi

bash scripts/install-deps.sh --windows
. scripts/windows-deps.sh
win_toolchain=$root/cmake/mingw-w64-x86_64.cmake

. scripts/deps-cache.sh
enable_deb_src
cache=${LUMORAK_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumorakdemo/win64}
key=$( (cat scripts/windows-deps.sh "$win_toolchain"; $win_cc --version | head -n 1) |
  sha256sum | cut -c1-16)
prefix=$cache/deps-$key
# The libraries' own builds find each other through LUMORAK_WIN_PREFIX.
build_into() { LUMORAK_WIN_PREFIX=$1 build_windows_deps "$1" "$2"; }
build_cached_prefix Windows "$prefix" build_into
[ "$deps_only" -eq 1 ] && { echo "$prefix"; exit 0; }

build=${WIN_BUILD_DIR:-build-win64}
export LUMORAK_WIN_PREFIX=$prefix
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$win_toolchain" -DCMAKE_BUILD_TYPE=Release \
  "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
