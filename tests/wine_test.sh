#!/usr/bin/env bash
# The Windows release as a viewer has it, under Wine on the X server in DISPLAY (Mesa's
# llvmpipe draws, as for the Linux tests), in a fresh Wine prefix with nothing else
# installed:
#   - every DLL the exe imports is Windows' own or shipped in the zip;
#   - the unpacked zip plays from its own folder: a window titled "Lumorakdemo" of class
#     "OpenGL", F11 saves shots/shot0000.png with a picture in it, Escape ends it with 0;
#   - on a screen too small for the mode, the box, then a 1024 x 768 window, frame included;
#   - with data/loading.png gone, or started from another folder (data/ is read from the
#     working folder only), a box titled "Error" shows the show's exact message, and once
#     it is closed the process ends with 0;
#   - the Windows capture tool draws the golden frames within their tolerance.
#
# Usage: wine_test.sh <release zip> <Windows build dir> <pngdiff> <repository root>
set -euo pipefail
zip=$(readlink -f "$1")
win=$(readlink -f "$2")
pngdiff=$(readlink -f "$3")
root=$(readlink -f "$4")
. "$root/tests/checks.sh"
. "$root/scripts/xvfb.sh"
. "$root/scripts/golden-frames.sh"

work=$(mktemp -d)
show_pid=""
cleanup() {
  [ -n "$show_pid" ] && kill "$show_pid" 2>/dev/null || true
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
# wininfo TITLE ...: what tests/windows/wininfo.c reads of that window, in Unix lines.
wininfo() {
  local status=0
  wine "$win/tests/wininfo.exe" "$@" >"$work/wininfo.raw" || status=$?
  tr -d '\r' <"$work/wininfo.raw"
  return $status
}

# ---- The zip ------------------------------------------------------------------------
mkdir "$work/unzipped"
(cd "$work/unzipped" && unzip -q "$zip")
folders=$(ls "$work/unzipped")
check "the zip holds one folder" [ "$(echo "$folders" | wc -l)" -eq 1 ]
show=$work/unzipped/$(echo "$folders" | head -n 1)

# Windows' own DLLs, as every installation has them.
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
  imm32.dll winmm.dll version.dll setupapi.dll opengl32.dll glu32.dll msvcrt.dll cfgmgr32.dll
  ws2_32.dll shlwapi.dll comctl32.dll comdlg32.dll dinput8.dll hid.dll uuid.dll "
imports_ok() {
  local dll missing=0
  for dll in $(x86_64-w64-mingw32-objdump -p "$show/lumorakdemo.exe" | sed -n 's/.*DLL Name: //p'); do
    dll=$(echo "$dll" | tr 'A-Z' 'a-z')
    echo "  imports $dll"
    case " $(echo $system_dlls) " in *" $dll "*) continue ;; esac
    [ -f "$show/$dll" ] && continue
    echo "  $dll is neither a Windows DLL nor in the zip"
    missing=1
  done
  [ "$missing" -eq 0 ]
}
check "every DLL the exe imports is Windows' own or in the zip" imports_ok

# ---- The show, double-clicked in its folder ---------------------------------------------
# wait_exit PID SECONDS: the process's exit status, or 124 if it is still running.
wait_exit() {
  local pid=$1 tenths=$(($2 * 10))
  for _ in $(seq "$tenths"); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; return $?; }
    sleep 0.1
  done
  return 124
}
# ends_with_zero WHAT: the show, told to end by WHAT, ends with status 0 within 30 s.
ends_with_zero() {
  local status=0
  wait_exit "$show_pid" 30 || status=$?
  show_pid=""
  check "$1 ends the show with status 0 (got $status)" [ "$status" -eq 0 ]
}
# Presses KEY in the window titled TITLE (keyboard focus first: Wine reads real key events).
press() {
  local window
  window=$(find_window "$1")
  [ -n "$window" ] || return 1
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  xdotool key "$2"
}
# close_mode_box SECONDS: a display that cannot take the full-screen mode says so in a
# box first; that box (and no other titled Error) is closed.
close_mode_box() {
  wininfo Error "$1" >"$work/box.txt" 2>/dev/null || return 1
  grep -qxF 'text=Mode Switch Failed.\nRunning In Windowed Mode.' "$work/box.txt" || return 1
  wininfo Error 5 --close >/dev/null
}
not_blank() {
  "$pngdiff" "$1" "$work/black.png" 1.0 0.005 >/dev/null 2>&1 && return 1
  "$pngdiff" "$1" "$work/white.png" 1.0 0.005 >/dev/null 2>&1 && return 1
  return 0
}
ffmpeg -v error -f lavfi -i color=black:s=1024x768 -frames:v 1 -pix_fmt rgb24 "$work/black.png"
ffmpeg -v error -f lavfi -i color=white:s=1024x768 -frames:v 1 -pix_fmt rgb24 "$work/white.png"

