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

# Source packages come from the same archive as the binary ones, once a deb-src entry
# names it.
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "Adding Debian's source packages to apt (deb-src)"
  sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
    $sudo tee /etc/apt/sources.list.d/lumorakdemo-deb-src.sources >/dev/null
  $sudo apt-get update -qq
fi

cache=${LUMORAK_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumorakdemo/win64}
key=$( (cat scripts/windows-deps.sh "$win_toolchain"; $win_cc --version | head -n 1) |
  sha256sum | cut -c1-16)
prefix=$cache/deps-$key
if [ ! -f "$prefix/.complete" ]; then
  started=$(date +%s)
  echo "== building the Windows dependencies into $prefix"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  rm -rf "$prefix.partial"
  LUMORAK_WIN_PREFIX=$prefix.partial build_windows_deps "$prefix.partial" "$work"
  # Paths inside the prefix's own files (pkg-config, CMake packages) name the final folder.
  grep -rlI --exclude-dir=licenses "$prefix.partial" "$prefix.partial" |
    xargs -r sed -i "s|$prefix.partial|$prefix|g"
  touch "$prefix.partial/.complete"
  rm -rf "$prefix"
  mv "$prefix.partial" "$prefix"
  echo "== Windows dependencies built in $(($(date +%s) - started)) s"
fi
[ "$deps_only" -eq 1 ] && { echo "$prefix"; exit 0; }

build=${WIN_BUILD_DIR:-build-win64}
export LUMORAK_WIN_PREFIX=$prefix
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$win_toolchain" -DCMAKE_BUILD_TYPE=Release \
  "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
