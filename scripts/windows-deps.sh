# Sourced by scripts/build-windows.sh: the libraries the Windows build links, built with
# mingw-w64 from Debian 12's source packages into a prefix of static libraries.
#
# Each source package is pinned: its version, and the SHA-256 of its upstream tarball and
# of Debian's packaging (whose patches, security fixes among them, are applied). A changed
# line here changes the cache key (build-windows.sh hashes this file), so the next build
# starts from scratch.

# package  version  upstream-tarball-sha256  debian-tarball-sha256
windows_pins=(
  "zlib 1:1.2.13.dfsg-1 71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1 f66cf3d4f2d7defcd4d1fd1fb0a11ee39f1e01b42ec7d059c9dc5c1695133c44"
  "libpng1.6 1.6.39-2+deb12u5 a00e9d2f2f664186e4202db9299397f851aea71b36a35e74910b8820e380d441 ab14906eda9fddf14cbb1e589b9ba7439c22e233dc3c5e3cf9356c9625565a82"
  "libjpeg-turbo 1:2.1.5-2 254f3642b04e309fee775123133c6464181addc150499561020312ec61c1bf7c cdb2433c2f7101345c1ffa14efb943787c675b86354691a32490845fe4bc9237"
  "libsdl2 2.26.5+dfsg-1 b3f2c822151804125d08db94c65852f711c2e5df2145a59da120748dc32eb9c3 45a0454e18b1bea85960d090e691c39216442610e600a6aec7cc99de525f4158"
  "mpg123 1.31.2-1+deb12u1 b17f22905e31f43b6b401dfdf6a71ed11bb7d056f68db449d70b9f9ae839c7de 9fc7eeeb4be67525fb7901022955b646832f095499612672ad7c24a1b3303599"
  "fftw3 3.3.10-1 56c932549852cddcfafdab3820b0200c7742675be92179e59e6215b340e26467 a19c2fa4eebb123626a8df89387e3437369d234f68799d3b2c0c9fb84b9ca875"
  "glew 2.2.0-4 971e9bd3e3561e2c33cd1722129a1a44186790e93f4a79e843a0dc8bd1fb1db1 c591b4f97a8c4cbbf70d19b50e93798bbf4b0abe133826d929ef0a93cdf14ca4"
  "lame 3.100-6 ddfe36cab873794038ae2c1210557ad34857a4b6bdc515785d1da9e175b1da1e 35c6af528d139737c8beede450ad99fe0c1f1764455d23321038b5c4a2b4574c"
  "googletest 1.12.1-0.2 81964fe578e9bd7c94dfdb09c8e4d6e6759e19967e397dbea48d1c10e45d0df2 03dca2d4c5d2add5afcca67a09c5664b04998ef2063b6bec0cb84563e6eef422"
)

win_host=x86_64-w64-mingw32
win_cc=$win_host-gcc-posix
win_cxx=$win_host-g++-posix
win_ar=$win_host-gcc-ar-posix
win_ranlib=$win_host-gcc-ranlib-posix

# fetch_source PACKAGE VERSION UPSTREAM_SHA DEBIAN_SHA DOWNLOADS SRCDIR: the package's
# upstream tarball, checked, unpacked into SRCDIR with debian/ beside it and Debian's
# patches applied in their order.
fetch_source() {
  local package=$1 version=$2 upstream_sha=$3 debian_sha=$4 downloads=$5 srcdir=$6
  local bare=${version#*:}                    # no epoch in file names
  local upstream_version=${bare%-*}
  local upstream debian
  mkdir -p "$downloads"
  upstream=$(ls "$downloads/${package}_${upstream_version}".orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -n 1 || true)
  debian=$downloads/${package}_${bare}.debian.tar.xz
  if [ -z "$upstream" ] || [ ! -f "$debian" ]; then
    # apt-get fails on a missing upstream signature (.asc) that it does not need: the
    # checksums below are what vouch for the files.
    (cd "$downloads" && apt-get source --download-only -qq "$package=$version" >/dev/null 2>&1) || true
    upstream=$(ls "$downloads/${package}_${upstream_version}".orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -n 1 || true)
  fi
  if [ -z "$upstream" ] || [ ! -f "$debian" ]; then
    echo "build-windows: cannot fetch the source of $package $version from Debian's archive" \
      "(a newer revision may have replaced it: update the pin in scripts/windows-deps.sh)" >&2
    return 1
  fi
  check_sha "$upstream" "$upstream_sha" && check_sha "$debian" "$debian_sha" || return 1
  rm -rf "$srcdir"
  mkdir -p "$srcdir"
  tar xf "$upstream" -C "$srcdir" --strip-components=1
  tar xf "$debian" -C "$srcdir"
  if [ -f "$srcdir/debian/patches/series" ]; then
    local patch
    while read -r patch _; do
      case $patch in ''|'#'*) continue ;; esac
      patch -d "$srcdir" -p1 -s --no-backup-if-mismatch < "$srcdir/debian/patches/$patch"
    done < "$srcdir/debian/patches/series"
  fi
}

