#include "app/Window.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Fatal.h"
#include "app/VirtualKeys.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

GlWindow* glWindow = nullptr;

namespace {
bool videoReady = false;
int resizedTo[2] = {0, 0};  // the size last handed to onResize

void setContextAttributes(const GlWindow& record) {
  // 8 bits per colour channel in a 32-bit pixel, no alpha, 16-bit depth, no stencil.
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_BUFFER_SIZE, record.colourBits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
#ifndef __EMSCRIPTEN__
  // Immediate mode, the fixed-function pipeline and ARB_shader_objects: compatibility.
  // (In the browser they are Emscripten's emulation over WebGL, which takes no profile.)
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
#endif
}

const char kModeSwitchFailed[] = "Mode Switch Failed.\nRunning In Windowed Mode.";

#ifndef __EMSCRIPTEN__
// Full screen counts only when the window really covers 1024 x 768 at full screen.
bool fullscreenAsAsked(SDL_Window* window, int width, int height) {
  if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN)) return false;
  int w = 0;
  int h = 0;
  SDL_GL_GetDrawableSize(window, &w, &h);
  return w == width && h == height;
}
#endif

void releaseWindow(GlWindow& record) {
  if (record.glContext) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(record.glContext));
  if (record.window) SDL_DestroyWindow(static_cast<SDL_Window*>(record.window));
  record.glContext = nullptr;
  record.window = nullptr;
}

#ifndef __EMSCRIPTEN__
// The windowed fallback is width x height frame included; borders (none without a window
// manager) may be reported only once the window is mapped, so they are asked after a show.
void fitFrameInside(SDL_Window* window, int width, int height) {
  int top = 0;
  int left = 0;
  int bottom = 0;
  int right = 0;
  SDL_ShowWindow(window);
  if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0) return;
  if (top + bottom == 0 && left + right == 0) return;
  SDL_SetWindowSize(window, width - left - right, height - top - bottom);
  SDL_SetWindowPosition(window, left, top);
}
#endif

// Without a display SDL settles on its offscreen driver and the show would play to nobody;
// only a driver asked for by name may be one without a screen.
bool hasScreen() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || SDL_getenv("SDL_VIDEODRIVER")) return true;
  return std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

// At exit: puts the display mode back (SDL_Quit) after the GL work in flight has finished
// (Mesa's software rasteriser can deadlock tearing down mid-frame). Only on status 0: Xlib
// exits with 1 when the X server has gone, and SDL_Quit would wait forever for it.
void closeVideoAtExit(int status, void*) {
  if (status != 0) return;
  if (glWindow && glWindow->glContext) glFinish();
  SDL_Quit();
}

// Once a window exists: neither the screen saver nor monitor power-down may start while the
// show runs, and every way out being exit(), the desktop's display mode is put back on the
// way. Registered before the sound device's handler, so it runs after it.
bool guardDisplay() {
  SDL_DisableScreenSaver();
#ifdef __GLIBC__
  on_exit(closeVideoAtExit, nullptr);
#else
  // Windows has no on_exit(), and no X server that could have gone away.
  std::atexit([] { closeVideoAtExit(0, nullptr); });
#endif
  return true;
}
}  // namespace

bool registerWindowClass() {
  if (videoReady) return true;
#ifdef _WIN32
  // The window class "OpenGL": CS_HREDRAW 0x2 | CS_VREDRAW 0x1 | CS_OWNDC 0x20.
  if (SDL_RegisterApp("OpenGL", 0x2 | 0x1 | 0x20, nullptr) != 0) {
    showErrorMessageBox("RegisterClassEx Failed!");
    return false;
  }
#endif
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "lumorakdemo: %s\n", SDL_GetError());
    showErrorMessageBox("RegisterClassEx Failed!");
    return false;
  }
  videoReady = true;
  return true;
}

