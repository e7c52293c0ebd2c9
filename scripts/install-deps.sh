#!/usr/bin/env bash
# Installs the Debian packages the show, its tools and its tests need (clang-14 and its
# sanitizer and libFuzzer runtimes for the fuzz build), only those that are missing.
# Safe to run again: it does nothing when everything is present.
#
# --windows adds the cross compiler and Wine (scripts/build-windows.sh); --release adds
# what the release checks and packs with (scripts/release.sh); --web, Emscripten and
# Chromium for the browser build and its tests (scripts/build-web.sh).
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libsdl2-dev libmpg123-dev libfftw3-dev libglew-dev libglu1-mesa-dev
  libpng-dev libjpeg-dev zlib1g-dev libmp3lame-dev libfreetype-dev fonts-dejavu-core
  libgl1-mesa-dri libgtest-dev libgmock-dev libbenchmark-dev clang-format
  libegl-mesa0 xvfb xauth xdotool x11-utils xfonts-base ffmpeg strace
  clang-14 libclang-rt-14-dev llvm-14
)
for flag in "$@"; do
  case $flag in
    --windows)
      packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
        binutils-mingw-w64-x86-64 wine64 wine patch xz-utils bzip2 make) ;;
    --release) packages+=(lintian help2man zip unzip fakeroot) ;;
    --web)
      packages+=(emscripten chromium python3 patch xz-utils bzip2 make zip)
      # npm fetches the tests' pinned DevTools client; a machine's own Node may bring it.
      command -v npm >/dev/null || packages+=(npm) ;;
    *) echo "install-deps: unknown option $flag" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
