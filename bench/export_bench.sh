#!/usr/bin/env bash
# The video export against the show's own length and against rendering alone: the whole
# show at 60 fps (or the span given), once with encoding into an MP4 and once rendered
# and read back without output. Prints wall times, their ratios and frames per second.
# A benchmark, not a test: run it on a quiet machine, from anywhere.
#
# usage: bench/export_bench.sh [FROM TO]      (default 0 146)
set -euo pipefail
cd "$(dirname "$0")/.."
from=${1:-0}
to=${2:-146}
build=${BUILD_DIR:-build}
cmake --build "$build" -j2 --target lumorak-capture >/dev/null
capture=$build/tools/lumorak-capture
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

seconds() { date +%s.%N; }
t0=$(seconds)
"$capture" --from "$from" --to "$to" --out "$out/show.mp4" 2>"$out/export.log"
t1=$(seconds)
"$capture" --from "$from" --to "$to" --render-only 2>"$out/render.log"
t2=$(seconds)
tail -n 1 "$out/export.log"
tail -n 1 "$out/render.log"
if command -v ffprobe >/dev/null; then
  probe() {
    ffprobe -v error -select_streams "$1" -count_frames -show_entries "stream=$2" -of csv=p=0 \
      "$out/show.mp4"
  }
  echo "video: $(probe v duration,nb_read_frames) (seconds, frames); audio: $(probe a duration) s"
fi
awk -v a="$t0" -v b="$t1" -v c="$t2" -v span="$(awk -v f="$from" -v t="$to" 'BEGIN{print t-f}')" '
  BEGIN {
    export = b - a; render = c - b; frames = span * 60
    printf "span %.1f s, %d frames at 60 fps on %s\n", span, frames, ENVIRON["HOSTNAME"]
    printf "export with encoding: %.1f s = %.2f x the span (target <= 2.5)\n", export, export / span
    printf "render only:          %.1f s = %.2f x the span, %.1f frames/s\n", render, render / span, frames / render
    printf "export / render only: %.2f (target <= 1.3)\n", export / render
  }'
