#!/usr/bin/env bash
# Installs what is missing, builds, checks formatting and runs every test. Works headless:
# without DISPLAY it starts its own X server (Xvfb, Mesa's llvmpipe renders), and without
# a sound device SDL's dummy audio driver plays.
#
# Two passes: the gcc build in build/, then a clang build with AddressSanitizer,
# LeakSanitizer and UBSan in build-asan/ that runs every test again, the process-level ones
# on the sanitizer-built show. Any sanitizer report fails its test.
#
# --quick runs the gcc pass alone, for a quick check; CI runs the default, both passes.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh
. scripts/xvfb.sh
. scripts/sanitize-env.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

echo "== clang-format"
git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tools/*.cpp' 'tools/*.h' \
  | xargs clang-format --dry-run -Werror

headless_session

echo "== tests (DISPLAY=$DISPLAY, audio=${SDL_AUDIODRIVER:-default})"
ctest --test-dir "$build" --output-on-failure -j2
[ "$quick" -eq 1 ] && exit 0

# LUMORAK_FUZZ adds the fuzz targets' tests where the project has them; elsewhere the
# variable is unused, and --no-warn-unused-cli keeps CMake quiet about it.
asan_build=${ASAN_BUILD_DIR:-build-asan}
echo "== sanitizer build ($asan_build: clang-14, ASan + LSan + UBSan)"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$asan_build" --no-warn-unused-cli \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMORAK_SANITIZE=ON -DLUMORAK_FUZZ=ON >/dev/null
cmake --build "$asan_build" -j"$(nproc)"
echo "== tests under the sanitizers"
(
  sanitize_env "$asan_build"
  ctest --test-dir "$asan_build" --output-on-failure -j2
)
