#!/usr/bin/env bash
# Builds and runs the show benchmark (bench/show_bench) the way docs/performance.md was
# made: Mesa's llvmpipe, SDL's dummy audio driver where there is no sound device, and a
# private X server (Xvfb, 1024 x 768) when DISPLAY is unset. Installs apitrace, which
# gives the GL floor, when it is missing. Arguments go to show_bench, e.g.
#   bash scripts/bench.sh                     every scene, 3 runs of 200 frames
#   bash scripts/bench.sh --runs 1 tunnel     one scene, one run
#   bash scripts/bench.sh --startup           start-up alone
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
if ! command -v apitrace >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: apitrace"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends apitrace
fi

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target show_bench

. scripts/xvfb.sh
headless_session

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/show_bench" "$@"
echo "== load at the end $(cut -d' ' -f1-3 /proc/loadavg)"