check_sha() {
  local actual
  actual=$(sha256sum "$1" | cut -d' ' -f1)
  if [ "$actual" != "$2" ]; then
    echo "build-windows: $(basename "$1") has SHA-256 $actual, the pin says $2" >&2
    return 1
  fi
}

# run_logged LOG COMMAND...: the command's output goes to LOG, shown only if it fails.
run_logged() {
  local log=$1
  shift
  "$@" >>"$log" 2>&1 || { echo "build-windows: failed: $*" >&2; tail -n 40 "$log" >&2; return 1; }
}

# CMake projects, configured for the target with the project's own toolchain file.
cmake_dep() {
  local src=$1 prefix=$2
  shift 2
  run_logged "$src/build.log" cmake -S "$src" -B "$src/_build" \
    -DCMAKE_TOOLCHAIN_FILE="$win_toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" "$@"
  run_logged "$src/build.log" cmake --build "$src/_build" -j"$(nproc)"
  run_logged "$src/build.log" cmake --install "$src/_build"
}

# Autotools projects.
configure_dep() {
  local src=$1 prefix=$2
  shift 2
  (cd "$src" &&
    run_logged build.log ./configure --host=$win_host --prefix="$prefix" --disable-shared \
      --enable-static CC=$win_cc CXX=$win_cxx AR=$win_ar RANLIB=$win_ranlib \
      CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" "$@" &&
    run_logged build.log make -j"$(nproc)" && run_logged build.log make install)
}

build_zlib() {
  local src=$1 prefix=$2 f
  # The Debian tarball has no Windows makefile: the library is these files, nothing more.
  for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast \
    inflate inftrees trees uncompr zutil; do
    $win_cc -O2 -c "$src/$f.c" -o "$src/$f.o"
  done
  $win_ar rcs "$prefix/lib/libz.a" "$src"/*.o
  cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
  cp "$src/LICENSE" "$prefix/licenses/zlib.txt" 2>/dev/null || cp "$src/README" "$prefix/licenses/zlib.txt"
}

build_libpng1.6() {
  configure_dep "$1" "$2"
  cp "$1/LICENSE" "$2/licenses/libpng.txt"
}

build_libjpeg-turbo() {
  cmake_dep "$1" "$2" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
  cp "$1/LICENSE.md" "$2/licenses/libjpeg-turbo.md"
  cp "$1/README.ijg" "$2/licenses/libjpeg-turbo-README.ijg"
}

build_libsdl2() {
  cmake_dep "$1" "$2" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF
  cp "$1/LICENSE.txt" "$2/licenses/SDL2.txt"
}

build_mpg123() {
  configure_dep "$1" "$2" --enable-modules=no --with-audio=dummy --enable-network=no
  cp "$1/COPYING" "$2/licenses/mpg123.txt"
}

build_fftw3() {
  # Single precision (fftw3f), with the SIMD kernels the show's machines have.
  # Windows' malloc() gives no 32-byte alignment for the AVX kernels: FFTW's own does.
  configure_dep "$1" "$2" --enable-float --enable-sse2 --enable-avx --disable-fortran \
    --disable-doc --disable-threads --with-our-malloc
  cp "$1/COPYING" "$2/licenses/fftw3.txt"
}

build_glew() {
  local src=$1 prefix=$2
  # One C file; GLEW_STATIC makes its declarations plain, not dllimport.
  $win_cc -O2 -DGLEW_STATIC -DGLEW_NO_GLU -I"$src/include" -c "$src/src/glew.c" -o "$src/glew.o"
  $win_ar rcs "$prefix/lib/libglew32s.a" "$src/glew.o"
  mkdir -p "$prefix/include/GL"
  cp "$src"/include/GL/glew.h "$src"/include/GL/wglew.h "$prefix/include/GL/"
  cp "$src/LICENSE.txt" "$prefix/licenses/glew.txt"
}

build_lame() {
  # The tests' MP3 fixtures are encoded at run time: for the tests only, not shipped.
  configure_dep "$1" "$2" --disable-frontend --disable-decoder
}

build_googletest() {
  # For the tests only: it is not shipped, so it brings no licence into the zip.
  cmake_dep "$1" "$2" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=ON
}

# build_windows_deps PREFIX WORKDIR: every pinned library into PREFIX.
build_windows_deps() {
  local prefix=$1 work=$2 pin package version upstream_sha debian_sha
  mkdir -p "$prefix/lib" "$prefix/include" "$prefix/licenses" "$work"
  for pin in "${windows_pins[@]}"; do
    read -r package version upstream_sha debian_sha <<<"$pin"
    echo "== windows dependency: $package $version"
    fetch_source "$package" "$version" "$upstream_sha" "$debian_sha" "$work/downloads" \
      "$work/$package"
    "build_$package" "$work/$package" "$prefix"
  done
}
