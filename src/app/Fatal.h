// Fatal error reporting: the one way a failure of data or resources ends the show.
//
// fatalError() formats printf-style, hands the text to the installed reporter and never
// returns. The default reporter writes the text to stderr, shows it in a message box
// titled "Error" (warning icon, owned by the show's window once it exists) and ends the
// process with exit(0). Tests install a reporter that records the text and throws, so
// fatal paths run in-process with their exact message.
//
// DOES NOT: truncate long messages (shader logs run past 512 characters; the whole text
// is formatted), or offer any recovery to the caller.
#pragma once

#include <cstdarg>

using FatalReporter = void (*)(const char* message);

[[noreturn]] void fatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes `text` to stderr, then shows it in a message box titled "Error" with the warning
// icon, owned by the window once it exists; the box is skipped without a display or for a
// hidden window. The default reporter and the show's start-up failures use it.
void showErrorMessageBox(const char* text);
// The window that owns the boxes (an SDL_Window*), and whether boxes are shown at all.
void setMessageBoxOwner(void* window, bool interactive);
[[noreturn]] void fatalErrorV(const char* format, va_list args);

// Installs a reporter; returns the previous one. A reporter that returns normally is
// followed by exit(0), so fatalError() never returns either way.
FatalReporter setFatalReporter(FatalReporter reporter);

// The reporter installed at start: stderr, message box, exit(0).
void defaultFatalReporter(const char* message);
