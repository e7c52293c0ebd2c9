#!/usr/bin/env bash
# A display that cannot take the 1024 x 768 full-screen mode: the show says so in its box
# ("Mode Switch Failed.\nRunning In Windowed Mode."), and once the box is closed it plays
# on in a 1024 x 768 window. Runs on a private 800 x 600 Xvfb.
#
# Usage: modeswitch_test.sh <path to lumorakdemo> <repository root>
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
start_xvfb "$work" 800x600x24
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy

ln -s "$root/data" "$work/data"
cd "$work"
"$demo" >out.txt 2>err.txt &
demo_pid=$!
for _ in $(seq 300); do
  grep -q 'Mode Switch Failed.' err.txt && break
  kill -0 "$demo_pid" 2>/dev/null || { echo "the show ended"; cat err.txt; exit 1; }
  sleep 0.1
done
grep -q 'Mode Switch Failed.' err.txt || { echo "no mode-switch message"; cat err.txt; exit 1; }
grep -q 'Running In Windowed Mode.' err.txt || { echo "message incomplete"; exit 1; }

# Close the box (its default button takes Return), then the show window appears.
window=""
boxes=0
for _ in $(seq 300); do
  box=$(find_window Error)
  [ -n "$box" ] && { boxes=$((boxes + 1)); xdotool key --window "$box" Return 2>/dev/null || true; }
  window=$(find_window Lumorakdemo)
  [ -n "$window" ] && [ -z "$(find_window Error)" ] && break
  kill -0 "$demo_pid" 2>/dev/null || { echo "the show ended after the box"; cat err.txt; exit 1; }
  sleep 0.2
done
[ "$boxes" -gt 0 ] || { echo "no message box titled Error was shown"; exit 1; }
[ -n "$window" ] || { echo "no show window"; exit 1; }
sleep 2
kill -0 "$demo_pid" 2>/dev/null || { echo "the show did not play on"; cat err.txt; exit 1; }
size=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
echo "windowed show: $size"
[ "$size" = "1024x768" ] || { echo "expected a 1024x768 window"; exit 1; }
