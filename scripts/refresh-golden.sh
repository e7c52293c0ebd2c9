#!/usr/bin/env bash
# Re-renders the golden frames in tests/golden/ from the current show. Run it when a
# picture changes on purpose (a scene, a shader, the music, post-processing), look at the
# new frames, and commit them in the same commit as the change.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/golden-frames.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target lumorak-capture
rm -f tests/golden/frame-*.png
mkdir -p tests/golden
LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} \
  "$build/tools/lumorak-capture" --fps "$golden_fps" --frames "$golden_times" --png-dir tests/golden
