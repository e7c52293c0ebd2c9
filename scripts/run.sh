#!/usr/bin/env bash
# Installs what is missing, builds the show and plays it from the repository root, so
# that "data/" resolves.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target lumorakdemo
if [ -z "${SDL_AUDIODRIVER:-}" ] && [ ! -e /dev/snd/controlC0 ]; then
  export SDL_AUDIODRIVER=dummy
fi
exec ./build/lumorakdemo
