# Sourced, not run: start_xvfb DIR starts Xvfb at 1024 x 768, sets xvfb_pid and exports
# DISPLAY, keeping the server's log in DIR/xvfb.log. Fails, with that log, if no server
# answers within 10 s.
#
# Xvfb picks a free display itself and writes its number once it answers (guessing a
# number races other servers). -noreset: by default an X server resets whenever its last
# client leaves, and a client connecting meanwhile is refused.
start_xvfb() {
  local dir=$1
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" \
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
