#!/usr/bin/env bash
# lumorak-capture as a user runs it: its refusals and exit statuses, a PNG sequence with
# its WAV, a short MP4 whose sound lasts as long as its picture, an encoder that dies
# mid-way and an interrupted run (neither leaves a file under the final name).
#
# Usage: capture_process_test.sh <lumorak-capture> <repository root>
set -euo pipefail
# shellcheck source=checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
capture=$(readlink -f "$1")
root=$(readlink -f "$2")

work_in_scratch "$root"
run() { expect_exit "$1" "$capture" "${@:2}"; }  # run EXPECTED-STATUS ARGS...

check "bad option: exit 2" run 2 --fps
check "bad option: one line with the reason and a pointer to --help" \
  test "$(cat err.txt)" = "lumorak-capture: --fps needs a value (see --help)"
check "help exits 0" run 0 --help
check "unwritable output: exit 1" run 1 --out /nonexistent/dir/show.mp4
check "one clear message" grep -q 'cannot write /nonexistent/dir/show.mp4' err.txt
status=0
env PATH=/nonexistent "$capture" --out x.mp4 >out.txt 2>err.txt || status=$?
check "no ffmpeg: exit 1" test "$status" -eq 1
check "says ffmpeg is missing" grep -q 'ffmpeg program is not installed' err.txt

# Two frames and their sound as files.
mkdir pngs
check "png sequence" run 0 --png-dir pngs --from 130 --to 130.2 --fps 10
check "two numbered frames" test -s pngs/frame000000.png -a -s pngs/frame000001.png -a ! -e pngs/frame000002.png
# 0.2 s of 16-bit stereo at 44100 Hz: 8820 sample frames, 35280 bytes after the header.
check "WAV of the span" test "$(stat -c %s pngs/audio.wav)" -eq $((44 + 35280))

# An encoder that reads a little, complains and dies.
mkdir bin
cat >bin/ffmpeg <<'FAKE'
#!/bin/sh
head -c 100000 <&3 >/dev/null
echo "fake encoder: disk on fire" >&2
exit 1
FAKE
chmod +x bin/ffmpeg
status=0
PATH="$work/bin:$PATH" "$capture" --from 130 --to 131 --fps 10 --out broken.mp4 >out.txt 2>err.txt || status=$?
check "encoder failure: non-zero exit" test "$status" -ne 0
check "encoder failure: its messages shown" grep -q 'disk on fire' err.txt
check "encoder failure: no file" test ! -e broken.mp4
check "encoder failure: no temporary file" test -z "$(ls -A . | grep part || true)"

if command -v ffprobe >/dev/null; then
  check "short video" run 0 --from 130 --to 130.5 --fps 10 --out short.mp4
  probe() { ffprobe -v error -select_streams "$1" -show_entries stream="$2" -of csv=p=0 short.mp4; }
  check "five frames of 1024x768 yuv420p" test "$(probe v nb_frames,width,height,pix_fmt)" = "1024,768,yuv420p,5"
  video=$(probe v duration)
  audio=$(probe a duration)
  echo "video $video s, audio $audio s"
  check "sound as long as the picture, within a frame" \
    awk -v v="$video" -v a="$audio" 'BEGIN { d = v - a; exit !(d < 0.1 && d > -0.1 && v > 0.45) }'

  # Ctrl-C: a clean stop, and nothing under the final name.
  "$capture" --from 130 --to 140 --fps 30 --out stopped.mp4 >out.txt 2>err.txt &
  pid=$!
  for _ in $(seq 200); do grep -q 'frames' err.txt 2>/dev/null && break; sleep 0.1; done
  kill -INT "$pid"
  status=0
  wait "$pid" || status=$?
  check "interrupted: exit 130" test "$status" -eq 130
  check "interrupted: no file" test ! -e stopped.mp4
  check "interrupted: no temporary file" test -z "$(ls -A . | grep part || true)"
else
  echo "ffprobe missing: not checking the video"
fi

finish_checks
