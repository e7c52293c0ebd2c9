#!/usr/bin/env bash
# What the release ships besides the programs: the Windows zip's .nfo (plain ASCII, no
# line past 80 columns, CRLF line ends, so that every viewer shows it alike, and this
# version in its title), the installed launcher's --help, --version and bad usage, and
# the manual pages made from them (when the build made any: it needs help2man).
#
# Usage: packaging_test.sh <repository root> <build dir> <project version>
set -euo pipefail
root=$(readlink -f "$1")
build=$(readlink -f "$2")
version=$3
. "$root/tests/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

nfo="$root/packaging/lumorakdemo.nfo"
ascii_only() { ! LC_ALL=C grep -q '[^[:print:][:space:]]' "$nfo"; }
# Columns count without the CR; tabs would be as wide as the viewer likes, so none.
within_80_columns() {
  ! grep -q "$(printf '\t')" "$nfo" &&
    LC_ALL=C awk '{ sub(/\r$/, ""); if (length($0) > 80) { print "line " NR " has " length($0) " columns"; bad = 1 } }
      END { exit bad }' "$nfo"
}
every_line_crlf() {
  [ -s "$nfo" ] && [ "$(tail -c 2 "$nfo" | od -An -c | tr -d ' ')" = '\r\n' ] &&
    ! LC_ALL=C grep -q $'[^\r]$\|^$' "$nfo"
}
check "the .nfo is plain ASCII" ascii_only
check "no .nfo line is wider than 80 columns" within_80_columns
check "every .nfo line ends in CRLF" every_line_crlf
check "the .nfo names version $version" grep -q "version $version for Windows" "$nfo"

# The launcher as the build configures it; HOME points into the scratch folder so that
# one that went on to play would leave a trace there.
launcher="$build/packaging/lumorakdemo-launcher.sh"
export HOME="$work/home" XDG_DATA_HOME=""
no_side_effects() { [ ! -e "$HOME" ] || { echo "it made $(find "$HOME")"; return 1; }; }
help_text() {
  expect_exit 0 "$launcher" --help && grep -q "^Usage: lumorakdemo" out.txt &&
    grep -q "^ *F11 " out.txt && grep -qF "/share/lumorakdemo/data" out.txt && no_side_effects
}
version_text() {
  expect_exit 0 "$launcher" --version && [ "$(head -n 1 out.txt)" = "lumorakdemo $version" ] &&
    no_side_effects
}
refuses() {  # refuses ARGUMENT...: status 2, nothing on stdout, the show not started
  expect_exit 2 "$launcher" "$@" && [ ! -s out.txt ] && says "lumorakdemo" && no_side_effects
}
check "--help: usage, keys and the data folder on stdout, status 0" help_text
check "--version names $version, status 0" version_text
check "an argument the show cannot take: status 2" refuses --fullscreen
check "--help with something after it: status 2" refuses --help extra
check "--version with something after it: status 2" refuses --version extra

# The pages are made at build time by running the programs from the build folder; what
# they say must name the installed paths, and their NAME lines must say what each is.
man_dir="$build/packaging/man"
if [ -d "$man_dir" ]; then
  pages_complete() {
    local page
    for page in lumorakdemo.6 lumorak-capture.1 lumorak-preview.1 showreport.1; do
      page="$man_dir/$page.gz"
      gzip -t "$page" || { echo "$page is missing or not gzip"; return 1; }
      ! zcat "$page" | grep -q "manual page for" || { echo "$page has no NAME of its own"; return 1; }
    done
  }
  names_installed_paths() {
    zcat "$man_dir/lumorakdemo.6.gz" >page.txt
    grep -qF "/usr/share/lumorakdemo/data" page.txt || { echo "no /usr data folder"; return 1; }
    # The per-user folder as an entry of its own (the build's home would stand there).
    grep -qx '[~]/\.local/share/lumorakdemo' page.txt || { echo "no per-user folder under ~"; return 1; }
    ! grep -q 'man\\\?-stage' page.txt || { echo "build paths in the page:"; grep stage page.txt; return 1; }
  }
  check "a gzipped page with a NAME line for each installed program" pages_complete
  check "the show's page names the package's paths, not the build's" names_installed_paths
else
  echo "skipped: no manual pages in this build (help2man missing)"
fi
finish_checks
echo "packaging test passed"
