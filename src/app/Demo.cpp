#include "app/Demo.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cstdlib>

#include "MaterialManager.h"
#include "app/Capture.h"
#include "app/Controls.h"
#include "app/Fatal.h"
#include "app/Globals.h"
#include "app/LoadingPicture.h"
#include "app/Window.h"
#include "audio/MusicData.h"
#include "resources/StartupTimes.h"
#include "scenes/SceneAssets.h"
#include "scenes/Timeline.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace {
GlWindow showWindow;

// One start-up step charged to `step`, then the loading picture (charged to its own step).
void loadingStep(StartupStep step, void (*load)()) {
  StartupSpan span(step);
  load();
  span.end();
  showLoadingPicture();
}
}  // namespace

StartFailure startShow(const ShowStart& how) {
  StartupSpan windowSpan(StartupStep::kWindow);
  // SDL's start may fork a helper (D-Bus autolaunch): before any thread of ours exists, as
  // a fork while another thread allocates can hang AddressSanitizer's allocator.
  if (!registerWindowClass()) return StartFailure::kVideo;
  // Creating the window mostly waits on the window system: the music decodes meanwhile.
  prefetchMusic(kMusicFile);
  screenWidth = 1024;
  screenHeight = 768;
  // The record's defaults are the show's window: "Lumorakdemo", 1024 x 768, 32-bit colour.
  showWindow.fullscreen = true;  // a failed earlier start may have cleared it
  showWindow.hidden = how.hidden;
  showWindow.handlers.resize = onResize;
  showWindow.handlers.keyDown = onKeyDown;
  showWindow.handlers.mouseMove = onMouseMove;
  if (!createGlWindow(showWindow)) return StartFailure::kWindow;
  windowSpan.end();
  if (how.sound) musicStream.setBackend(how.sound);
  initDemo();

  // The music starts only now, so demo time 0 is the first rendered frame.
  StartupSpan musicSpan(StartupStep::kMusic);
  musicStream.open(kMusicFile);
  musicStream.play();
  musicSpan.end();
  return StartFailure::kNone;
}

int runShow() {
  switch (startShow(ShowStart{})) {
    case StartFailure::kNone: break;
    case StartFailure::kVideo: showErrorMessageBox("Error Registering Window Class!"); return -1;
    case StartFailure::kWindow: showErrorMessageBox("Error creating window!"); return -1;
  }
#ifdef __EMSCRIPTEN__
  // The browser calls one pass per animation frame; this call does not return.
  emscripten_set_main_loop(
      [] {
        if (!showFrame()) std::exit(0);
      },
      0, 1);
#endif
  while (showFrame()) continue;
  std::exit(0);
}

#ifdef __EMSCRIPTEN__
// For the page and its tests: the show's own time, the seconds a start-up step took (the
// window step holds the music's decode), and a key pressed from a page button.
extern "C" EMSCRIPTEN_KEEPALIVE double lumorakShowTime() { return demoSystem.clock.time(); }
extern "C" EMSCRIPTEN_KEEPALIVE double lumorakStartupSeconds(int step) {
  if (step < 0 || step >= static_cast<int>(StartupStep::kCount)) return -1.0;
  return startupSeconds(static_cast<StartupStep>(step));
}
// Every way out of the show is exit(), as on a desktop, but the main loop keeps the page's
// runtime alive past it. The page then calls this (from Module.quit): the loop stops, the
// exit handlers run (the sound device closes) and the page gets Module.onExit.
extern "C" EMSCRIPTEN_KEEPALIVE void lumorakEndRuntime(int status) {
  emscripten_cancel_main_loop();
  emscripten_force_exit(status);
}
extern "C" EMSCRIPTEN_KEEPALIVE void lumorakPressKey(int virtualKey) {
  if (virtualKey >= 0 && virtualKey <= 255) onKeyDown(virtualKey);
}
#endif

bool showFrame() {
  const bool running = pumpMessages();
  renderFrame();
  presentFrame();
  markShowFrame();
  return running;
}

void initDemo() {
  StartupSpan contextSpan(StartupStep::kWindow);
  GLenum status = glewInit();
  // An EGL context (native Wayland, SDL's offscreen driver) has no GLX display. GLEW has
  // loaded every GL entry point before it looks for one, and the show calls no GLX.
  if (status != GLEW_OK && status != GLEW_ERROR_NO_GLX_DISPLAY) {
    fatalError("Could not init GLEW: %s",
               reinterpret_cast<const char*>(glewGetErrorString(status)));
  }
  if (!GLEW_ARB_shading_language_100) {
    fatalError("Seems that ARB_shading_language_100 is not supported.");
  }
  renderer.setUp();

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, static_cast<double>(screenWidth) / screenHeight, 0.1, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glShadeModel(GL_SMOOTH);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glLineWidth(2.0f);
  // No point size and no colour here: the word scene's stars start at GL's 1 pixel (the
  // tunnel sets 5 for good) and the first frame in the last loading picture's tint.

  renderer.setAspect(4.0f, 3.0f);
  contextSpan.end();
  // The first texture of all: every loading step shows it.
  demoSystem.textures.loadTexture("loading", -1, -1);

  // Each loading picture draws one random number, so their count before initSceneData()
  // (four: the model step has two) fixes the scene tables.
  showLoadingPicture();
  loadingStep(StartupStep::kModel, loadSceneModel);
  showLoadingPicture();
  loadingStep(StartupStep::kTargets, createSceneTargets);
  loadingStep(StartupStep::kSceneData, initSceneData);
  loadingStep(StartupStep::kMaterials, loadMaterials);

  glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
  glClearDepth(1.0);
  setSwapInterval(1);
}

void renderFrame() {
  DemoClock& clock = demoSystem.clock;
  clock.update();
  runTimeline(clock.time(), clock.delta());
  renderer.applyLights();
  glFlush();
  captureFrame();
}

void onResize(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  // Near plane 1.0 here, 0.1 at start-up: the picture after a restore keeps that.
  gluPerspective(90.0, static_cast<double>(width) / (height > 0 ? height : 1), 1.0, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}
