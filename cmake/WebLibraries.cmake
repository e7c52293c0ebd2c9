# The browser build (scripts/build-web.sh, with Emscripten) links static wasm libraries,
# built from Debian's sources into $LUMORAK_WEB_PREFIX, under the target names the Linux
# build gets from pkg-config and CMake's find modules. GL, GLU and GLEW are Emscripten's:
# its legacy-GL emulation over WebGL 1, with the gaps filled by src/render/GlCompat.
if(NOT DEFINED ENV{LUMORAK_WEB_PREFIX})
  message(FATAL_ERROR "The browser build is made by scripts/build-web.sh, which builds "
    "the libraries it links and names their folder in LUMORAK_WEB_PREFIX")
endif()
set(LUMORAK_WEB_PREFIX $ENV{LUMORAK_WEB_PREFIX})

function(lumorak_web_library target)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set(files)
  foreach(name ${ARGN})
    list(APPEND files ${LUMORAK_WEB_PREFIX}/lib/lib${name}.a)
  endforeach()
  target_include_directories(${target} INTERFACE ${LUMORAK_WEB_PREFIX}/include)
  target_link_libraries(${target} INTERFACE ${files})
endfunction()

lumorak_web_library(PkgConfig::SDL2 SDL2)
lumorak_web_library(PkgConfig::MPG123 mpg123)
lumorak_web_library(PkgConfig::FFTW3F fftw3f)
lumorak_web_library(ZLIB::ZLIB z)
lumorak_web_library(PNG::PNG png16)
target_link_libraries(PNG::PNG INTERFACE ZLIB::ZLIB)
lumorak_web_library(JPEG::JPEG jpeg)
foreach(target GLEW::GLEW OpenGL::GL OpenGL::GLU Threads::Threads)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
endforeach()

# Every C++ file sees the gap filler's renames (GlCompat.cpp itself calls the emulation).
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${PROJECT_SOURCE_DIR}/src/render/GlCompat.h>")
set_source_files_properties(${PROJECT_SOURCE_DIR}/src/render/GlCompat.cpp
  PROPERTIES COMPILE_DEFINITIONS LUMORAK_GL_COMPAT_IMPL)

# What the page's programs link with: the legacy-GL emulation on WebGL 1 (depth textures
# come with WEBGL_depth_texture, which Emscripten turns on), a heap that grows (the
# decoded music is 26 MB), exit() that ends the runtime (the page learns of the end through
# Module.onExit), main() called by the page, the file system that the data package
# (lumorakdemo.data, made by packaging/web) fills, and SDL's audio's helpers.
set(LUMORAK_WEB_LINK_OPTIONS
  -sLEGACY_GL_EMULATION=1 -sMAX_WEBGL_VERSION=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1
  -sINVOKE_RUN=0 -sENVIRONMENT=web -sFORCE_FILESYSTEM=1 "-sEXPORTED_RUNTIME_METHODS=['callMain','FS']"
  # (SDL's audio helpers come from a file: CMake's link rule would double a '$' on the
# command line.)
  -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${PROJECT_SOURCE_DIR}/cmake/web-library-funcs.json)
