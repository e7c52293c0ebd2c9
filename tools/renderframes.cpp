// Offline, frame-exact rendering of the show: start-up on a hidden window, then frames at
// exact music times through the deterministic sound layer, each saved by the capture
// hook as shots/shotNNNN.png under the working directory (run it from the repository
// root, with a shots/ directory there). Nothing is played; the picture of a time is the
// same on every run and machine.
//
// Usage:
//   renderframes <seconds> [<seconds> ...]       one frame per time, in the order given
//   renderframes --fps <rate> <from> <to>          every frame of [from, to) at that rate
//   renderframes --lead <seconds> ...              also render (unsaved) the frames of the
//                                                  lead-in before each time at 30 fps, so that
//                                                  scenes that build on earlier frames look
//                                                  as they do when played
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Capture.h"
#include "app/Demo.h"
#include "app/Globals.h"
#include "app/Window.h"
#include "audio/Backends.h"

namespace {
ManualAudioBackend sound;

void renderAt(double seconds, bool save) {
  sound.setTimeMs(static_cast<int32_t>(std::lround(seconds * 1000.0)));
  captureRequested = save;
  renderFrame();
  presentFrame();
}

int usage() {
  std::fprintf(stderr,
               "usage: renderframes [--lead <seconds>] <seconds>...\n"
               "       renderframes --fps <rate> <from> <to>\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<double> times;
  double lead = 0.0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fps" && i + 3 < argc) {
      const double rate = std::atof(argv[i + 1]);
      const double from = std::atof(argv[i + 2]);
      const double to = std::atof(argv[i + 3]);
      if (rate <= 0.0 || to < from) return usage();
      for (long frame = 0; from + frame / rate < to; ++frame) times.push_back(from + frame / rate);
      i += 3;
    } else if (arg == "--lead" && i + 1 < argc) {
      lead = std::atof(argv[++i]);
    } else {
      char* end = nullptr;
      const double t = std::strtod(arg.c_str(), &end);
      if (end == arg.c_str() || *end != '\0') return usage();
      times.push_back(t);
    }
  }
  if (times.empty()) return usage();

  static GlWindow window;
  window.hidden = true;
  if (!registerWindowClass() || !createGlWindow(window)) {
    std::fprintf(stderr, "renderframes: no OpenGL window (is DISPLAY set?)\n");
    return 1;
  }
  musicStream.setBackend(&sound);
  initDemo();
  musicStream.open(kMusicFile);
  musicStream.play();
  for (double t : times) {
    for (double before = t - lead; before < t; before += 1.0 / 30.0) renderAt(before, false);
    renderAt(t, true);
    std::printf("%s  t = %.3f s\n", captureFileName(captureCounter - 1).c_str(), t);
  }
  return 0;
}
