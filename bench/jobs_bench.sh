#!/usr/bin/env bash
# lumorak-capture in one process against --jobs N, over the same span, runs alternating
# (so a change in the machine's load falls on both): each run's wall and CPU time (all
# processes), the medians of the wall times,
# their ratio, and the videos' frame counts and stream durations, which must agree.
# A benchmark, not a test: run it on a quiet machine, from anywhere.
#
# usage: bench/jobs_bench.sh [FROM TO [REPETITIONS [JOBS [MODE]]]]
#        (default 84 104 3 2 video; MODE video or render-only)
set -euo pipefail
cd "$(dirname "$0")/.."
from=${1:-84}
to=${2:-104}
reps=${3:-3}
jobs=${4:-2}
mode=${5:-video}
build=${BUILD_DIR:-build}
capture=$build/tools/lumorak-capture
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
probe() {
  ffprobe -v error -show_entries stream=codec_type,nb_frames,duration -of csv=p=0 "$1" | tr '\n' ' '
}
echo "span $from-$to s at 60 fps, $mode, $reps x (1 process, --jobs $jobs), $(nproc) CPUs"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
: >"$out/one.txt"
: >"$out/many.txt"
for rep in $(seq "$reps"); do
  for j in 1 "$jobs"; do
    args=(--from "$from" --to "$to" --jobs "$j")
    if [ "$mode" = video ]; then args+=(--out "$out/j$j.mp4"); else args+=(--render-only); fi
    # Wall time, and the CPU time of the capture and every process it started.
    TIMEFORMAT="%R %U %S"
    { time "$capture" "${args[@]}" 2>"$out/log.txt"; } 2>"$out/time.txt"
    read -r wall user sys <"$out/time.txt"
    took=$(awk -v w="$wall" 'BEGIN { printf "%.1f", w }')
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.1f", u + s }')
    if [ "$j" = 1 ]; then echo "$took" >>"$out/one.txt"; else echo "$took" >>"$out/many.txt"; fi
    echo "run $rep, --jobs $j: $took s wall, $cpu s CPU  $(grep -o 'in [0-9]* pieces:.*' "$out/log.txt" || true)"
  done
  if [ "$mode" = video ]; then
    echo "  1 process: $(probe "$out/j1.mp4")"
    echo "  --jobs $jobs:  $(probe "$out/j$jobs.mp4")"
  fi
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
one=$(median <"$out/one.txt")
many=$(median <"$out/many.txt")
awk -v a="$one" -v b="$many" -v j="$jobs" 'BEGIN {
  printf "median: 1 process %.1f s, --jobs %d %.1f s, ratio %.2f\n", a, j, b, a / b }'
