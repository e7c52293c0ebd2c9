#!/usr/bin/env bash
# Without any display: the show refuses to play to nobody, with a reason and a failing
# status, while the offline renderer still works through an EGL context (SDL's offscreen
# driver), where the extension loader finds no GLX display.
#
# Usage: headless_test.sh <lumorakdemo> <lumorak-capture> <repository root>
set -euo pipefail
demo=$(readlink -f "$1")
render=$(readlink -f "$2")
root=$(readlink -f "$3")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$root/data" "$work/data"
cd "$work"
export SDL_AUDIODRIVER=dummy

# With a DRM device SDL would find a screen there (KMSDRM), so the refusal needs none.
if [ -e /dev/dri ]; then
  echo "a DRM device is present: not checking the refusal"
else
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 60 "$demo" \
    >out.txt 2>err.txt || status=$?
  cat err.txt
  [ "$status" -eq 255 ] || { echo "expected exit status 255, got $status"; exit 1; }
  grep -q 'no display' err.txt || { echo "no reason given"; exit 1; }
  grep -q '^Error creating window!$' err.txt || { echo "no window error"; exit 1; }
  # Nor does it try a message box: SDL forks a helper for one, and a fork while the
  # loading threads allocate could hang (it did under AddressSanitizer). Threads are
  # clones without SIGCHLD; a fork is one with it.
  if strace -o /dev/null true 2>/dev/null; then
    env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 60 \
      strace -f -qq -e trace=clone,clone3,fork,vfork -o trace.txt "$demo" >/dev/null 2>&1 || true
    if grep SIGCHLD trace.txt; then echo "the show forked a child with no display"; exit 1; fi
  else
    echo "strace cannot trace here: not checking for a message box helper"
  fi
fi

env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen timeout 120 "$render" --frames 70 --png-dir shots
[ -s shots/frame-070.000.png ] || { echo "no frame rendered"; exit 1; }
# PNG header: width and height, big-endian, at bytes 16 to 23.
size=$(od -An -tx1 -j16 -N8 shots/frame-070.000.png | tr -d ' \n')
[ "$size" = "0000040000000300" ] || { echo "expected 1024 x 768, header says $size"; exit 1; }

# With both on Mesa's software renderer the frame matches the one rendered under X.
if [ -n "${DISPLAY:-}" ] && [ "${LIBGL_ALWAYS_SOFTWARE:-}" = 1 ]; then
  mv shots/frame-070.000.png offscreen.png
  SDL_VIDEODRIVER=x11 timeout 120 "$render" --frames 70 --png-dir shots
  cmp offscreen.png shots/frame-070.000.png || { echo "offscreen frame differs from X"; exit 1; }
  echo "offscreen frame matches the X frame"
fi

# With a display and no session bus, SDL's start forks a helper (D-Bus autolaunch). That
# fork must come before the loading threads start, for the reason above.
if [ -n "${DISPLAY:-}" ] && strace -o /dev/null true 2>/dev/null; then
  # LeakSanitizer cannot work under ptrace; the run without strace above checks leaks.
  env -u DBUS_SESSION_BUS_ADDRESS SDL_VIDEODRIVER=x11 \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" timeout 120 \
    strace -f -qq -e trace=clone,clone3,fork,vfork -o trace.txt "$render" --frames 70 --png-dir shots >/dev/null
  if ! awk '$2 !~ /^(clone3?|v?fork)\(/ { next }
            /CLONE_THREAD/ { threads = 1; next }
            /SIGCHLD/ && threads { print "forked after a thread started: " $0; bad = 1 }
            END { if (!threads) print "no thread started: nothing checked"; exit bad || !threads }' \
    trace.txt; then
    exit 1
  fi
  echo "no fork after the first thread"
fi
echo "headless test passed"
