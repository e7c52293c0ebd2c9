// Whether a stream ends on a terminal that redraws a line in place: "\r" back to its start,
// "\033[K" to clear the rest. The progress bar is drawn only there (elsewhere it prints
// plain lines), and the fatal reporter clears a half-drawn bar only there.
//
// Header-only: the offline library (the bar) and the command-line library (the reporter)
// share it without linking each other.
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
  // A console, with its escape sequences switched on (Windows 10 and later take them).
  // _isatty() alone is no test: it is true of the NUL device too. A console that refuses
  // the sequences would print them: it gets plain lines.
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}
