#!/usr/bin/env bash
# Soak: the sanitizer-built show (build-asan/, built here if needed) on its own Xvfb with
# dummy audio, under a seeded storm of random input sent with xdotool. Not part of CI: a
# run takes about five minutes.
#
# Usage: scripts/soak.sh [seed] [events]      (defaults: seed from the clock, 2000 events)
#
# The storm: key-downs over every key the show can see but Escape, some with Shift or
# Ctrl held, some in auto-repeat bursts; Page Up and Page Down storms; P, L and F11 (into
# shots/ in a temporary working directory); mouse drags over the slider column at the
# right edge with every combination of the three buttons, Shift and Ctrl. First a pass
# through the six scenes (the tunnel's first frame, 104.344 s, played), then the random
# storm, then the show is left playing from shortly before its end.
#
# Passes when the show ends through its timeline with exit status 0, stderr carries no
# sanitizer report, and resident memory has not grown: the peak VmRSS over the last
# phase stays within kRssTolerancePercent of the peak over the first pass through the
# scenes (after it every scene's assets and GL objects exist).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seed=${1:-$(date +%s)}
target_events=${2:-2000}
kRssTolerancePercent=10
kSafetyMargin=12         # s: a random round never seeks closer than this to the end

build=${ASAN_BUILD_DIR:-$root/build-asan}
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" --no-warn-unused-cli \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMORAK_SANITIZE=ON -DLUMORAK_FUZZ=ON >/dev/null
fi
cmake --build "$build" -j2 --target lumorakdemo keep_loaded showreport >/dev/null

# The schedule, from the show's own header: "NAME START END BANDS..." a line.
schedule=$(ASAN_OPTIONS=detect_leaks=0 "$build/tools/showreport" --schedule)
scene_start() { awk -v n="$1" '$1 == n { print $2 }' <<<"$schedule"; }
kShowEnd=$(awk '$1 == "closing" { print $3 }' <<<"$schedule")   # s: the timeline ends here

work=$(mktemp -d)
xvfb_pid=""
demo_pid=""
sampler_pid=""
cleanup() {
  [ -n "$sampler_pid" ] && kill "$sampler_pid" 2>/dev/null || true
  # The show first, while its X server still answers; a show cut off from it can hang.
  if [ -n "$demo_pid" ]; then
    kill "$demo_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$demo_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$demo_pid" 2>/dev/null || true
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ "$verdict" = pass ]; then rm -rf "$work"; else echo "soak: logs kept in $work"; fi
}
verdict=fail
trap cleanup EXIT

. "$root/scripts/xvfb.sh"
. "$root/scripts/sanitize-env.sh"
start_xvfb "$work"
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1
sanitize_env "$build"
# ASan holds freed blocks back (256 MB by default) to catch late uses; filling that over
# the run would read as growth. 32 MB fills during the first pass.
export ASAN_OPTIONS="$ASAN_OPTIONS:quarantine_size_mb=32"
ln -s "$root/data" "$work/data"
mkdir "$work/shots"
cd "$work"
"$build/lumorakdemo" >out.txt 2>err.txt &
demo_pid=$!

# VmRSS (kB) once a second, each sample tagged with the phase it was taken in.
echo start >phase
(
  while [ -r "/proc/$demo_pid/status" ]; do
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$demo_pid/status" 2>/dev/null || true)
    [ -n "$rss" ] && echo "$(cat phase) $rss" >>rss.txt
    sleep 1
  done
) &
sampler_pid=$!

fail() {
  echo "soak: $*"
  tail -n 40 err.txt
  exit 1
}
alive() { kill -0 "$demo_pid" 2>/dev/null || fail "the show ended during the storm"; }

RANDOM=$seed
events=0
pauses=0   # P presses sent: an odd count leaves the show paused
taps=0     # Space presses sent: each prints one Beat line
send() {   # xdotool commands, one call; $1 is how many input events they make
  local n=$1
  shift
  xdotool "$@"
  events=$((events + n))
}

