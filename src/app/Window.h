// The window layer, on SDL2: one window with a double-buffered compatibility-profile
// OpenGL context (32-bit colour, 16-bit depth, no stencil), full screen 1024 x 768 when the
// display really gives that, else a window after "Mode Switch Failed.\nRunning In Windowed
// Mode.". Events reach the record's handlers: key-downs (auto-repeat included) as Windows
// virtual-key codes (app/VirtualKeys.h), mouse motion with flag bits, resizes as the new
// drawable size; close is exit(0). Once a window exists the screen saver is inhibited and
// an exit handler puts the desktop's display mode back. In the browser the window is the
// page's canvas and full screen is the page's (see packaging/web).
//
// Calls: registerWindowClass(), createGlWindow(), then pumpMessages() and presentFrame()
// once per frame. The error message box is beside fatalError (app/Fatal.h).
#pragma once

#include <cstdint>
#include <string>

// What the window layer calls; null members are skipped.
struct WindowHandlers {
  void (*resize)(int width, int height) = nullptr;  // also once from createGlWindow
  void (*keyDown)(int virtualKey) = nullptr;        // 0..255
  void (*mouseMove)(int flags, int x, int y) = nullptr;
};

struct GlWindow {
  void* window = nullptr;     // SDL_Window*
  void* glContext = nullptr;  // SDL_GLContext
  std::string title = "Lumorakdemo";
  int32_t width = 1024;
  int32_t height = 768;
  uint8_t colourBits = 32;
  bool fullscreen = true;
  bool hidden = false;  // off-screen rendering (tests, capture): never shown, never full screen
  WindowHandlers handlers;
};

extern GlWindow* glWindow;  // the show's window once created

// The window class: on Windows the class "OpenGL" that SDL's windows take, and everywhere
// SDL's video system, which makes every window. False after the box "RegisterClassEx Failed!".
bool registerWindowClass();
// True and the context current on success; false with everything released otherwise.
bool createGlWindow(GlWindow& record);
// Dispatches every pending event without waiting; false when a quit message was seen.
bool pumpMessages();
void presentFrame();
void setSwapInterval(int interval);
// A file the show has just written for the user (a saved frame): in the browser, where
// files live in the page's memory, it becomes a download if it exists; elsewhere nothing
// is needed.
void offerSavedFile(const std::string& path);

// Windows virtual-key code for an SDL key code, or -1 for a key the show does not know.
// Without NumLock the keypad digits are the navigation keys.
int virtualKeyFromSdl(int sdlKeycode, bool numLock = true);
// onMouseMove flag bits (left 1, right 2, Shift 4, Ctrl 8, middle 16).
int mouseFlagsFromSdl(uint32_t buttonState, uint32_t modState);
