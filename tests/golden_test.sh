#!/usr/bin/env bash
# Golden frames: one frame of each scene, rendered as lumorak-capture renders it, against
# the committed references in tests/golden/. Within tolerance: a mean absolute difference
# of at most 1 level per channel, and at most 0.5 % of the pixels off by more than 8
# levels in any channel. A picture changed on purpose is refreshed with
# scripts/refresh-golden.sh in the same commit.
#
# Usage: golden_test.sh <lumorak-capture> <pngdiff> <repository root>
set -euo pipefail
capture=$(readlink -f "$1")
pngdiff=$(readlink -f "$2")
root=$(readlink -f "$3")
. "$root/scripts/golden-frames.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$root/data" "$work/data"
mkdir "$work/frames"
cd "$work"
SDL_AUDIODRIVER=dummy "$capture" --fps "$golden_fps" --frames "$golden_times" --png-dir frames
failed=0
count=0
for expected in "$root"/tests/golden/frame-*.png; do
  count=$((count + 1))
  "$pngdiff" "frames/$(basename "$expected")" "$expected" 1.0 0.005 || failed=$((failed + 1))
done
[ "$count" -eq 6 ] || { echo "expected 6 golden frames, found $count"; exit 1; }
[ "$failed" -eq 0 ] || { echo "$failed of $count frames differ from tests/golden/"; exit 1; }
