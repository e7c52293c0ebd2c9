#!/usr/bin/env bash
# Started in a folder without data/ (a shortcut or a terminal elsewhere): data/ is read
# from the working folder only, so the first data file, the loading picture, is missing.
# The show says so in its box titled "Error", with the text also on stderr, and once the
# box is closed it ends with status 0. Runs on a private Xvfb.
#
# Usage: elsewhere_test.sh <path to lumorakdemo> <repository root>
set -euo pipefail
demo=$(readlink -f "$1")
root=$(readlink -f "$2")

work=$(mktemp -d)
xvfb_pid=""
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill -9 "$demo_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

. "$root/scripts/xvfb.sh"
start_xvfb "$work"
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy

# The program's own folder holds data/ (as the Windows release has it beside the exe):
# it is not looked at.
mkdir "$work/program" "$work/elsewhere"
cp "$demo" "$work/program/lumorakdemo"
ln -s "$root/data" "$work/program/data"
cd "$work/elsewhere"
"$work/program/lumorakdemo" >out.txt 2>err.txt &
demo_pid=$!

expected='Could not find file: "data/loading.{png jpg }"!'
closed=0
for _ in $(seq 300); do
  box=$(find_window Error)
  if [ -n "$box" ]; then
    xdotool key --window "$box" Return 2>/dev/null || true
    closed=1
  fi
  kill -0 "$demo_pid" 2>/dev/null || break
  sleep 0.2
done
if kill -0 "$demo_pid" 2>/dev/null; then
  echo "the show did not end"
  cat err.txt
  exit 1
fi
status=0
wait "$demo_pid" || status=$?
demo_pid=""
cat err.txt
[ "$closed" -eq 1 ] || { echo "no message box titled Error was shown"; exit 1; }
grep -qxF "$expected" err.txt || { echo "expected: $expected"; exit 1; }
[ "$status" -eq 0 ] || { echo "expected exit status 0, got $status"; exit 1; }
echo "started elsewhere: the box, then status 0"
