# Sourced, not run: sanitize_env BUILD_DIR exports what a run of the sanitizer build
# (LUMORAK_SANITIZE=ON) needs. Every report ends the process with a failing status and a
# symbolised stack; suppressions cover third-party libraries only (scripts/*.supp).
sanitize_env() {
  local build scripts
  build=$(readlink -f "$1")
  scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  local symbolizer
  symbolizer=$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)
  export ASAN_OPTIONS="halt_on_error=1:print_stacktrace=1:detect_leaks=1${symbolizer:+:external_symbolizer_path=$symbolizer}"
  export LSAN_OPTIONS="suppressions=$scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$scripts/ubsan.supp${symbolizer:+:external_symbolizer_path=$symbolizer}"
  export LD_PRELOAD="$build/libkeep_loaded.so${LD_PRELOAD:+:$LD_PRELOAD}"
}