bool createGlWindow(GlWindow& record) {
  if (!registerWindowClass()) return false;
  if (!record.hidden && !hasScreen()) {
    std::fprintf(stderr, "lumorakdemo: no display to show the window on (set DISPLAY)\n");
    // Nor a box: SDL would fork a helper for it, and a fork while the music's decoder
    // allocates can hang the child (AddressSanitizer's allocator is not fork-safe).
    setMessageBoxOwner(nullptr, false);
    return false;
  }
  setContextAttributes(record);
  auto create = [&record](uint32_t flags) {
    const int at = record.hidden ? SDL_WINDOWPOS_UNDEFINED : 0;
    return SDL_CreateWindow(record.title.c_str(), at, at, record.width, record.height,
                            SDL_WINDOW_OPENGL | flags);
  };
  SDL_Window* window = nullptr;
#ifdef __EMSCRIPTEN__
  // The window is the page's canvas, 1024 x 768, which the page scales to fit at 4:3. Full
  // screen is the page's too: the click that starts the show asks for it, and the page
  // tells here whether the browser refused (then the box, as on a desktop).
  if (record.hidden) record.fullscreen = false;
  if (record.fullscreen && EM_ASM_INT({ return Module.fullscreenRefused ? 1 : 0; })) {
    showErrorMessageBox(kModeSwitchFailed);
    record.fullscreen = false;
  }
  window = create(0);
#else
  if (record.hidden) {
    record.fullscreen = false;
    window = create(SDL_WINDOW_HIDDEN);
  } else if (record.fullscreen) {
    window = create(SDL_WINDOW_FULLSCREEN);
    if (window && fullscreenAsAsked(window, record.width, record.height)) {
      SDL_ShowCursor(SDL_DISABLE);
    } else {
      if (window) SDL_DestroyWindow(window);
      window = nullptr;
      showErrorMessageBox(kModeSwitchFailed);
      record.fullscreen = false;
    }
  }
  if (!window && !record.hidden) {
    window = create(SDL_WINDOW_RESIZABLE);
    if (window) fitFrameInside(window, record.width, record.height);
  }
#endif
  if (!window) {
    std::fprintf(stderr, "lumorakdemo: %s\n", SDL_GetError());
    return false;
  }
  record.window = window;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  record.glContext = context;
  if (!context || SDL_GL_MakeCurrent(window, context) != 0) {
    std::fprintf(stderr, "lumorakdemo: %s\n", SDL_GetError());
    releaseWindow(record);
    return false;
  }
  if (!record.hidden) SDL_ShowWindow(window);
  glWindow = &record;
  [[maybe_unused]] static const bool guarded = guardDisplay();
  setMessageBoxOwner(window, !record.hidden);
  if (record.handlers.resize) record.handlers.resize(record.width, record.height);
  // The resize above stands for SDL's later creation-size event (a second one would switch
  // the start-up projection's near plane to 1.0).
  SDL_PumpEvents();
  SDL_FlushEvent(SDL_WINDOWEVENT);
  resizedTo[0] = record.width;
  resizedTo[1] = record.height;
  return true;
}

#ifdef __EMSCRIPTEN__
// The page's full-screen request, made at the click, was refused after the show started.
extern "C" EMSCRIPTEN_KEEPALIVE void lumorakFullscreenRefused() {
  if (glWindow && glWindow->fullscreen) {
    glWindow->fullscreen = false;
    showErrorMessageBox(kModeSwitchFailed);
  }
}
#endif

void offerSavedFile(const std::string& path) {
#ifdef __EMSCRIPTEN__
  // The page's files live in memory: the browser saves the file as a download.
  EM_ASM(
      {
        if (Module.offerDownload) Module.offerDownload(UTF8ToString($0));
      },
      path.c_str());
#else
  (void)path;  // already where the user looks for it
#endif
}

void presentFrame() {
  if (glWindow && glWindow->window) SDL_GL_SwapWindow(static_cast<SDL_Window*>(glWindow->window));
}

void setSwapInterval(int interval) { SDL_GL_SetSwapInterval(interval); }

