#!/usr/bin/env bash
# Renders one frame of each scene into docs/scene-N-<name>.png with the offline renderer
# (frame-exact, through the deterministic sound layer), each as a 60 fps playthrough draws
# it: the earlier frames a scene builds on are rendered first. Needs no display (SDL's
# offscreen driver).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target lumorak-capture

# One time per scene, in show order.
names=(opening words cloud columns tunnel closing)
times=(8 46 72 92 112 135)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} \
  "$build/tools/lumorak-capture" --png-dir "$work" --frames "$(IFS=,; echo "${times[*]}")"
for i in "${!names[@]}"; do
  cp "$work/$(printf 'frame-%07.3f.png' "${times[$i]}")" "$root/docs/scene-$((i + 1))-${names[$i]}.png"
done
ls "$root"/docs/scene-*.png
