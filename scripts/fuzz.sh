#!/usr/bin/env bash
# fuzz.sh TARGET SECONDS: builds the fuzz targets if needed (clang, in build-fuzz) and
# fuzzes one of them (aml, aml_mesh, material, png, jpeg) for SECONDS, starting from its
# committed seeds in fuzz/corpus/. What it learns stays in build-fuzz/fuzz-work/TARGET/
# (corpus/ and crashes/); copy a crashing input into fuzz/corpus/ as a regression seed
# once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2

bash scripts/install-deps.sh
build=${FUZZ_BUILD_DIR:-build-fuzz}
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLUMORAK_FUZZ=ON -DLUMORAK_SANITIZE=ON >/dev/null
fi
cmake --build "$build" -j"${JOBS:-2}" --target "$target"

seeds=fuzz/corpus/$target
[ "$target" = aml_mesh ] && seeds=fuzz/corpus/aml
work=$build/fuzz-work/$target
mkdir -p "$work/corpus" "$work/crashes"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
exec "$build/fuzz/$target" "$work/corpus" "$seeds" -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -close_fd_mask=3 -artifact_prefix="$work/crashes/" -print_final_stats=1
