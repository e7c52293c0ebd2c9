#!/usr/bin/env bash
# Makes a release into dist/, from the committed tree:
#   lumorakdemo_VERSION_ARCH.deb      Release build in build-release/, stripped, with man
#                                     pages; lintian must report no error (warnings shown)
#   lumorakdemo-VERSION-win64.zip     one folder: lumorakdemo.exe (stripped) and any DLL it
#                                     needs beyond Windows' own, data/, lumorakdemo.nfo,
#                                     LICENSE and licenses/ (packaging/win64-zip.sh)
#   lumorakdemo-VERSION-web.zip       one folder any static web server serves: the page,
#                                     the show's JS and wasm, data/ as one package, LICENSE
#                                     and licenses/ (scripts/build-web.sh, packaging/web-zip.sh)
#   lumorakdemo-VERSION-src.tar.gz    git archive of HEAD under lumorakdemo-VERSION/
#   SHA256SUMS                        sha256sum of the four, names relative to dist/
# VERSION is the project's, from CMakeLists.txt. Everything is made and checked in
# dist.partial/, which replaces dist/ only when all of it passed: a failed run leaves the
# previous dist/, and dist.partial/ to look at.
#
# Usage: release.sh [--allow-dirty] | --help | --version
# Exit status: 0 released, 1 failed, 2 bad usage.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

usage() {
  cat <<'EOF'
Usage: scripts/release.sh [--allow-dirty]
Builds the Debian package (Release, checked with lintian), the Windows zip (through
scripts/build-windows.sh), the browser zip (through scripts/build-web.sh) and the source
tarball into dist/, with SHA256SUMS.

  --allow-dirty  release even though tracked files differ from HEAD (the tarball holds
                 HEAD, the builds the work tree: for trying the script out only)
  --help         this text
  --version      the version a release would carry

Environment: JOBS, parallel build jobs (default 2).
Exit status: 0 released, 1 failed, 2 bad usage.
EOF
}
die() { echo "release: $*" >&2; exit 1; }

version=$(sed -n 's/^project(lumorakdemo VERSION \([0-9][0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  die "no 'project(lumorakdemo VERSION x.y.z ...)' in CMakeLists.txt"

allow_dirty=0
for arg in "$@"; do
  case $arg in
    --allow-dirty) allow_dirty=1 ;;
    --help) usage; exit 0 ;;
    --version) echo "lumorakdemo $version"; exit 0 ;;
    *) echo "release: unknown option '$arg'" >&2; usage >&2; exit 2 ;;
  esac
done

jobs=${JOBS:-2}
started=$(date +%s)
step() { echo "== [$(($(date +%s) - started)) s] $*"; }

if ! git diff --quiet HEAD -- 2>/dev/null; then
  [ "$allow_dirty" -eq 1 ] || die "tracked files differ from HEAD: commit them (or --allow-dirty)"
  echo "release: WARNING: tracked files differ from HEAD; the tarball holds HEAD only" >&2
fi

bash scripts/install-deps.sh --release

out=$root/dist.partial
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Archive members get the commit's time, so that the same commit packs to the same bytes.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

deb=lumorakdemo_${version}_$(dpkg --print-architecture).deb
zip_name=lumorakdemo-$version-win64
web_name=lumorakdemo-$version-web
tarball=lumorakdemo-$version-src.tar.gz

# --- The source tarball.
step "source tarball $tarball"
git archive --format=tar.gz --prefix="lumorakdemo-$version/" -o "$out/$tarball" HEAD
tar -tzf "$out/$tarball" >"$work/tar-list.txt"
grep -qx "lumorakdemo-$version/CMakeLists.txt" "$work/tar-list.txt" ||
  die "$tarball has no lumorakdemo-$version/CMakeLists.txt"

# --- The Debian package: a Release build of its own, without the tests.
step "Debian package (build-release/)"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DLUMORAK_TESTS=OFF \
  -DLUMORAK_MANPAGES=ON >/dev/null
cmake --build build-release -j"$jobs"
rm -f build-release/*.deb
(cd build-release && cpack -G DEB >/dev/null)
[ -f "build-release/$deb" ] || die "cpack made no build-release/$deb: $(ls build-release/*.deb 2>&1)"
cp "build-release/$deb" "$out/"

# lintian's own exit status says whether it found an error; its report is shown either way.
step "lintian $deb"
lintian_status=0
lintian --fail-on error "$out/$deb" >"$work/lintian.txt" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$work/lintian.txt" || true
if [ "$lintian_status" -ne 0 ] || grep -q '^E: ' "$work/lintian.txt"; then
  die "lintian found errors in $deb (status $lintian_status)"
fi
echo "lintian: no errors, $(grep -c '^W: ' "$work/lintian.txt" || true) warnings"

# --- The Windows zip.
step "Windows build (scripts/build-windows.sh)"
bash scripts/build-windows.sh || die "scripts/build-windows.sh failed"
deps=$(bash scripts/build-windows.sh --deps-only | tail -n 1)
exe=${WIN_BUILD_DIR:-build-win64}/lumorakdemo.exe
[ -f "$exe" ] || die "scripts/build-windows.sh made no $exe"

step "Windows zip $zip_name.zip"
bash packaging/win64-zip.sh "$exe" "$deps" "$out/$zip_name.zip"

# --- The browser zip.
step "browser build (scripts/build-web.sh)"
bash scripts/build-web.sh || die "scripts/build-web.sh failed"
web_deps=$(bash scripts/build-web.sh --deps-only | tail -n 1)
step "browser zip $web_name.zip"
bash packaging/web-zip.sh "${WEB_BUILD_DIR:-build-web}" "$web_deps" "$out/$web_name.zip"

# --- Checksums, then dist/ in one move.
step "SHA256SUMS"
(cd "$out" && sha256sum "$deb" "$zip_name.zip" "$web_name.zip" "$tarball" >SHA256SUMS &&
  sha256sum --quiet -c SHA256SUMS)
rm -rf "$root/dist"
mv "$out" "$root/dist"
step "released lumorakdemo $version into dist/"
ls -l "$root/dist"