mkdir "$show/shots"
(cd "$show" && exec wine lumorakdemo.exe >"$work/show.out" 2>"$work/show.err") &
show_pid=$!
close_mode_box 3 || true
if wininfo Lumorakdemo 60 >"$work/window.txt"; then
  cat "$work/window.txt" | sed 's/^/  /'
  check "the show's window is of the class OpenGL" grep -qx 'class=OpenGL' "$work/window.txt"
  sleep 2
  press Lumorakdemo F11
  for _ in $(seq 300); do [ -s "$show/shots/shot0000.png" ] && break; sleep 0.1; done
  sleep 1
  check "F11 saves shots/shot0000.png" [ -s "$show/shots/shot0000.png" ]
  check "the saved frame is not blank" not_blank "$show/shots/shot0000.png"
  press Lumorakdemo Escape
  ends_with_zero Escape
else
  check "the show opens a window titled Lumorakdemo" false
  cat "$work/show.err"
fi

# ---- A missing data file, and a start from another folder ------------------------------
broken=$work/broken
cp -r "$show" "$broken"
rm -rf "$broken/shots"
mv "$broken/data/loading.png" "$broken/data/loading-away.png"
mkdir "$work/elsewhere"
expected='Could not find file: "data/loading.{png jpg }"!'
# missing_data WHAT FOLDER EXE: started in FOLDER, the show ends through the box.
missing_data() {
  (cd "$2" && exec wine "$3" >"$work/broken.out" 2>"$work/broken.err") &
  show_pid=$!
  if wininfo Error 60 --close >"$work/error.txt"; then
    sed 's/^/  /' "$work/error.txt"
    check "$1: the box titled Error shows the exact message" \
      grep -qxF "text=$expected" "$work/error.txt"
    ends_with_zero "$1: closing the box"
  else
    check "$1: a box titled Error appears" false
    cat "$work/broken.err"
  fi
}
missing_data "data/loading.png gone" "$broken" lumorakdemo.exe
missing_data "started from another folder" "$work/elsewhere" "$show/lumorakdemo.exe"

# ---- The golden frames, from the Windows capture tool ----------------------------------
mkdir "$work/golden"
ln -s "$root/data" "$work/golden/data"
(cd "$work/golden" && wine "$win/tools/lumorak-capture.exe" --fps "$golden_fps" \
  --frames "$golden_times" --png-dir frames >/dev/null 2>frames.err) || cat "$work/golden/frames.err"
for t in ${golden_times//,/ }; do
  name=$(printf 'frame-%07.3f.png' "$t")
  check "golden frame at $t s" "$pngdiff" "$work/golden/frames/$name" "$root/tests/golden/$name" \
    1.0 0.005
done

# ---- A screen too small for the full-screen mode -----------------------------------------
# The box first, then a window that is 1024 x 768 with its frame. Wine's server keeps the
# display its first program had, so it starts again on the small screen, as on a machine
# with that screen alone.
wineserver -k 2>/dev/null || true
mkdir "$work/small"
if start_xvfb "$work/small" 800x600x24; then
  small_pid=$xvfb_pid
  (cd "$show" && exec wine lumorakdemo.exe >"$work/small.out" 2>"$work/small.err") &
  show_pid=$!
  check "a small screen gets the mode-switch box" close_mode_box 60
  if wininfo Lumorakdemo 60 >"$work/small.txt"; then
    sed 's/^/  /' "$work/small.txt"
    check "the windowed show is 1024 x 768 with its frame" grep -qx 'window=1024x768' "$work/small.txt"
  else
    check "the show opens its window on a small screen" false
    cat "$work/small.err"
  fi
  press Lumorakdemo Escape || true
  wait_exit "$show_pid" 30 || kill "$show_pid" 2>/dev/null || true
  show_pid=""
  kill "$small_pid" 2>/dev/null || true
fi

finish_checks
