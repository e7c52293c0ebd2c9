# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix-threads flavour, so
# that std::thread and std::mutex work). scripts/build-windows.sh passes this file, and
# LUMORAK_WIN_PREFIX, the folder its dependencies were built into.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(LUMORAK_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LUMORAK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMORAK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${LUMORAK_MINGW}-windres)
set(CMAKE_AR ${LUMORAK_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${LUMORAK_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

# Headers and libraries of the target only: the dependencies' prefix and mingw's own.
set(CMAKE_FIND_ROOT_PATH /usr/${LUMORAK_MINGW})
if(DEFINED ENV{LUMORAK_WIN_PREFIX})
  list(PREPEND CMAKE_FIND_ROOT_PATH $ENV{LUMORAK_WIN_PREFIX})
  set(ENV{PKG_CONFIG_LIBDIR} $ENV{LUMORAK_WIN_PREFIX}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and tools built here run under Wine.
find_program(LUMORAK_WINE NAMES wine wine64)
if(LUMORAK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMORAK_WINE})
endif()