int virtualKeyFromSdl(int key, bool numLock) {
  if (!numLock) {
    // Without NumLock the keypad is a second set of navigation keys.
    switch (key) {
      case SDLK_KP_0: return vk::kInsert;
      case SDLK_KP_1: return vk::kEnd;
      case SDLK_KP_2: return vk::kDown;
      case SDLK_KP_3: return vk::kPageDown;
      case SDLK_KP_4: return vk::kLeft;
      case SDLK_KP_6: return vk::kRight;
      case SDLK_KP_7: return vk::kHome;
      case SDLK_KP_8: return vk::kUp;
      case SDLK_KP_9: return vk::kPageUp;
      case SDLK_KP_PERIOD: return vk::kDelete;
      default: break;
    }
  }
  if (key >= SDLK_a && key <= SDLK_z) return vk::kKeyA + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return vk::kDigit0 + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return vk::kF1 + (key - SDLK_F1);
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return vk::kKeypad1 + (key - SDLK_KP_1);
  switch (key) {
    case SDLK_BACKSPACE: return vk::kBackspace;
    case SDLK_TAB: return vk::kTab;
    case SDLK_RETURN: return vk::kReturn;
    case SDLK_KP_ENTER: return vk::kReturn;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return vk::kShift;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return vk::kControl;
    case SDLK_PAUSE: return vk::kPause;
    case SDLK_CAPSLOCK: return vk::kCapsLock;
    case SDLK_ESCAPE: return vk::kEscape;
    case SDLK_SPACE: return vk::kSpace;
    case SDLK_PAGEUP: return vk::kPageUp;
    case SDLK_PAGEDOWN: return vk::kPageDown;
    case SDLK_END: return vk::kEnd;
    case SDLK_HOME: return vk::kHome;
    case SDLK_LEFT: return vk::kLeft;
    case SDLK_UP: return vk::kUp;
    case SDLK_RIGHT: return vk::kRight;
    case SDLK_DOWN: return vk::kDown;
    case SDLK_PRINTSCREEN: return vk::kPrintScreen;
    case SDLK_INSERT: return vk::kInsert;
    case SDLK_DELETE: return vk::kDelete;
    case SDLK_KP_0: return vk::kKeypad0;
    case SDLK_KP_MULTIPLY: return vk::kKeypadMultiply;
    case SDLK_KP_PLUS: return vk::kKeypadPlus;
    case SDLK_KP_MINUS: return vk::kKeypadMinus;
    case SDLK_KP_PERIOD: return vk::kKeypadPoint;
    case SDLK_KP_DIVIDE: return vk::kKeypadDivide;
    case SDLK_NUMLOCKCLEAR: return vk::kNumLock;
    case SDLK_SCROLLLOCK: return vk::kScrollLock;
    case SDLK_SEMICOLON: return vk::kSemicolon;
    case SDLK_EQUALS: return vk::kEquals;
    case SDLK_COMMA: return vk::kComma;
    case SDLK_MINUS: return vk::kMinus;
    case SDLK_PERIOD: return vk::kPeriod;
    case SDLK_SLASH: return vk::kSlash;
    case SDLK_BACKQUOTE: return vk::kBackquote;
    case SDLK_LEFTBRACKET: return vk::kLeftBracket;
    case SDLK_BACKSLASH: return vk::kBackslash;
    case SDLK_RIGHTBRACKET: return vk::kRightBracket;
    case SDLK_QUOTE: return vk::kQuote;
    default: return -1;
  }
}

int mouseFlagsFromSdl(uint32_t buttons, uint32_t mods) {
  int flags = 0;
  if (buttons & SDL_BUTTON_LMASK) flags |= 1;
  if (buttons & SDL_BUTTON_RMASK) flags |= 2;
  if (mods & KMOD_SHIFT) flags |= 4;
  if (mods & KMOD_CTRL) flags |= 8;
  if (buttons & SDL_BUTTON_MMASK) flags |= 16;
  return flags;
}

namespace {
void windowProc(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE: std::exit(0);
        case SDL_WINDOWEVENT_RESIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED: {
          if (!glWindow) break;
          SDL_Window* window = static_cast<SDL_Window*>(glWindow->window);
          if (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) break;
          int w = 0;
          int h = 0;
          SDL_GL_GetDrawableSize(window, &w, &h);
          // Size notices that repeat the current size are not resizes; restores are.
          const bool restored = event.window.event == SDL_WINDOWEVENT_RESTORED ||
                                event.window.event == SDL_WINDOWEVENT_MAXIMIZED;
          if (!restored && w == resizedTo[0] && h == resizedTo[1]) break;
          resizedTo[0] = w;
          resizedTo[1] = h;
          if (glWindow->handlers.resize) glWindow->handlers.resize(w, h);
          break;
        }
        default: break;  // minimised and the rest: nothing
      }
      break;
    case SDL_KEYDOWN: {
      // Alt combinations and F10 are system keys and never reach the controls.
      if (event.key.keysym.mod & KMOD_ALT) break;
      int code = virtualKeyFromSdl(event.key.keysym.sym, event.key.keysym.mod & KMOD_NUM);
      if (code == vk::kF10) break;
      if (code >= 0 && code <= 255 && glWindow && glWindow->handlers.keyDown) {
        glWindow->handlers.keyDown(code);
      }
      break;
    }
    case SDL_MOUSEMOTION:
      // A mouse message packs each coordinate in 16 bits, x read unsigned and y signed: a
      // drag past the left edge reads as a large x (65535 at -1), past the top as negative.
      if (glWindow && glWindow->handlers.mouseMove) {
        glWindow->handlers.mouseMove(mouseFlagsFromSdl(event.motion.state, SDL_GetModState()),
                                     static_cast<uint16_t>(event.motion.x),
                                     static_cast<int16_t>(event.motion.y));
      }
      break;
    default: break;
  }
}
}  // namespace

bool pumpMessages() {
  bool quit = false;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    if (event.type == SDL_QUIT) {
      quit = true;
      continue;
    }
    windowProc(event);
  }
  return !quit;
}
