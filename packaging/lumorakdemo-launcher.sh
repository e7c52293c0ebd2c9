#!/bin/sh
# Plays the installed show. The show reads data/ and writes its F11 captures into shots/
# relative to the folder it runs in, so it runs in a per-user folder that holds a link to
# the installed data/ and a writable shots/.
set -eu
prefix=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
dir="${XDG_DATA_HOME:-$HOME/.local/share}/lumorakdemo"
mkdir -p "$dir/shots"
ln -sfn "$prefix/share/lumorakdemo/data" "$dir/data"
echo "lumorakdemo: playing in $dir (F11 saves frames into $dir/shots)" >&2
cd "$dir"
exec "$prefix/lib/lumorakdemo/lumorakdemo" "$@"
