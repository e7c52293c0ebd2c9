#!/usr/bin/env bash
# Renders one frame of each scene into docs/scene-N-<name>.png with the offline renderer
# (frame-exact, through the deterministic sound layer), each after two seconds of lead-in
# frames so that scenes that build on earlier frames look as they do when played.
# Starts its own Xvfb when DISPLAY is unset.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target renderframes

xvfb_pid=""
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true' EXIT
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :97 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=:97
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

# One time per scene, in show order.
names=(opening words cloud columns tunnel closing)
times=(8 46 72 92 112 135)
work=$(mktemp -d)
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/shots"
ln -s "$root/data" "$work/data"
(cd "$work" && "$build/tools/renderframes" --lead 2 "${times[@]}")
for i in "${!names[@]}"; do
  cp "$work/shots/$(printf 'shot%04d.png' "$i")" "$root/docs/scene-$((i + 1))-${names[$i]}.png"
done
ls "$root"/docs/scene-*.png
