// Whether a stream ends on a terminal that redraws a line in place ("\r", "\033[K"): the
// progress bar is drawn, and cleared by the fatal reporter, only there. Header-only: the
// offline and command-line libraries share it without linking each other.
#pragma once

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

inline bool redrawsInPlace(std::FILE* stream) {
#ifdef _WIN32
  // A console, with its escape sequences switched on (Windows 10 and later take them);
  // _isatty() is true of the NUL device too.
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}