# The show's clock (s), from a beat tap: the Beat line of this tap is the last one once
# there are as many Beat lines as taps sent, all the storm's taps included.
tap_time() {
  send 1 key space
  taps=$((taps + 1))
  local lines=0
  for _ in $(seq 300); do
    lines=$(grep -c '^Beat ' out.txt || true)
    [ "$lines" -ge "$taps" ] && break
    alive
    sleep 0.1
  done
  # A tap that never arrived would make every later reading wait: count what came.
  [ "$lines" -ge "$taps" ] || taps=$lines
  { grep '^Beat ' out.txt || true; } | tail -n 1 | awk '{ print $2 }'
}
# A tap read in the frame of a seek gives the time before it: the second of two taps, sent
# once the first is answered, comes in a later frame, after everything sent before it.
show_time() {
  tap_time >/dev/null
  sleep 0.2
  tap_time
}
# Seeks while paused land exactly: steps to within 1 s of a target time (s).
seek_to() {
  local target=$1 now
  for _ in $(seq 40); do
    now=$(show_time)
    awk -v a="$now" -v b="$target" 'BEGIN { d = b - a; exit !(d < 1 && d > -1) }' && return 0
    local key
    key=$(awk -v a="$now" -v b="$target" 'BEGIN { d = b - a
      if (d >= 30) print "Next"; else if (d <= -30) print "Prior"
      else if (d >= 5) print "Up"; else if (d <= -5) print "Down"
      else if (d > 0) print "Right"; else print "Left" }')
    send 1 key "$key"
  done
  fail "could not seek to $target s (at $now s)"
}
toggle_pause() {
  send 1 key p
  pauses=$((pauses + 1))
}

# Start-up loads everything before the first frame; keys are read between frames.
for _ in $(seq 8); do
  alive
  show_time >/dev/null
  [ "$(grep -c '^Beat ' out.txt)" -ge 1 ] && break
done
[ "$(grep -c '^Beat ' out.txt)" -ge 1 ] || fail "no frame loop after 4 minutes"

# ---- First pass: every scene, paused for a few frames, the tunnel's first frame played.
echo first-pass >phase
toggle_pause
send 6 key --delay 40 Prior Prior Prior Prior Prior Prior   # clamps at 0 s
sleep 2                                                   # opening
for scene in words cloud columns; do                      # two seconds into each
  seek_to "$(awk -v s="$(scene_start "$scene")" 'BEGIN { print int(s) + 2 }')"
  sleep 2
done
seek_to "$(awk -v s="$(scene_start tunnel)" 'BEGIN { print int(s) - 1 }')"   # just before it
toggle_pause
sleep 4                                                   # played through its first frame
toggle_pause
seek_to "$(awk -v s="$(scene_start closing)" 'BEGIN { print int(s) + 5 }')"
sleep 2                                                   # closing
send 6 key --delay 40 Prior Prior Prior Prior Prior Prior
sleep 2

# ---- The storm: rounds of random events between two readings of the clock. A round
# seeks forwards at most to kSafetyMargin s before the end, counting every forward key as
# landing; the keypad, without NumLock, seeks too.
echo storm >phase
keys=(a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 8 9
  F1 F2 F3 F4 F5 F6 F7 F8 F9 F11 F12
  KP_0 KP_1 KP_2 KP_3 KP_4 KP_5 KP_6 KP_7 KP_8 KP_9 KP_Decimal KP_Enter
  KP_Multiply KP_Add KP_Subtract KP_Divide
  BackSpace Tab Return Shift_L Shift_R Control_L Control_R Pause Caps_Lock Num_Lock
  Scroll_Lock space Prior Next End Home Left Up Right Down Print Insert Delete
  semicolon equal comma minus period slash grave bracketleft backslash bracketright
  apostrophe)
