// Show benchmark: what the show costs on this machine, scene by scene. Prints figures
// (medians, percentiles, ratios), never pass/fail: the machine is shared and noisy.
//
// For each scene, 200 consecutive frames at 60 fps music-time steps after a one-second
// warm-up, rendered at 1024 x 768 in a hidden window (SDL's offscreen driver without a
// display) through the offline seam (offline/OfflineShow.h) on the deterministic sound
// layer, each frame presented and ended with glFinish:
//   - wall ms per frame (median, 90th percentile) and process CPU ms per frame;
//   - the GL floor where apitrace is installed: the same frames recorded with
//     `apitrace trace` and replayed with `apitrace replay --benchmark`; the floor per
//     frame is the replay time of warm-up plus frames less that of warm-up alone, and
//     the ratio is the program's mean frame time over it. Replays alternate with the
//     program's own runs; each figure is the median over the runs;
//   - heap allocations per frame, all threads (operator new and the malloc family hooked
//     in this executable): C++ allocations ("new/f": the show's code, the C++ library,
//     and LLVM when llvmpipe compiles a shader variant it has not met before) and C ones
//     ("malloc/f": SDL, Mesa, the X libraries); and the peak resident memory;
//   - live playback: the real SDL sound layer (dummy driver where there is no device)
//     playing while the scene renders as fast as it can: frames per second, how far the
//     picture lags the sound (demo time drawn against the device position when the frame
//     is presented) and the drift of the clock against the device over the run.
// Then start-up: process start to the first show frame of the real show (its own
// runShow(), full screen), median of fresh processes, with its breakdown from the
// start-up marks (resources/StartupTimes.h), and the audio thread's share of one core.
//
// Every measurement runs in a child process (this executable again, with an internal
// --child-* mode) so that each starts fresh. Ctrl-C reaches the children too (one process
// group); on SIGTERM the parent ends the running child itself.
//
// Usage: show_bench [--runs N] [--frames N] [--no-trace] [--startup] [scene ...] (kHelp)
#include <GL/glew.h>
#include <SDL2/SDL.h>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/Demo.h"
#include "app/Globals.h"
#include "app/Window.h"
#include "audio/Backends.h"
#include "cli/Cli.h"
#include "offline/OfflineShow.h"
#include "resources/StartupTimes.h"
#include "scenes/Schedule.h"

#include "ShowBench.h"

namespace {
const char* const kHelp =
    "usage: show_bench [--runs N] [--frames N] [--no-trace] [--startup] [SCENE...]\n"
    "\n"
    "What the show costs on this machine, scene by scene: wall and CPU ms per frame, the GL\n"
    "floor (with apitrace), heap allocations, peak memory and live playback; then the\n"
    "start-up to the first show frame. Figures, never pass/fail. scripts/bench.sh runs it\n"
    "as docs/performance.md was made.\n"
    "\n"
    "  --runs N     fresh processes per figure, the median kept (default 3)\n"
    "  --frames N   frames per scene after a one-second warm-up (default 200)\n"
    "  --no-trace   no apitrace recording, so no GL floor\n"
    "  --startup    the start-up figures alone\n"
    "  --data DIR   the show's data folder (default: ./data, or the source tree's)\n"
    "  --help       this text\n"
    "  --version    the version and the commit it was built from\n"
    "  SCENE        opening words cloud columns tunnel closing (default: all)\n"
    "\n"
    "Exit status: 0 done, 2 bad options, 130 interrupted (Ctrl-C), 143 terminated\n"
    "(SIGTERM).\n";

// The children's set-up: SDL must leave Ctrl-C to its default (ending the child), and a
// fatal error of the show fails the child with its message.
void prepareChild() {
  cli::installFatalReporter();
  cli::prepareSdl();
}
}  // namespace

