#!/usr/bin/env bash
# lumorak-capture --jobs 2 against one process, over a second that crosses the bound from
# the cloud to the column field (83.474 s): at 10 fps the same PNG bytes and WAV; at 9.99
# fps an MP4 with the same frame count and stream durations; a piece whose encoder fails,
# and a stop signal mid-run (no output, no temporary file, no process left behind).
#
# Usage: capture_jobs_test.sh <lumorak-capture> <repository root>
set -uo pipefail
# shellcheck source=checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
capture=$(readlink -f "$1")
root=$(readlink -f "$2")

work_in_scratch "$root"
run() { expect_exit "$1" "$capture" "${@:2}"; }  # run EXPECTED-STATUS ARGS...
no_parts() { [ -z "$(find . -name '*.part*')" ] || { find . -name '*.part*'; return 1; }; }
same_files() {  # same_files DIR1 DIR2: the same names, each byte for byte
  [ "$(ls "$1")" = "$(ls "$2")" ] || { echo "different files"; return 1; }
  local f
  for f in "$1"/*; do cmp "$f" "$2/${f##*/}" || return 1; done
}
span=(--from 83 --to 84 --fps 10)

mkdir one two
check "PNGs by one process" run 0 "${span[@]}" --jobs 1 --png-dir one
check "PNGs by two" run 0 "${span[@]}" --jobs 2 --png-dir two
check "two pieces, cut at the scene bound" says "10 frames in 2 pieces: 83.000-83.500 s 83.500-84.000 s"
check "ten frames and the WAV" test "$(ls two | wc -l)" -eq 11 -a -s two/audio.wav
check "the same frames and WAV, byte for byte" same_files one two

if command -v ffprobe >/dev/null; then
  # A fractional rate, whose pieces' own durations run a little long in the container.
  check "MP4 by one process" run 0 --from 83 --to 84 --fps 9.99 --jobs 1 --out one.mp4
  check "MP4 by two" run 0 --from 83 --to 84 --fps 9.99 --jobs 2 --out two.mp4
  check "two pieces" says "10 frames in 2 pieces"
  probe() {
    ffprobe -v error -count_frames -show_entries stream=codec_type,nb_frames,nb_read_frames,duration \
      -of csv=p=0 "$1"
  }
  echo "one process: $(probe one.mp4 | tr '\n' ' ')"
  echo "two:         $(probe two.mp4 | tr '\n' ' ')"
  check "the same frame counts and stream durations" test "$(probe one.mp4)" = "$(probe two.mp4)"
  check "ten frames decoded" grep -q '^video,1.001001,10,10$' <(probe two.mp4)
  check "no pieces left" no_parts
fi

# One piece's encoder fails: the run fails, says which piece, and stops the other.
mkdir bin
real=$(command -v ffmpeg)
cat >bin/ffmpeg <<FAKE
#!/bin/sh
case "\$*" in *piece02*) head -c 100000 <&3 >/dev/null; echo "fake encoder: disk on fire" >&2; exit 1 ;; esac
exec "$real" "\$@"
FAKE
chmod +x bin/ffmpeg
# The other piece would render 600 frames, over a minute on llvmpipe: stopped, the run
# ends within seconds of the failure. The bound is wide for a loaded machine.
PATH="$work/bin:$PATH" "$capture" --from 83 --to 143 --fps 20 --jobs 2 --out broken.mp4 \
  >out.txt 2>err.txt &
pid=$!
for _ in $(seq 600); do
  grep -q 'disk on fire' err.txt 2>/dev/null && break
  sleep 0.1
done
started=$(now_ms)
status=0
wait "$pid" || status=$?
took=$(($(now_ms) - started))
echo "  a piece failing: exit $status $took ms after the failure"
check "a piece failing: exit 1" test "$status" -eq 1
check "a piece failing: the other piece stopped" test "$took" -lt 15000
check "a piece failing: the encoder's message" says "disk on fire"
check "a piece failing: which piece" says "piece 2 of 2"
check "a piece failing: no video" test ! -e broken.mp4
check "a piece failing: no temporary file or folder" no_parts

# A stop signal mid-run: every process goes at once (within seconds; the bound is wide
# for a loaded machine), and nothing is left half-written.
stopped_cleanly() {  # stopped_cleanly SIGNAL STATUS ARGS...
  local signal=$1 expected=$2
  shift 2
  "$capture" "$@" >out.txt 2>err.txt &
  local pid=$! kids="" status=0
  for _ in $(seq 300); do
    grep -q 'piece 2/2 .*frames' err.txt 2>/dev/null && break
    sleep 0.1
  done
  kids=$(pgrep -P "$pid")
  for kid in $kids; do kids="$kids $(pgrep -P "$kid")"; done
  [ "$(echo $kids | wc -w)" -ge 2 ] || { echo "no pieces running:"; cat err.txt; return 1; }
  local start
  start=$(now_ms)
  kill -"$signal" "$pid"
  wait "$pid" || status=$?
  local took=$(($(now_ms) - start))
  echo "  exit $status after $took ms"
  [ "$status" -eq "$expected" ] || { echo "exit $status:"; cat err.txt; return 1; }
  # Each piece has over 400 frames left, a minute's work.
  [ "$took" -lt 15000 ] || return 1
  for kid in $kids; do
    ! kill -0 "$kid" 2>/dev/null || { echo "process $kid left running"; return 1; }
  done
}
check "SIGTERM during a video: exit 143, no process left" \
  stopped_cleanly TERM 143 --from 83 --to 113 --fps 30 --jobs 2 --out stopped.mp4
check "SIGTERM during a video: no video" test ! -e stopped.mp4
check "SIGTERM during a video: no temporary file or folder" no_parts
mkdir pngs
check "Ctrl-C during PNGs: exit 130, no process left" \
  stopped_cleanly INT 130 --from 83 --to 113 --fps 30 --jobs 2 --png-dir pngs
# Each piece's frames run from its first: two runs of numbers, listed.
held() {
  ls pngs | sed -n 's/^frame\([0-9]*\)\.png$/\1/p' | awk '
    { n = $1 + 0 }
    NR > 1 && n != last + 1 { printf "%s%06d-%06d", sep, first, last; sep = ", "; first = n }
    NR == 1 { first = n }
    { last = n }
    END { if (NR) printf "%s%06d-%06d", sep, first, last }'
}
check "Ctrl-C during PNGs: says which frames the folder holds" \
  says "interrupted: $work/pngs holds frames $(held) of 900 and no audio.wav"
check "Ctrl-C during PNGs: no audio.wav" test ! -e pngs/audio.wav
check "Ctrl-C during PNGs: no temporary file" no_parts

finish_checks
