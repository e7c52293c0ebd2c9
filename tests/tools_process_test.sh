#!/usr/bin/env bash
# Every tool and bench as a user and a script run them, from a folder that is not the
# repository (they find data/ by themselves): --help, --version and a bad option; times
# outside the show; outputs refused before the first frame; the show's fatal errors; no
# spurious "error:" line without a display; Ctrl-C and SIGTERM during a run and during
# lumorak-capture's run-up (exit 130 or 143, no temporary file, and a
# partial --png-dir that says what it holds).
#
# Usage: tools_process_test.sh <repository root> NAME=PATH...   (each tool, by its name)
set -uo pipefail
# shellcheck source=checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
root=$(readlink -f "$1")
shift
declare -A tool
for pair in "$@"; do tool[${pair%%=*}]=$(readlink -f "${pair#*=}"); done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SDL_AUDIODRIVER=dummy
run() { expect_exit "$1" "${tool[$2]}" "${@:3}"; }  # run EXPECTED-STATUS TOOL ARGS...
one_line() { [ "$(wc -l <err.txt)" -eq 1 ] || { cat err.txt; return 1; }; }

# ---- Conventions, on every tool and bench --------------------------------------------
for name in "${!tool[@]}"; do
  check "$name --help: usage on stdout" run 0 "$name" --help
  check "$name --help: starts with usage" grep -q '^usage: ' out.txt
  check "$name --version" run 0 "$name" --version
  check "$name --version names the version and commit" \
    grep -Eq "^$name 1\.0\.0 \(git [0-9a-f]+(-dirty)?\)$|^$name 1\.0\.0 \(git unknown\)$" out.txt
  check "$name bad option: exit 2" run 2 "$name" --frobnicate
  check "$name bad option: one line with a pointer to --help" \
    test "$(cat err.txt)" = "$name: unknown option '--frobnicate' (see --help)"
done
check "no option was taken for a file name" test -z "$(ls -A | grep -v '^out.txt$\|^err.txt$')"

# ---- Arguments -------------------------------------------------------------------------
check "capture --frames 1,150: refused" run 2 lumorak-capture --frames 1,150
check "capture --frames 1,150: why" says "--frames 150 s lies outside the show: times run from 0 up to 146 s"
check "capture --frames -1: refused" run 2 lumorak-capture --frames -1
check "capture --frames abc: refused" run 2 lumorak-capture --frames abc
check "capture span past the end: refused" run 2 lumorak-capture --fps 10 --from 140 --to 150 --png-dir x
check "capture --from 150: refused" run 2 lumorak-capture --from=150 --to 151
check "capture --from 150: why" says "--from 150 s lies outside the show"
check "capture --frames 146: refused" run 2 lumorak-capture --frames 20,146
check "capture --out v.gif: refused" run 2 lumorak-capture --out v.gif
check "capture --out v.gif: why" says "its name must end in .mp4"
check "makemodel x.obj: refused" run 2 makemodel x.obj
check "docsheet to a JPEG name: refused" run 2 docsheet contact "$root/data" sheet.jpg
check "bandtable -o=x.txt: refused" run 2 bandtable -o=x.txt
check "png_bench 0: refused" run 2 png_bench 0
check "png_bench abc: refused" run 2 png_bench abc
check "clock_bench: a bench length past the show refused" run 2 clock_bench "$root/data/deruz.mp3" 200
check "show_bench: unknown scene refused" run 2 show_bench --runs=1 nowhere
check "pngdiff: unreadable file" run 2 pngdiff nothing.png "$root/tests/golden/frame-006.000.png"
check "preview --loop 5:3: refused" run 2 lumorak-preview --loop 5:3
check "preview --loop 5:3: why" says "--loop: "
check "preview --speed 3: refused" run 2 lumorak-preview --speed 3
check "preview --screenshot x.jpg: refused" run 2 lumorak-preview --screenshot x.jpg
check "nothing written by refused runs" test -z "$(ls -A | grep -v '\.txt$')"

