#!/usr/bin/env bash
# The browser leg, after scripts/test-windows.sh: the browser build (scripts/build-web.sh)
# served over HTTP on this machine and driven in Debian's headless Chromium by
# tests/web/browser_test.mjs, with the DevTools client pinned in tests/web/package-lock.json:
#   - the golden frames, rendered in the browser by lumorak-capture --frames and compared
#     with tests/golden/ by pngdiff (each frame's mean difference and share of pixels off
#     by more than 8 levels; the Linux bounds, or a frame's own bound listed below);
#   - the play test: loading, the click, the first frame, Page Down, P, Space, F11 and the
#     page's Save frame button, Escape and the end screen;
#   - the page without data/loading.png: the show's message over the canvas, and a stop;
#   - a whole playthrough to 146 s with no WebGL error and no exception.
# Screenshots of the page land in $WEB_TEST_OUT (default build-web/test-out).
#
# Usage: test-web.sh [PART...]   (golden play missing playthrough; all by default)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(golden play missing playthrough)

bash scripts/build-web.sh
web=$root/${WEB_BUILD_DIR:-build-web}
out=${WEB_TEST_OUT:-$web/test-out}
rm -rf "$out"
mkdir -p "$out"

# pngdiff and showreport (for the scene schedule), from the Linux build.
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target pngdiff showreport >/dev/null

# The DevTools client, exactly as the lock file pins it.
if ! cmp -s tests/web/package-lock.json tests/web/node_modules/.installed-from-lock 2>/dev/null; then
  (cd tests/web && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error &&
    cp package-lock.json node_modules/.installed-from-lock)
fi

serve=$(mktemp -d)
server_pid=""
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$serve"' EXIT
for f in index.html page.js loading.png lumorakdemo.js lumorakdemo.wasm lumorakdemo.data \
  lumorakdemo.data.js lumorak-capture.js lumorak-capture.wasm; do
  ln -s "$web/$f" "$serve/$f"
done
ln -s "$root/tests/web/capture.html" "$serve/capture.html"
# The same page with a data package that lacks data/loading.png (and no picture of its own).
mkdir -p "$serve/missing" "$serve/missing-data"
for f in index.html page.js lumorakdemo.js lumorakdemo.wasm; do ln -s "$web/$f" "$serve/missing/$f"; done
cp -r data "$serve/missing-data/data"
rm "$serve/missing-data/data/loading.png"
export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs
(cd "$serve/missing" && python3 /usr/share/emscripten/tools/file_packager.py lumorakdemo.data \
  --preload "$serve/missing-data/data@data" --js-output=lumorakdemo.data.js --no-node >/dev/null 2>&1)

# A free port, then the server; it is up when it answers.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$serve" "$port" >"$out/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
  python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/page.js')" 2>/dev/null && break
  sleep 0.1
done

# The scenes, as the show's own schedule has them, for the frame rates by scene.
schedule=$("$build/tools/showreport" --schedule |
  awk 'BEGIN { printf "[" } { printf "%s{\"name\":\"%s\",\"start\":%s,\"end\":%s}", (NR > 1 ? "," : ""), $1, $2, $3 } END { printf "]" }')

status=0
LUMORAK_SCHEDULE=$schedule node tests/web/browser_test.mjs "http://127.0.0.1:$port" "$out" \
  "${parts[@]}" || status=1

if [[ " ${parts[*]} " == *" golden "* ]]; then
  . scripts/golden-frames.sh
  # Frames WebGL cannot match within the Linux bounds get their own, with the reason in
  # docs/web.md: "frame MAX_MEAN MAX_SHARE".
  declare -A bound=()
  while read -r frame mean share; do
    [ -n "$frame" ] && bound[$frame]="$mean $share"
  done < <(grep -v '^#' tests/web/golden-bounds.txt || true)
  failed=0
  for expected in tests/golden/frame-*.png; do
    name=$(basename "$expected")
    actual=$out/frames/$name
    limits=${bound[$name]:-1.0 0.005}
    if [ ! -f "$actual" ]; then
      echo "not ok - $name was not rendered in the browser"
      failed=$((failed + 1))
      continue
    fi
    # shellcheck disable=SC2086
    "$build/tests/pngdiff" "$actual" "$expected" $limits || failed=$((failed + 1))
  done
  [ "$failed" -eq 0 ] || { echo "not ok - $failed golden frames off in the browser"; status=1; }
fi
exit $status
