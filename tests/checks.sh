# Sourced by the process tests: `check DESCRIPTION COMMAND...` runs the command, prints
# "ok: ..." or "FAILED: ..." and counts failures; `finish_checks` ends the script with 1
# when any check failed. Checks go on after a failure, so one run lists every fault.
failures=0
check() {  # check DESCRIPTION CONDITION...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
finish_checks() {
  [ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
}