# ---- Outputs checked before the first frame --------------------------------------------
quick() {  # quick EXPECTED-STATUS TOOL ARGS...: refused before any frame is rendered
  local expected=$1 name=$2 start status=0
  shift 2
  start=$(now_ms)
  # A tool that renders first would take minutes: the timeout cuts it short, and its exit
  # status (124) fails the check. No bound tighter than that: a loaded machine is slow.
  timeout 30 "${tool[$name]}" "$@" >out.txt 2>err.txt || status=$?
  echo "  refused after $(($(now_ms) - start)) ms"
  [ "$status" -eq "$expected" ] || { echo "exit $status, expected $expected:"; cat err.txt; return 1; }
  one_line || return 1
  ! grep -Eq '[0-9]+/[0-9]+ frames' err.txt || { echo "rendered first:"; cat err.txt; return 1; }
}
mkdir folder folder.mp4
check "showreport --out-dir /missing: refused at once" quick 1 showreport --out-dir /nonexistent/dir
check "capture --out naming a folder: refused at once" quick 1 lumorak-capture --out folder.mp4
check "capture --out naming a folder: why" says "is a folder"
check "capture --sheet into a missing folder: refused at once" \
  quick 1 lumorak-capture --frames 1 --png-dir folder --sheet missing/sheet.png
check "capture into a folder it cannot make: refused at once" \
  quick 1 lumorak-capture --png-dir /proc/no/shots --frames 5
check "bandtable -o into a missing folder: refused at once" quick 1 bandtable -o missing/b.md

# ---- Running from another folder, with or without a display -----------------------------
check "capture --frames makes its folder and fills it" run 0 lumorak-capture --png-dir shots --frames 70.5
check "capture --frames: one 1024 x 768 PNG" \
  test "$(od -An -tx1 -j16 -N8 shots/frame-070.500.png | tr -d ' \n')" = "0000040000000300"
check "capture --frames: prints the file and its time" \
  grep -qx "$work/shots/frame-070.500.png  t = 70.500 s" out.txt
check "capture --png-dir=DIR and two times out of order" \
  run 0 lumorak-capture --png-dir=two/deep --frames 3,1
check "capture --frames: each time its file" \
  test -s two/deep/frame-001.000.png -a -s two/deep/frame-003.000.png -a "$(ls two/deep | wc -l)" -eq 2
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "${tool[lumorak-capture]}" --frames 46 \
  --png-dir=headless >out.txt 2>err.txt || status=$?
check "capture without a display: done" test "$status" -eq 0 -a -s headless/frame-046.000.png
check "capture without a display: no error line" test ! -s err.txt
mkdir -p nodata/data && ln -s "$root/data/deruz.mp3" nodata/data/deruz.mp3
check "a missing data file: exit 1" run 1 lumorak-capture --frames 46 --png-dir folder --data nodata/data
check "a missing data file: the show's message, one line" \
  test "$(cat err.txt)" = 'lumorak-capture: Could not find file: "data/loading.{png jpg }"!'
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "${tool[lumorak-preview]}" >out.txt 2>err.txt || status=$?
check "preview without a display: exit 1" test "$status" -eq 1
check "preview without a display: why, in one line" \
  test "$(cat err.txt)" = "lumorak-preview: needs a display to show its window (DISPLAY is not set)"
check "preview --screenshot: the window after its first frame, exit 0" \
  run 0 lumorak-preview --from 110 --paused --screenshot preview.png
check "preview --screenshot: a 1024 x 768 PNG" \
  test "$(od -An -tx1 -j16 -N8 preview.png | tr -d ' \n')" = "0000040000000300"
check "--data naming no folder" run 1 lumorak-capture --frames 5 --data /nonexistent
check "--data naming no folder: why" says "--data /nonexistent: no such folder"