int main(int argc, char** argv) {
  cli::setProgram("show_bench");
  if (argc >= 2 && std::strcmp(argv[1], "--child-startup") == 0) {
    prepareChild();
    return childStartup();
  }
  if (argc >= 3 && std::strcmp(argv[1], "--child-live") == 0) {
    const Scene* scene = findScene(argv[2]);
    if (!scene) return cli::usageError("unknown scene");
    prepareChild();
    return childLive(*scene);
  }
  if (argc >= 4 && std::strcmp(argv[1], "--child-scene") == 0) {
    const Scene* scene = findScene(argv[2]);
    if (!scene) return cli::usageError("unknown scene");
    prepareChild();
    return childScene(*scene, std::atoi(argv[3]));
  }

  int runs = kDefaultRuns;
  int frames = kDefaultFrames;
  bool noTrace = false;
  bool startupOnly = false;
  std::string data;
  std::vector<const Scene*> scenes;
  cli::Parser args("show_bench", kHelp);
  args.integer("--runs", &runs, 1, 1000);
  args.integer("--frames", &frames, 1, 100000);
  args.flag("--no-trace", &noTrace);
  args.flag("--startup", &startupOnly);
  args.text("--data", &data);
  args.positional([&scenes](const std::string& value, std::string& error) {
    const Scene* scene = findScene(value);
    if (!scene) {
      error = "unknown scene '" + value + "' (opening words cloud columns tunnel closing)";
      return false;
    }
    scenes.push_back(scene);
    return true;
  });
  args.parseOrExit(argc, argv);
  bool trace = !noTrace;
  // The children find data/ in the working directory they inherit.
  std::string error;
  cli::catchStopSignals();
  if (!cli::enterDataRoot(cli::absolutePath(data), error)) return cli::fail(error);
  if (startupOnly) {
    benchStartup(runs);
    return cli::stopRequested() ? cli::stopStatus() : 0;
  }
  if (scenes.empty()) {
    for (const Scene& scene : kScenes) scenes.push_back(&scene);
  }
  if (trace && !haveApitrace()) {
    std::printf("apitrace is not installed: no GL floor (scripts/bench.sh installs it)\n");
    trace = false;
  }

  std::printf("Frames: %d per scene after %d warm-up, 60 fps music steps, %d x %d, %d run(s)\n",
              frames, kWarmUpFrames, kWidth, kHeight, runs);
  std::printf("%-8s %7s %7s %7s %8s %6s %6s %8s %8s %7s %7s %7s %7s\n", "scene", "med ms", "p90 ms",
              "cpu ms", "floor ms", "ratio", "new/f", "malloc/f", "peak MiB", "live fps", "lag ms",
              "lag p90", "drift");
  double audioShare = -1.0;
  for (const Scene* scene : scenes) {
    SceneResult r = benchScene(*scene, frames, runs, trace);
    if (cli::stopRequested()) {
      std::fprintf(stderr, "show_bench: interrupted during the %s scene\n", scene->name);
      return cli::stopStatus();
    }
    const double floor = median(r.floorMs);
    const double ratio = floor > 0.0 ? median(r.meanMs) / floor : 0.0;
    char floorText[16] = "-";
    char ratioText[16] = "-";
    if (floor > 0.0) {
      std::snprintf(floorText, sizeof floorText, "%.2f", floor);
      std::snprintf(ratioText, sizeof ratioText, "%.2f", ratio);
    }
    std::printf("%-8s %7.2f %7.2f %7.2f %8s %6s %6.2f %8.1f %8.1f %7.2f %7.1f %7.1f %7.1f\n",
                scene->name, median(r.medianMs), median(r.p90Ms), median(r.cpuMs), floorText,
                ratioText, median(r.newAll), median(r.mallocAll), r.peakMiB, r.live["live_fps"],
                r.live["lag_median_ms"], r.live["lag_p90_ms"], r.live["drift_ms"]);
    std::fflush(stdout);
    if (r.live.count("audio_share_percent")) {
      audioShare = std::max(audioShare, r.live["audio_share_percent"]);
    }
  }
  benchStartup(runs);
  if (cli::stopRequested()) return cli::stopStatus();
  if (audioShare >= 0.0) {
    std::printf("\nAudio thread during live playback: %.3f %% of one core (largest scene)\n",
                audioShare);
  }
  return 0;
}
