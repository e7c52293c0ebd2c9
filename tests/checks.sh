# Sourced by the process tests: `check DESCRIPTION COMMAND...` runs the command, prints
# "ok: ..." or "FAILED: ..." and counts failures; `finish_checks` ends the script with 1
# when any check failed. Checks go on after a failure, so one run lists every fault.
# `expect_exit`, `says`, `now_ms` and `work_in_scratch` below serve the tool tests.
failures=0
check() {  # check DESCRIPTION CONDITION...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
finish_checks() {
  [ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
}
# expect_exit STATUS COMMAND...: stdout in out.txt, stderr in err.txt; fails, showing the
# stderr, unless COMMAND exits with STATUS.
expect_exit() {
  local expected=$1
  shift
  local status=0
  "$@" >out.txt 2>err.txt || status=$?
  [ "$status" -eq "$expected" ] || { echo "${1##*/} ${*:2}: exit $status, expected $expected:"; cat err.txt; return 1; }
}
says() { grep -qF -- "$1" err.txt || { echo "stderr lacks '$1':"; cat err.txt; return 1; }; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# work_in_scratch ROOT: into a new temporary folder ($work, removed at exit) whose data/ is
# ROOT's, with SDL's dummy audio driver for whatever plays there.
work_in_scratch() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  ln -s "$1/data" "$work/data"
  cd "$work"
  export SDL_AUDIODRIVER=dummy
}
