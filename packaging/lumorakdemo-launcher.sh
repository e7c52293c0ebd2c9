#!/bin/sh
# Plays the installed show. The show reads data/ and writes its F11 captures into shots/
# relative to the folder it runs in, so it runs in a per-user folder that holds a link to
# the installed data/ and a writable shots/.
#
# The show itself takes no command line; this script answers --help and --version (the
# text its manual page is made from) and refuses anything else with status 2. The build
# puts the version in (packaging/CMakeLists.txt configures this file).
set -eu
prefix=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
data="$prefix/share/lumorakdemo/data"
dir="${XDG_DATA_HOME:-$HOME/.local/share}/lumorakdemo"

usage() {
  cat <<EOF
Usage: lumorakdemo [--help | --version]
Plays Lumorakdemo, a real-time audiovisual show: a piece of music and, in step with
it, 146 seconds of six 3D scenes rendered with OpenGL. The show ends by itself.

It runs in a per-user folder that holds a link to the installed data and the shots
folder that F11 saves frames into. Diagnostics go to stderr; without a sound device
the show runs silently.

Exit status: 2 for bad usage; otherwise the show's, which is 0 even after most errors
it reports (on stderr, and in a message box when there is a display).

Options:
  --help     print this text and exit
  --version  print the version and exit

Keys:
  Esc                  quit
  Page Up, Page Down   seek -30 s, +30 s
  Left, Right          seek -1 s, +1 s
  Down, Up             seek -5 s, +5 s
  P                    pause and resume (the picture freezes with the music)
  Space                beat tap: prints the time, the interval and the tempo
  L                    reload the material files in data/materials/
  F11                  save the next frame as shots/shotNNNN.png (numbered from
                       0000 on every run; older files are overwritten)
  Q, W and A, S        move the mouse-value slots (x and y)
  mouse with a button, Shift or Ctrl
                       drag the debug sliders at the right edge of the screen

Environment:
  XDG_DATA_HOME        the per-user folder is XDG_DATA_HOME/lumorakdemo; when it is
                       unset or empty, ~/.local/share/lumorakdemo

Files:
  $data
                       the music, pictures, model and material files
  $dir
                       the per-user folder: data (a link) and shots/
EOF
}

case "${1-}" in
  --help)
    [ $# -eq 1 ] || { usage >&2; exit 2; }
    usage
    exit 0 ;;
  --version)
    [ $# -eq 1 ] || { usage >&2; exit 2; }
    echo "lumorakdemo @PROJECT_VERSION@"
    echo "Copyright (C) 2026 the Lumorakdemo developers"
    echo "License GPL-2.0-or-later: GNU GPL version 2 or later."
    echo "This is free software: you are free to change and redistribute it."
    exit 0 ;;
esac
if [ $# -ne 0 ]; then
  echo "lumorakdemo: takes no arguments (got '$1')" >&2
  echo "Try 'lumorakdemo --help'." >&2
  exit 2
fi

mkdir -p "$dir/shots"
ln -sfn "$data" "$dir/data"
echo "lumorakdemo: playing in $dir (F11 saves frames into $dir/shots)" >&2
cd "$dir"
exec "$prefix/lib/lumorakdemo/lumorakdemo"
