// Fatal error reporting: the one way a failure of data or resources ends the show.
//
// fatalError() formats printf-style (the whole text, however long: shader logs run past
// 512 characters), hands it to the installed reporter and never returns. The default
// reporter shows it (showErrorMessageBox) and exits with 0. Tests install a reporter that
// records the text and throws, so fatal paths run in-process with their exact message.
#pragma once

#include <cstdarg>
#include <string>

using FatalReporter = void (*)(const char* message);

[[noreturn]] void fatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes `text` to stderr, then shows it in a message box titled "Error" (warning icon,
// owned by the window once it exists); no box without a display or for a hidden window.
void showErrorMessageBox(const char* text);
// The window that owns the boxes (an SDL_Window*), and whether boxes are shown at all.
void setMessageBoxOwner(void* window, bool interactive);
[[noreturn]] void fatalErrorV(const char* format, va_list args);
// printf into a string, however long (fatalError's own formatting).
std::string formatText(const char* format, va_list args);

// Installs a reporter (null: the default); returns the previous one. A reporter that
// returns is followed by exit(0).
FatalReporter setFatalReporter(FatalReporter reporter);

// The reporter installed at start: stderr, message box, exit(0).
void defaultFatalReporter(const char* message);
