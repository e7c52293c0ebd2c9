// Offline, frame-exact rendering of the show into shots/shotNNNN.png (run it from the
// repository root, with a shots/ directory there). Each frame is the one a playthrough at
// 60 frames per second draws at that music time: the earlier frames it builds on are
// rendered first, unsaved. Nothing is played; the picture of a time is the same on every
// run and machine.
//
// Usage:
//   renderframes <seconds> [<seconds> ...]     one frame per time, in ascending order
//   renderframes --fps <rate> <from> <to>      every frame of [from, to) at that rate
//   renderframes --lead <seconds> <seconds>... instead of the exact history, a lead-in of
//                                              that many seconds at 30 fps before each time
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Capture.h"
#include "app/Demo.h"
#include "offline/OfflineShow.h"

namespace {
int usage() {
  std::fprintf(stderr,
               "usage: renderframes [--lead <seconds>] <seconds>...\n"
               "       renderframes --fps <rate> <from> <to>\n");
  return 2;
}

bool number(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<double> times;
  FrameRate rate;
  double from = 0.0;
  double to = -1.0;
  double lead = -1.0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    double t = 0.0;
    if (arg == "--fps" && i + 3 < argc) {
      if (!number(argv[i + 1], rate.fps) || !number(argv[i + 2], from) ||
          !number(argv[i + 3], to) || rate.fps <= 0.0 || to < from || from < 0.0) {
        return usage();
      }
      i += 3;
    } else if (arg == "--lead" && i + 1 < argc) {
      if (!number(argv[++i], lead) || lead < 0.0) return usage();
    } else if (number(argv[i], t) && t >= 0.0) {
      times.push_back(t);
    } else {
      return usage();
    }
  }
  if (times.empty() == (to < 0.0)) return usage();
  // The opening builds on every earlier frame, and the tunnel enlarges the targets for
  // good: only an ascending order gives each frame its playthrough picture.
  std::sort(times.begin(), times.end());

  OfflineShow show;
  std::string error;
  if (!show.start(error)) {
    std::fprintf(stderr, "renderframes: %s (is DISPLAY set?)\n", error.c_str());
    return 1;
  }
  auto save = [](double t) {
    captureRequested = true;
    captureFrame();
    std::printf("%s  t = %.3f s\n", captureFileName(captureCounter - 1).c_str(), t);
  };
  if (to >= 0.0) {
    for (int64_t n = rate.firstAtOrAfter(from); rate.timeOf(n) < to; ++n) {
      show.renderUpTo(rate, n);
      save(rate.timeOf(n));
    }
    return 0;
  }
  for (double t : times) {
    if (lead >= 0.0) {
      for (double before = t - lead; before < t; before += 1.0 / 30.0) {
        show.renderFrame(std::max(before, 0.0));
      }
      show.renderFrame(t);
    } else {
      show.renderAt(rate, t);
    }
    save(t);
  }
  return 0;
}