forward_seconds() {
  case $1 in
    Next | KP_3) echo 30 ;;
    Up | KP_8) echo 5 ;;
    Right | KP_6) echo 1 ;;
    *) echo 0 ;;
  esac
}
# Every key once, in a shuffled order, from 0 s (where the first pass left the clock): at
# most 72 s of forward seeks.
sweep=("${keys[@]}")
for ((i = ${#sweep[@]} - 1; i > 0; i--)); do
  j=$((RANDOM % (i + 1)))
  k=${sweep[i]}
  sweep[i]=${sweep[j]}
  sweep[j]=$k
done
send ${#sweep[@]} key --delay 15 "${sweep[@]}"
pauses=$((pauses + 1))
taps=$((taps + 1))
drag_combo=0
round=0
while [ "$events" -lt "$target_events" ]; do
  alive
  now=$(show_time)
  budget=$(awk -v t="$now" -v e="$kShowEnd" -v m="$kSafetyMargin" 'BEGIN { b = e - m - t - 5; print (b > 0 ? int(b) : 0) }')
  # Page Up and Page Down storms now and then, and always a Page Up storm when the clock,
  # running, nears the end.
  if [ "$budget" -lt 20 ]; then
    n=$((3 + RANDOM % 5))
    send "$n" key --delay 30 $(printf 'Prior %.0s' $(seq "$n"))
  elif [ $((RANDOM % 6)) -eq 0 ]; then
    if [ "$budget" -ge 60 ] && [ $((RANDOM % 2)) -eq 0 ]; then
      n=$((1 + RANDOM % (budget / 30 < 4 ? budget / 30 : 4)))
      send "$n" key --delay 30 $(printf 'Next %.0s' $(seq "$n"))
      budget=$((budget - 30 * n))
    else
      n=$((3 + RANDOM % 5))
      send "$n" key --delay 30 $(printf 'Prior %.0s' $(seq "$n"))
    fi
  fi
  # Mouse drags over the slider column: every combination of left (1), middle (2) and
  # right (3) buttons with Shift and Ctrl comes round in turn.
  combo=$drag_combo
  drag_combo=$(((drag_combo + 1) % 32))
  args=()
  n=0
  x=$((904 + RANDOM % 120))
  y=$((RANDOM % 130))
  args+=(mousemove "$x" "$y")
  n=$((n + 1))
  held=()
  [ $((combo & 8)) -ne 0 ] && held+=(shift)
  [ $((combo & 16)) -ne 0 ] && held+=(ctrl)
  for k in "${held[@]}"; do args+=(keydown "$k"); n=$((n + 1)); done
  for b in 1 2 3; do
    [ $((combo & (1 << (b - 1)))) -ne 0 ] && { args+=(mousedown "$b"); n=$((n + 1)); }
  done
  for _ in $(seq $((4 + RANDOM % 8))); do
    x=$((900 + RANDOM % 124))
    y=$((RANDOM % 130))
    args+=(mousemove "$x" "$y" sleep 0.02)
    n=$((n + 1))
  done
  for b in 1 2 3; do
    [ $((combo & (1 << (b - 1)))) -ne 0 ] && { args+=(mouseup "$b"); n=$((n + 1)); }
  done
  for k in "${held[@]}"; do args+=(keyup "$k"); n=$((n + 1)); done
  send "$n" "${args[@]}"
  # Key-downs: single presses, some with a modifier held, some auto-repeat bursts.
  args=()
  n=0
  for _ in $(seq $((15 + RANDOM % 20))); do
    key=${keys[RANDOM % ${#keys[@]}]}
    roll=$((RANDOM % 100))
    if [ "$roll" -lt 3 ]; then key=p; elif [ "$roll" -lt 5 ]; then key=l; elif [ "$roll" -lt 8 ]; then key=F11; fi
    repeat=1
    [ $((RANDOM % 8)) -eq 0 ] && repeat=$((3 + RANDOM % 12))
    fwd=$(($(forward_seconds "$key") * repeat))
    if [ "$fwd" -gt "$budget" ]; then continue; fi
    budget=$((budget - fwd))
    case $key in
      p) pauses=$((pauses + repeat)) ;;
      space) taps=$((taps + repeat)) ;;
    esac
    mod=""
    case $((RANDOM % 10)) in
      0) mod="shift+" ;;
      1) mod="ctrl+" ;;
    esac
    # Modifier keys themselves do not combine with another.
    case $key in Shift_* | Control_*) mod="" ;; esac
    if [ "$repeat" -gt 1 ]; then
      [ ${#args[@]} -gt 0 ] && { send "$n" key --delay 15 "${args[@]}"; args=(); n=0; }
      send "$repeat" key --repeat "$repeat" --delay 10 "$mod$key"
    else
      args+=("$mod$key")
      n=$((n + 1))
    fi
  done
  [ ${#args[@]} -gt 0 ] && send "$n" key --delay 15 "${args[@]}"
  round=$((round + 1))
done

# ---- End: unpaused, a few seconds before the end, then left to play.
echo end >phase
alive
send 2 keyup shift ctrl
if [ $((pauses % 2)) -eq 1 ]; then toggle_pause; fi
a=$(show_time)
sleep 1.5
b=$(show_time)
# Paused (a lost P, or one the storm sent twice in a frame): the clock stood still.
if awk -v a="$a" -v b="$b" 'BEGIN { exit !(b - a < 0.5 && b - a > -0.5) }'; then toggle_pause; fi
toggle_pause
seek_to 138
toggle_pause
last=$(show_time)
last_wall=$(date +%s.%N)
a=$last
sleep 1
b=$(show_time)
awk -v a="$a" -v b="$b" 'BEGIN { exit !(b - a > 0.5) }' || fail "the clock stands still at $b s near the end"

# The last second before the end and the exit (LeakSanitizer's scan) are not sampled.
status=0
for _ in $(seq 600); do
  kill -0 "$demo_pid" 2>/dev/null || break
  awk -v l="$last" -v w="$last_wall" -v n="$(date +%s.%N)" -v s="$kShowEnd" \
    'BEGIN { exit !(n - w >= s - l - 1) }' && echo exit >phase
  sleep 0.1
done
kill -0 "$demo_pid" 2>/dev/null && fail "the show did not end 60 s after $last s"
wait "$demo_pid" || status=$?
end_wall=$(date +%s.%N)
demo_pid=""
sleep 1.5
kill "$sampler_pid" 2>/dev/null || true
sampler_pid=""

# ---- Figures and verdict.
reports=$(grep -c -E '(Address|Leak|UndefinedBehavior)Sanitizer|runtime error:' err.txt || true)
peak() { awk -v p="$1" '$1 ~ p { if ($2 > m) m = $2 } END { print m + 0 }' rss.txt; }
peak_all=$(peak '.')
peak_first=$(peak '^(start|first-pass)$')
peak_end=$(peak '^end$')
# Ended through the timeline: it lasted at least until 146 s on the clock (1 s of slack).
timeline=$(awk -v l="$last" -v w="$last_wall" -v e="$end_wall" -v s="$kShowEnd" \
  'BEGIN { print (e - w >= s - l - 1 ? "yes" : "no") }')
limit=$((peak_first * (100 + kRssTolerancePercent) / 100))
echo "seed              $seed"
echo "events sent       $events (in $round storm rounds)"
echo "captures          $(ls shots | wc -l)"
echo "peak RSS          $((peak_all / 1024)) MiB"
echo "RSS, first pass   $((peak_first / 1024)) MiB (peak through the six scenes)"
echo "RSS, at the end   $((peak_end / 1024)) MiB (peak from $last s to the end; limit $((limit / 1024)) MiB, +$kRssTolerancePercent %)"
echo "exit status       $status (through the timeline: $timeline)"
echo "sanitizer reports $reports"
verdict=pass
[ "$status" -eq 0 ] || verdict=fail
[ "$timeline" = yes ] || verdict=fail
[ "$reports" -eq 0 ] || verdict=fail
[ "$peak_end" -le "$limit" ] || verdict=fail
[ "$events" -ge "$target_events" ] || verdict=fail
echo "verdict           $verdict"
if [ "$verdict" != pass ]; then
  grep -n -A 30 -E 'ERROR: |runtime error:' err.txt | head -n 80 || true
  exit 1
fi
