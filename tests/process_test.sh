#!/usr/bin/env bash
# The real program in a real X session, driven by real key events: seeks while paused into
# each scene with a capture in each, beat taps, a reload of the materials, and an end
# through the timeline with exit status 0; then a run stopped by SIGINT and one by SIGTERM,
# each also with 0. Runs on a private Xvfb at 1024 x 768 so that the full-screen mode
# switch succeeds (a failed switch would wait on a message box).
#
# Usage: process_test.sh <path to lumorakdemo> <repository root>
set -euo pipefail
demo=$(readlink -f "$1")
root=$(readlink -f "$2")

work=$(mktemp -d)
xvfb_pid=""
demo_pid=""
cleanup() {
  # The show first, and for good, while its X server still answers.
  if [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null; then
    for _ in $(seq 30); do kill -0 "$demo_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$demo_pid" 2>/dev/null || true
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

. "$root/scripts/xvfb.sh"
start_xvfb "$work"
# Only X: anything else would be a window nobody drives.
export SDL_VIDEODRIVER=x11
echo "private X server on $DISPLAY"

# The show reads data/ and writes shots/ relative to its working directory.
ln -s "$root/data" "$work/data"
mkdir "$work/shots"
cd "$work"
export SDL_AUDIODRIVER=dummy
"$demo" >"$work/out.txt" 2>"$work/err.txt" &
demo_pid=$!

window=""
for _ in $(seq 300); do
  window=$(find_window Lumorakdemo)
  [ -n "$window" ] && break
  kill -0 "$demo_pid" 2>/dev/null || { echo "the show ended during start-up"; cat "$work/err.txt" "$work/xvfb.log"; exit 1; }
  sleep 0.1
done
[ -n "$window" ] || { echo "no window titled Lumorakdemo"; exit 1; }
size=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
echo "window $window, $size"
[ "$size" = "1024x768" ] || { echo "expected a 1024x768 window"; exit 1; }

key() {
  xdotool key --clearmodifiers "$@"
  sleep 0.4
}
alive() { kill -0 "$demo_pid" 2>/dev/null || { echo "the show ended early"; cat "$work/err.txt"; exit 1; }; }
# F11 saves the next frame. Waits for the file: on a slow machine (or a sanitizer build) a
# key sent sooner could be read in the same frame and act before the capture.
captures=0
capture() {
  local file
  file=$(printf 'shots/shot%04d.png' "$captures")
  xdotool key --clearmodifiers F11
  for _ in $(seq 300); do
    [ -s "$file" ] && break
    alive
    sleep 0.1
  done
  [ -s "$file" ] || { echo "no $file 30 s after F11"; exit 1; }
  captures=$((captures + 1))
}

# Start-up loads everything before the first frame; keys are only read between frames.
# Tap the beat until a line comes back: then the frame loop runs.
wait_for_frames() {
  for _ in $(seq 120); do
    alive
    xdotool key space
    sleep 0.5
    grep -q '^Beat ' "$work/out.txt" && return 0
  done
  echo "no frame loop after 60 s"
  exit 1
}
wait_for_frames
# ended_with_zero WHAT: the show ends within 10 s, with status 0.
ended_with_zero() {
  for _ in $(seq 100); do
    kill -0 "$demo_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$demo_pid" 2>/dev/null; then
    echo "$1 did not end the show within 10 s"
    exit 1
  fi
  local status=0
  wait "$demo_pid" || status=$?
  demo_pid=""
  echo "$1: exit status $status"
  [ "$status" -eq 0 ] || { cat "$work/err.txt"; exit 1; }
}

# Paused, the clock stands still and every seek lands exactly: each capture is of a
# known time, whatever the machine's speed.
key p                        # pause
key Prior                    # back to 0 s (a seek clamps at the start)
capture                      # 0 s: opening
key Next; capture            # 30 s: words
key Next; key Up; capture    # 65 s: cloud
key Next; capture            # 95 s: column field
key Up; key Up; capture      # 105 s: tunnel
key space; sleep 1; key space  # taps while paused are 0 s apart
key l                        # reload the materials from their files
key Next; capture            # 135 s: closing
key p                        # resume
sleep 1; capture             # the closing again, a moment later
alive
key Next                     # past 146 s: the timeline ends the show
ended_with_zero "passing 146 s"

shots=$(ls shots | wc -l)
echo "captures: $(ls shots | tr '\n' ' ')"
[ "$shots" -eq 7 ] || { echo "expected 7 captures"; exit 1; }
# Six scenes at six times: no two of the first six captures are the same picture.
for i in 0 1 2 3 4 5; do
  for j in 0 1 2 3 4 5; do
    [ "$i" -lt "$j" ] || continue
    if cmp -s "shots/shot000$i.png" "shots/shot000$j.png"; then
      echo "captures $i and $j are the same picture"
      exit 1
    fi
  done
done
cat "$work/out.txt"
grep -q '^Beat .* delta 0.00 bpm inf$' "$work/out.txt" || { echo "paused taps should be 0 s apart"; exit 1; }

# A stop signal (Ctrl-C in a terminal, or SIGTERM) is a quit message: the show ends after
# that pass's frame with status 0, the exit handlers putting the display mode back.
# A script's background job starts with SIGINT ignored; a terminal's foreground job, whose
# Ctrl-C this stands for, has it at its default.
for signal in INT TERM; do
  env --default-signal=INT "$demo" >"$work/out.txt" 2>"$work/err.txt" &
  demo_pid=$!
  wait_for_frames
  kill -s "$signal" "$demo_pid"
  ended_with_zero "SIG$signal"
done
echo "process test passed"
