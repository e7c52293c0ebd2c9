#include "app/Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <SDL2/SDL.h>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace {
FatalReporter currentReporter = defaultFatalReporter;
SDL_Window* boxOwner = nullptr;
bool boxesEnabled = true;
}  // namespace

void setMessageBoxOwner(void* window, bool interactive) {
  boxOwner = static_cast<SDL_Window*>(window);
  boxesEnabled = interactive;
}

void showErrorMessageBox(const char* text) {
  // The terminal gets every box's text too: without a display it is the only trace.
  std::fprintf(stderr, "%s\n", text);
  if (!boxesEnabled) return;  // off-screen runs have nobody to click the box
#ifdef __EMSCRIPTEN__
  // SDL's box in a browser is alert(), which blocks the page: the page shows the text over
  // the canvas instead.
  EM_ASM(
      {
        if (Module.showMessage) Module.showMessage(UTF8ToString($0));
      },
      text);
  return;
#endif
  // Fails quietly without a display; the text is on stderr already.
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, "Error", text, boxOwner);
}

void defaultFatalReporter(const char* message) {
  showErrorMessageBox(message);  // writes the message to stderr first
  std::exit(0);
}

FatalReporter setFatalReporter(FatalReporter reporter) {
  FatalReporter previous = currentReporter;
  currentReporter = reporter ? reporter : defaultFatalReporter;
  return previous;
}

std::string formatText(const char* format, va_list args) {
  // Measure first, then format the whole message: compile logs can be 1023 characters.
  va_list measure;
  va_copy(measure, args);
  int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

void fatalErrorV(const char* format, va_list args) {
  currentReporter(formatText(format, args).c_str());
  std::exit(0);
}

void fatalError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fatalErrorV(format, args);
}
