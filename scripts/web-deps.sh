# Sourced by scripts/build-web.sh: the libraries the browser build links, built with
# Emscripten from the same pinned Debian 12 source packages as the Windows build
# (scripts/windows-deps.sh holds the pins and their checksums), into a prefix of static
# wasm libraries. Emscripten's ports download at build time and Debian freezes their
# cache, so none is used. Everything is single-threaded: the page runs without threads.
#
# A changed line here or in windows-deps.sh changes the cache key (build-web.sh hashes both).

. "$(dirname "${BASH_SOURCE[0]}")/windows-deps.sh"

web_libraries=(zlib libpng1.6 libjpeg-turbo libsdl2 mpg123 fftw3)

web_cflags="-O2"

web_run_logged() {
  local log=$1
  shift
  "$@" >>"$log" 2>&1 || { echo "build-web: failed: $*" >&2; tail -n 40 "$log" >&2; return 1; }
}

# Autotools projects. configure needs a host, or it tries to run what it compiles; mpg123's
# config.sub knows no *-emscripten, so the host is plain wasm32.
web_configure_dep() {
  local src=$1 prefix=$2 host=$3
  shift 3
  (cd "$src" &&
    web_run_logged build.log emconfigure ./configure --host="$host" --prefix="$prefix" \
      --disable-shared --enable-static CFLAGS="$web_cflags" \
      CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" "$@" &&
    web_run_logged build.log emmake make -j"$(nproc)" && web_run_logged build.log emmake make install)
}

web_cmake_dep() {
  local src=$1 prefix=$2
  shift 2
  web_run_logged "$src/build.log" emcmake cmake -S "$src" -B "$src/_build" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" "$@"
  web_run_logged "$src/build.log" cmake --build "$src/_build" -j"$(nproc)"
  web_run_logged "$src/build.log" cmake --install "$src/_build"
}

web_build_zlib() {
  local src=$1 prefix=$2 f
  # The library is these files; the gz* ones need unistd.h, which Emscripten has.
  for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast \
    inflate inftrees trees uncompr zutil; do
    emcc $web_cflags -DHAVE_UNISTD_H -c "$src/$f.c" -o "$src/$f.o"
  done
  emar rcs "$prefix/lib/libz.a" "$src"/*.o
  cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
  cp "$src/LICENSE" "$prefix/licenses/zlib.txt" 2>/dev/null || cp "$src/README" "$prefix/licenses/zlib.txt"
}

web_build_libpng1.6() {
  web_configure_dep "$1" "$2" wasm32-unknown-emscripten
  cp "$1/LICENSE" "$2/licenses/libpng.txt"
}

web_build_libjpeg-turbo() {
  local src=$1 prefix=$2
  web_run_logged "$src/build.log" emcmake cmake -S "$src" -B "$src/_build" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_SHARED=OFF \
    -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
  # Under emcmake the size_t probe reads 9 (it measures a file Emscripten pads); wasm32's
  # size_t is 4 bytes, and the Huffman coder's bit buffer is sized from it.
  sed -i 's/^#define SIZEOF_SIZE_T .*/#define SIZEOF_SIZE_T  4/' "$src/_build/jconfigint.h"
  grep -q '^#define SIZEOF_SIZE_T  4$' "$src/_build/jconfigint.h"
  web_run_logged "$src/build.log" cmake --build "$src/_build" -j"$(nproc)"
  web_run_logged "$src/build.log" cmake --install "$src/_build"
  cp "$src/LICENSE.md" "$prefix/licenses/libjpeg-turbo.md"
  cp "$src/README.ijg" "$prefix/licenses/libjpeg-turbo-README.ijg"
}

web_build_libsdl2() {
  web_cmake_dep "$1" "$2" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_THREADS=OFF
  cp "$1/LICENSE.txt" "$2/licenses/SDL2.txt"
}

web_build_mpg123() {
  web_configure_dep "$1" "$2" wasm32-unknown-linux --with-cpu=generic_fpu --enable-modules=no \
    --with-audio=dummy --enable-network=no
  cp "$1/COPYING" "$2/licenses/mpg123.txt"
}

web_build_fftw3() {
  # Single precision; wasm has no SIMD kernels here.
  web_configure_dep "$1" "$2" wasm32-unknown-linux --enable-float --disable-fortran \
    --disable-doc --disable-threads
  cp "$1/COPYING" "$2/licenses/fftw3.txt"
}

# build_web_deps PREFIX WORKDIR: every library the page links, into PREFIX.
build_web_deps() {
  local prefix=$1 work=$2 pin package version upstream_sha debian_sha wanted
  mkdir -p "$prefix/lib" "$prefix/include" "$prefix/licenses" "$work"
  for wanted in "${web_libraries[@]}"; do
    for pin in "${windows_pins[@]}"; do
      read -r package version upstream_sha debian_sha <<<"$pin"
      [ "$package" = "$wanted" ] || continue
      echo "== web dependency: $package $version"
      fetch_source "$package" "$version" "$upstream_sha" "$debian_sha" "$work/downloads" \
        "$work/$package"
      "web_build_$package" "$work/$package" "$prefix"
    done
  done
}
