// show_bench's children: each measures one thing in a fresh process and prints "key
// value" lines for the parent.
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

// ---------------------------------------------------------------------------------------
// Children. Each prints "key value" lines on stdout for the parent.

namespace {
// Live playback: the show's start-up on a hidden window (offscreen without a display),
// playing through the real SDL sound layer.
bool startLive(SdlAudioBackend* sound) {
  if (startShow(ShowStart{true, sound}) != StartFailure::kNone) {
    std::fprintf(stderr, "show_bench: no OpenGL window\n");
    return false;
  }
  // The show's own swap interval would tie frames to a display's refresh.
  setSwapInterval(0);
  return true;
}

// The one place offline frames are made: the show's frame at an exact music time through
// the offline seam, the swap the live show does after it, and glFinish so that the
// frame's GL work is inside its time.
void renderAt(OfflineShow& show, double seconds) {
  show.renderFrame(seconds);
  presentFrame();
  glFinish();
}

}  // namespace

int childScene(const Scene& scene, int frames) {
  OfflineShow show;
  std::string error;
  if (!show.start(error)) {
    std::fprintf(stderr, "show_bench: %s\n", error.c_str());
    return 1;
  }
  setSwapInterval(0);
  const double warmUpFrom = scene.start + 1.0;
  for (int i = 0; i < kWarmUpFrames; ++i) renderAt(show, warmUpFrom + i * kFrameStepSeconds);
  const double from = warmUpFrom + kWarmUpFrames * kFrameStepSeconds;
  std::vector<double> wall;
  wall.reserve(static_cast<size_t>(frames));
  const uint64_t newStart = newCount.load();
  const uint64_t newMainStart = newCountThisThread;
  const uint64_t mallocStart = mallocCount.load();
  const double cpuStart = clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double wallStart = monotonicSeconds();
  for (int i = 0; i < frames; ++i) {
    const double t0 = monotonicSeconds();
    renderAt(show, from + i * kFrameStepSeconds);
    wall.push_back((monotonicSeconds() - t0) * 1e3);
  }
  const double wallTotal = monotonicSeconds() - wallStart;
  const double cpu = clockSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
  const uint64_t news = newCount.load() - newStart;
  const uint64_t newsMain = newCountThisThread - newMainStart;
  const uint64_t mallocs = mallocCount.load() - mallocStart;
  if (frames > 0) {
    std::printf("median_ms %.3f\np90_ms %.3f\nmean_ms %.3f\ncpu_ms %.3f\n", median(wall),
                percentile(wall, 0.9), wallTotal * 1e3 / frames, cpu * 1e3 / frames);
    std::printf("new_all %.3f\nnew_main %.3f\nmalloc_all %.3f\n",
                static_cast<double>(news) / frames, static_cast<double>(newsMain) / frames,
                static_cast<double>(mallocs) / frames);
  }
  std::printf("peak_rss_mib %.1f\n", peakResidentMiB());
  std::fflush(stdout);
  // Skips the exit-time teardown, which is no part of the figures.
  _exit(0);
}

namespace {
// CPU seconds of this process's SDL audio threads, from /proc (schedstat: nanoseconds).
double audioThreadCpuSeconds() {
  double total = 0.0;
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return 0.0;
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    const std::string base = std::string("/proc/self/task/") + entry->d_name;
    char name[64] = {};
    if (FILE* comm = std::fopen((base + "/comm").c_str(), "r")) {
      if (!std::fgets(name, sizeof name, comm)) name[0] = '\0';
      std::fclose(comm);
    }
    if (std::strncmp(name, "SDLAudio", 8) != 0) continue;
    if (FILE* stat = std::fopen((base + "/schedstat").c_str(), "r")) {
      unsigned long long nanoseconds = 0;
      if (std::fscanf(stat, "%llu", &nanoseconds) == 1) total += nanoseconds * 1e-9;
      std::fclose(stat);
    }
  }
  closedir(tasks);
  return total;
}
}  // namespace

int childLive(const Scene& scene) {
  if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
  static SdlAudioBackend* sound = new SdlAudioBackend();  // the audio thread outlives main
  if (!startLive(sound)) return 1;
  if (!sound->hasDevice()) {
    std::printf("no_device 1\n");
    std::fflush(stdout);
    _exit(0);
  }
  musicStream.seek(static_cast<float>(scene.start + 1.0));
  // A second of frames first: the scene's first frames build its state.
  const double settleUntil = monotonicSeconds() + 1.0;
  while (monotonicSeconds() < settleUntil) {
    renderFrame();
    presentFrame();
    glFinish();
  }
  std::vector<double> lag;
  std::vector<double> offset;  // device position at the frame's start less its demo time
  std::vector<double> interval;
  const double audioCpuStart = audioThreadCpuSeconds();
  const double start = monotonicSeconds();
  double previous = start;
  int frames = 0;
  while (monotonicSeconds() - start < kLiveSeconds) {
    const double soundBefore = sound->devicePositionSeconds();
    renderFrame();
    const double drawn = demoSystem.clock.time();
    presentFrame();
    glFinish();
    const double soundAfter = sound->devicePositionSeconds();
    const double now = monotonicSeconds();
    lag.push_back((soundAfter - drawn) * 1e3);
    offset.push_back((soundBefore - drawn) * 1e3);
    interval.push_back((now - previous) * 1e3);
    previous = now;
    ++frames;
  }
  const double elapsed = monotonicSeconds() - start;
  const double audioCpu = audioThreadCpuSeconds() - audioCpuStart;
  // Drift: how the clock's offset from the device moved from the first to the last
  // quarter of the run. A clock that lost the music would grow it steadily.
  const size_t quarter = std::max<size_t>(1, offset.size() / 4);
  const std::vector<double> head(offset.begin(), offset.begin() + quarter);
  const std::vector<double> tail(offset.end() - quarter, offset.end());
  std::printf("live_fps %.2f\nlag_median_ms %.1f\nlag_p90_ms %.1f\n", frames / elapsed, median(lag),
              percentile(lag, 0.9));
  std::printf("interval_median_ms %.1f\ndrift_ms %.1f\naudio_share_percent %.3f\n",
              median(interval), median(tail) - median(head), 100.0 * audioCpu / elapsed);
  std::fflush(stdout);
  _exit(0);
}

namespace {
void printStartupMarks() {
  std::printf("process_start %.6f\nfirst_frame %.6f\n", processStartClock(), firstShowFrameClock());
  // CPU time to here: what the start-up costs, less disturbed by other load than wall time.
  std::printf("cpu_process %.6f\ncpu_main %.6f\n", clockSeconds(CLOCK_PROCESS_CPUTIME_ID),
              clockSeconds(CLOCK_THREAD_CPUTIME_ID));
  for (int i = 0; i < static_cast<int>(StartupStep::kCount); ++i) {
    std::printf("step%d %.6f\n", i, startupSeconds(static_cast<StartupStep>(i)));
  }
  std::fflush(stdout);
  _exit(0);
}
}  // namespace

// The real show's start-up, ended at its first frame.
int childStartup() {
  if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
  setFirstShowFrameHook(printStartupMarks);
  return runShow();
}
