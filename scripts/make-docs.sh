#!/usr/bin/env bash
# Makes the pictures in docs/ that document the generated assets:
#   docs/contact-sheet.png  every picture in data/, at half size, with its name and size;
#   docs/spectrogram.png    the music as the show's own analyser sees it, with the scene
#                           boundaries and the bands each scene reads;
#   docs/bands.md           the band loudness table (also rewritten by the assets target);
#   docs/preview.png        lumorak-preview paused in the tunnel, its overlay on (under
#                           Xvfb when there is no display).
# The show report (docs/showreport.md and docs/filmstrip.png, 5 to 15 minutes) is made
# apart: build/tools/showreport --out-dir docs.
# Both pictures come from our own docsheet tool, so the only needs are the project's build
# dependencies (scripts/install-deps.sh installs the missing ones). Builds with -j2 in ./build (or $BUILD_DIR) and only the tools it runs.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

bash "$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target docsheet bandtable lumorak-preview

mkdir -p "$root/docs"
"$build/tools/docsheet" contact "$root/data" "$root/docs/contact-sheet.png"
"$build/tools/docsheet" spectrogram "$root/data/deruz.mp3" "$root/docs/spectrogram.png"
"$build/tools/bandtable" "$root/data/deruz.mp3" -o "$root/docs/bands.md"
if [ -z "${DISPLAY:-}" ]; then
  # shellcheck source=xvfb.sh
  . "$root/scripts/xvfb.sh"
  xvfb_dir=$(mktemp -d)
  start_xvfb "$xvfb_dir"
  trap 'kill "$xvfb_pid" 2>/dev/null; rm -rf "$xvfb_dir"' EXIT
fi
SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} "$build/tools/lumorak-preview" --from 106 --paused \
  --screenshot "$root/docs/preview.png"
echo "Wrote docs/contact-sheet.png, docs/spectrogram.png, docs/bands.md and docs/preview.png"
