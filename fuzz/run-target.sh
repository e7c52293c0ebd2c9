#!/usr/bin/env bash
# run-target.sh FUZZER CORPUS SECONDS: runs every seed in CORPUS, then fuzzes for SECONDS.
# New inputs and crash files go to a temporary directory (the committed corpus is only
# read); a crash is copied next to the fuzzer's output as it ends.
set -euo pipefail
fuzzer=$1
corpus=$2
seconds=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/new" "$work/crashes"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
status=0
"$fuzzer" "$work/new" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -close_fd_mask=3 -artifact_prefix="$work/crashes/" -print_final_stats=1 || status=$?
if [ "$status" -ne 0 ]; then
  for crash in "$work"/crashes/*; do
    [ -e "$crash" ] || continue
    echo "== crashing input $(basename "$crash"):"
    od -A d -t x1 "$crash" | head -n 20
  done
fi
exit "$status"
