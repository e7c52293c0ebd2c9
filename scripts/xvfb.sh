# Sourced, not run: start_xvfb DIR [WxHxDEPTH] starts Xvfb at 1024 x 768 x 24 (or that
# screen), sets xvfb_pid and exports DISPLAY, keeping the server's log in DIR/xvfb.log.
# Fails, with that log, if no server answers within 10 s.
#
# Xvfb picks a free display itself and writes its number once it answers (guessing a
# number races other servers). -noreset: by default an X server resets whenever its last
# client leaves, and a client connecting meanwhile is refused.
start_xvfb() {
  local dir=$1
  local screen=${2:-1024x768x24}
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$dir/display" \
    2>"$dir/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$dir/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$dir/display" ] || { echo "Xvfb did not start"; cat "$dir/xvfb.log"; return 1; }
  export DISPLAY=":$(head -n 1 "$dir/display")"
}

# Sourced too: headless_session gives the caller a display and a sound driver to run GL
# programs with. Without DISPLAY it starts a private Xvfb, stopped and removed when the
# caller's shell exits (an EXIT trap); without a sound device it picks SDL's dummy driver.
# GL goes to Mesa's software renderer either way.
headless_session() {
  xvfb_pid=""
  xvfb_dir=""
  trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; [ -n "$xvfb_dir" ] && rm -rf "$xvfb_dir"; true' EXIT
  if [ -z "${DISPLAY:-}" ]; then
    xvfb_dir=$(mktemp -d)
    start_xvfb "$xvfb_dir"
  fi
  if [ -z "${SDL_AUDIODRIVER:-}" ] && [ ! -e /dev/snd/controlC0 ]; then
    export SDL_AUDIODRIVER=dummy
  fi
  export LIBGL_ALWAYS_SOFTWARE=1
}

# Sourced too: find_window TITLE prints the id of the top-level window titled exactly
# TITLE on $DISPLAY (the first one, as 0x...), or nothing. `xdotool search --name` only
# reads titles of type STRING: under a UTF-8 locale SDL gives its message box a title of
# another type, which xdotool never matches. xwininfo decodes every kind of title.
find_window() {
  xwininfo -root -children 2>/dev/null \
    | awk -v want="\"$1\":" '$1 ~ /^0x/ && index($0, " " want " ") { print $1; exit }'
}