# ---- Ctrl-C and SIGTERM ----------------------------------------------------------------
started() {  # started PID PATTERN FILE: waits up to 20 s for PATTERN in FILE
  for _ in $(seq 200); do
    grep -q -- "$2" "$3" 2>/dev/null && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
stop() {  # stop SIGNAL PID EXPECTED-STATUS: the tool ends with it, and soon
  local start status=0
  start=$(now_ms)
  kill -"$1" "$2"
  wait "$2" || status=$?
  local took=$(($(now_ms) - start))
  # Idle, every tool stops within a few hundred ms (the figure printed here). The bound is
  # wide because one frame on llvmpipe takes seconds on a loaded machine; a tool that
  # ignores the signal runs on to its end and exits 0, which the status check catches.
  echo "  exit $status after ${took} ms"
  [ "$status" -eq "$3" ] && [ "$took" -lt 15000 ]
}
no_parts() { [ -z "$(find "$@" -name '*.part*')" ] || { find "$@" -name '*.part*'; return 1; }; }

# The run-up before 20 s: 1200 opening frames, over ten seconds, with progress shown.
"${tool[lumorak-capture]}" --from 20 --to 21 --png-dir runup >out.txt 2>err.txt &
pid=$!
check "capture run-up: shows progress" started "$pid" 'run-up' err.txt
check "capture run-up: Ctrl-C ends it, exit 130" stop INT "$pid" 130
check "capture run-up: says what the folder holds" \
  says "interrupted: $work/runup holds no frames of 60 and no audio.wav"
check "capture run-up: the folder is empty" test -z "$(ls -A runup)"

"${tool[lumorak-capture]}" --from 20 --to 21 --out runup.mp4 >out.txt 2>err.txt &
pid=$!
sleep 2
check "capture video run-up: SIGTERM ends it, exit 143" stop TERM "$pid" 143
check "capture video run-up: no video, no temporary file" \
  test -z "$(ls -A | grep 'runup\.mp4')"

mkdir pngs
echo "an earlier run's" >pngs/audio.wav
# One process, whose frames run from 000000 without a gap (capture_jobs_test stops pieces).
"${tool[lumorak-capture]}" --from 130 --to 140 --fps 30 --jobs 1 --png-dir pngs >out.txt 2>err.txt &
pid=$!
for _ in $(seq 200); do [ -e pngs/frame000002.png ] && break; sleep 0.1; done
check "capture --png-dir: SIGTERM ends it, exit 143" stop TERM "$pid" 143
held=$(ls pngs | grep -c '^frame.*\.png$')
last=$(printf '%06d' $((held - 1)))
check "capture --png-dir: says which frames the folder holds" \
  says "interrupted: $work/pngs holds frames 000000-$last of 300 and no audio.wav"
check "capture --png-dir: no audio.wav, not even the old one" test ! -e pngs/audio.wav
check "capture --png-dir: no temporary file" no_parts pngs

"${tool[lumorak-capture]}" --fps 30 --png-dir=span --frames 1,25 >out.txt 2>err.txt &
pid=$!
check "capture --frames: frames come" started "$pid" frame-001.000 out.txt
check "capture --frames: SIGTERM ends it, exit 143" stop TERM "$pid" 143
check "capture --frames: no temporary file" no_parts span

"${tool[lumorak-preview]}" --from 100 --loop 100:102 >out.txt 2>err.txt &
pid=$!
sleep 3
check "preview: SIGTERM ends it, exit 143" stop TERM "$pid" 143
"${tool[lumorak-preview]}" --from 25 --paused >out.txt 2>err.txt &
pid=$!
sleep 2
check "preview: Ctrl-C during a long history ends it, exit 130" stop INT "$pid" 130

if [ -n "${tool[showreport]:-}" ]; then
  mkdir report
  "${tool[showreport]}" --fps 2 --out-dir report >out.txt 2>err.txt &
  pid=$!
  sleep 2
  check "showreport: Ctrl-C ends it, exit 130" stop INT "$pid" 130
  check "showreport: nothing written" test -z "$(ls -A report)"
fi

if [ -n "${tool[assetgen]:-}" ]; then
  mkdir assets
  "${tool[assetgen]}" assets music >out.txt 2>err.txt &
  pid=$!
  sleep 1
  check "assetgen music: SIGTERM ends it, exit 143" stop TERM "$pid" 143
  check "assetgen music: no half-written file" test -z "$(ls -A assets)"
fi

if [ -n "${tool[show_bench]:-}" ]; then
  "${tool[show_bench]}" --runs 1 --no-trace opening >out.txt 2>err.txt &
  pid=$!
  sleep 3
  check "show_bench: SIGTERM ends it, exit 143" stop TERM "$pid" 143
  sleep 0.2
  check "show_bench: no child left running" test -z "$(pgrep -f "${tool[show_bench]} --child")"
fi

if [ -n "${tool[reload_bench]:-}" ]; then
  "${tool[reload_bench]}" 100000 >out.txt 2>err.txt &
  pid=$!
  sleep 3
  check "reload_bench: Ctrl-C ends it, exit 130" stop INT "$pid" 130
fi

if [ -n "${tool[clock_bench]:-}" ]; then
  "${tool[clock_bench]}" >out.txt 2>err.txt &
  pid=$!
  sleep 1
  check "clock_bench: Ctrl-C ends it, exit 130" stop INT "$pid" 130
fi

if [ -n "${tool[png_bench]:-}" ]; then
  "${tool[png_bench]}" 1000 >out.txt 2>err.txt &
  pid=$!
  sleep 1
  check "png_bench: SIGTERM ends it, exit 143" stop TERM "$pid" 143
  check "png_bench: its temporary file removed" test ! -e "/tmp/png_bench.$pid.png"
fi

finish_checks
echo "all checks passed"
