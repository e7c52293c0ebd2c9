# The Windows build links static libraries, built from Debian's sources by
# scripts/build-windows.sh into $LUMORAK_WIN_PREFIX, under the target names the Linux
# build gets from pkg-config and CMake's find modules. Everything links statically, the
# C and C++ runtimes included, so that the exe needs nothing but Windows' own DLLs.
if(NOT DEFINED ENV{LUMORAK_WIN_PREFIX})
  message(FATAL_ERROR "The Windows build is made by scripts/build-windows.sh, which builds "
    "the libraries it links and names their folder in LUMORAK_WIN_PREFIX")
endif()
set(LUMORAK_WIN_PREFIX $ENV{LUMORAK_WIN_PREFIX})

# A pkg-config module with its static link line (Libs.private included). SDL2's own entry
# point (SDL2main, and main() renamed to SDL_main()) stays out: the show's main() is the
# program's entry, as on Linux.
function(lumorak_static_module target module)
  pkg_check_modules(_${target} REQUIRED ${module})
  set(libs ${_${target}_STATIC_LDFLAGS})
  list(REMOVE_ITEM libs -lSDL2main -mwindows -lmingw32)
  set(flags ${_${target}_STATIC_CFLAGS_OTHER})
  list(REMOVE_ITEM flags -Dmain=SDL_main)
  add_library(PkgConfig::${target} INTERFACE IMPORTED GLOBAL)
  target_include_directories(PkgConfig::${target} INTERFACE ${_${target}_STATIC_INCLUDE_DIRS})
  target_compile_options(PkgConfig::${target} INTERFACE ${flags})
  target_link_libraries(PkgConfig::${target} INTERFACE ${libs})
endfunction()

lumorak_static_module(SDL2 sdl2)
target_compile_definitions(PkgConfig::SDL2 INTERFACE SDL_MAIN_HANDLED)
lumorak_static_module(MPG123 libmpg123)
lumorak_static_module(FFTW3F fftw3f)
# GLEW as one static library; CMake's FindGLEW looks for Visual C++ names only.
find_library(LUMORAK_GLEW glew32s REQUIRED)
add_library(GLEW::GLEW STATIC IMPORTED GLOBAL)
set_target_properties(GLEW::GLEW PROPERTIES IMPORTED_LOCATION ${LUMORAK_GLEW}
  INTERFACE_INCLUDE_DIRECTORIES ${LUMORAK_WIN_PREFIX}/include
  INTERFACE_COMPILE_DEFINITIONS GLEW_STATIC)

# The tests' MP3 fixtures (tests/Mp3Fixture.cpp) encode with LAME.
find_library(LUMORAK_MP3LAME mp3lame)
if(LUMORAK_MP3LAME)
  add_library(mp3lame UNKNOWN IMPORTED GLOBAL)
  set_target_properties(mp3lame PROPERTIES IMPORTED_LOCATION ${LUMORAK_MP3LAME}
    INTERFACE_INCLUDE_DIRECTORIES ${LUMORAK_WIN_PREFIX}/include)
endif()

add_link_options(-static)
# <windows.h> without min/max macros, and without the parts nothing here uses.
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN)
