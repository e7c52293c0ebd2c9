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
// start-up marks (app/StartupTimes.h), and the audio thread's share of one core.
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
#include "app/StartupTimes.h"
#include "app/Window.h"
#include "audio/Backends.h"
#include "common/Cli.h"
#include "offline/OfflineShow.h"
#include "scenes/Schedule.h"

// ---------------------------------------------------------------------------------------
// Heap allocation counters. This executable's operator new and malloc family stand in
// front of libstdc++'s and glibc's, so every allocation of the process passes through
// here: C++ allocations (the show's own code and the C++ library) are counted apart from
// C allocations (SDL, Mesa, the X libraries, ...).

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {
std::atomic<uint64_t> newCount{0};     // operator new, all threads
std::atomic<uint64_t> mallocCount{0};  // the malloc family, all threads
__thread uint64_t newCountThisThread = 0;

inline void countMalloc() { mallocCount.fetch_add(1, std::memory_order_relaxed); }

void* countedNew(size_t size) {
  newCount.fetch_add(1, std::memory_order_relaxed);
  ++newCountThisThread;
  void* pointer = __libc_malloc(size ? size : 1);
  if (!pointer) throw std::bad_alloc();
  return pointer;
}
}  // namespace

void* operator new(size_t size) { return countedNew(size); }
void* operator new[](size_t size) { return countedNew(size); }
void operator delete(void* pointer) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, size_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, size_t) noexcept { __libc_free(pointer); }

extern "C" {
void* malloc(size_t size) {
  countMalloc();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  countMalloc();
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
  countMalloc();
  return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
  countMalloc();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  countMalloc();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  countMalloc();
  void* pointer = __libc_memalign(alignment, size);
  if (!pointer) return ENOMEM;
  *out = pointer;
  return 0;
}
void free(void* pointer) { __libc_free(pointer); }
}

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr double kFrameStepSeconds = 1.0 / 60.0;
constexpr int kWarmUpFrames = 60;
constexpr int kDefaultFrames = 200;
constexpr int kDefaultRuns = 3;
constexpr double kLiveSeconds = 4.0;  // of live playback per scene

// The scenes, their names and starts (seconds of music), from the show's schedule.
using Scene = SceneSchedule;
constexpr const auto& kScenes = kSchedule;

double monotonicSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double cpuSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double peakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // ru_maxrss is in KiB
}

double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const double rank = fraction * (values.size() - 1);
  const auto low = static_cast<size_t>(std::floor(rank));
  const size_t high = std::min(low + 1, values.size() - 1);
  return values[low] + (values[high] - values[low]) * (rank - low);
}

double median(const std::vector<double>& values) { return percentile(values, 0.5); }

const Scene* findScene(const std::string& name) {
  for (const Scene& scene : kScenes) {
    if (name == scene.name) return &scene;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------
// Children. Each prints "key value" lines on stdout for the parent.

GlWindow liveWindow;

// Live playback: the show's start-up on a hidden window (offscreen without a display),
// playing through the real SDL sound layer.
bool startLive(SdlAudioBackend* sound) {
  liveWindow.hidden = true;
  liveWindow.width = kWidth;
  liveWindow.height = kHeight;
  if (!registerWindowClass() || !createGlWindow(liveWindow)) {
    std::fprintf(stderr, "show_bench: no OpenGL window\n");
    return false;
  }
  musicStream.setBackend(sound);
  initDemo();
  musicStream.open(kMusicFile);
  musicStream.play();
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
  const double cpuStart = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double wallStart = monotonicSeconds();
  for (int i = 0; i < frames; ++i) {
    const double t0 = monotonicSeconds();
    renderAt(show, from + i * kFrameStepSeconds);
    wall.push_back((monotonicSeconds() - t0) * 1e3);
  }
  const double wallTotal = monotonicSeconds() - wallStart;
  const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
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

void printStartupMarks() {
  std::printf("process_start %.6f\nfirst_frame %.6f\n", processStartClock(), firstShowFrameClock());
  // CPU time to here: what the start-up costs, less disturbed by other load than wall time.
  std::printf("cpu_process %.6f\ncpu_main %.6f\n", cpuSeconds(CLOCK_PROCESS_CPUTIME_ID),
              cpuSeconds(CLOCK_THREAD_CPUTIME_ID));
  for (int i = 0; i < static_cast<int>(StartupStep::kCount); ++i) {
    std::printf("step%d %.6f\n", i, startupSeconds(static_cast<StartupStep>(i)));
  }
  std::fflush(stdout);
  _exit(0);
}

// The real show's start-up, ended at its first frame.
int childStartup() {
  if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
  setFirstShowFrameHook(printStartupMarks);
  return runShow();
}

// ---------------------------------------------------------------------------------------
// The parent.

using Figures = std::map<std::string, double>;

// Runs `args` with stdout into a pipe; false when it could not start or failed. `spawned`
// is the monotonic time just before the fork.
bool runChild(const std::vector<std::string>& args, std::string& output, double* spawned = nullptr,
              bool quiet = false) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  if (spawned) *spawned = monotonicSeconds();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    if (quiet) {
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, STDERR_FILENO);
    }
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  output.clear();
  // Polled, not a blocking read, so that a stop request is seen within a tenth of a second.
  pollfd reader{pipeEnds[0], POLLIN, 0};
  for (;;) {
    if (cli::stopRequested()) {
      kill(pid, SIGKILL);
      break;
    }
    const int ready = poll(&reader, 1, 100);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output.append(buffer, static_cast<size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    if (cli::stopRequested()) kill(pid, SIGKILL);
  }
  return !cli::stopRequested() && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

Figures parseFigures(const std::string& text) {
  Figures figures;
  std::istringstream lines(text);
  std::string key;
  double value = 0.0;
  while (lines >> key >> value) figures[key] = value;
  return figures;
}

std::string selfPath() {
  char path[4096] = {};
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : "show_bench";
}

bool haveApitrace() { return std::system("command -v apitrace >/dev/null 2>&1") == 0; }

// Seconds that `apitrace replay --benchmark` reports for the trace; negative on failure.
double replaySeconds(const std::string& trace) {
  std::string output;
  runChild({"apitrace", "replay", "--benchmark", trace}, output, nullptr, true);
  const size_t at = output.find("Rendered ");
  double seconds = -1.0;
  int frames = 0;
  if (at != std::string::npos &&
      std::sscanf(output.c_str() + at, "Rendered %d frames in %lf secs", &frames, &seconds) != 2) {
    seconds = -1.0;
  }
  return seconds;
}

struct SceneResult {
  std::vector<double> medianMs, p90Ms, meanMs, cpuMs, newAll, newMain, mallocAll, floorMs;
  double peakMiB = 0.0;
  Figures live;
};

SceneResult benchScene(const Scene& scene, int frames, int runs, bool trace) {
  SceneResult result;
  const std::string self = selfPath();
  const std::string framesArg = std::to_string(frames);
  const std::string full = "/tmp/show_bench_" + std::string(scene.name) + ".trace";
  const std::string warmUp = "/tmp/show_bench_" + std::string(scene.name) + "_warmup.trace";
  if (trace) {
    std::string ignored;
    std::remove(full.c_str());
    std::remove(warmUp.c_str());
    cli::addTemporary(full);
    cli::addTemporary(warmUp);
    trace =
        runChild({"apitrace", "trace", "-o", full, self, "--child-scene", scene.name, framesArg},
                 ignored, nullptr, true) &&
        runChild({"apitrace", "trace", "-o", warmUp, self, "--child-scene", scene.name, "0"},
                 ignored, nullptr, true);
    if (!trace) std::fprintf(stderr, "show_bench: apitrace could not record %s\n", scene.name);
  }
  for (int run = 0; run < runs && !cli::stopRequested(); ++run) {
    std::string output;
    if (!runChild({self, "--child-scene", scene.name, framesArg}, output)) {
      if (cli::stopRequested()) break;
      std::fprintf(stderr, "show_bench: the %s run failed\n", scene.name);
      continue;
    }
    Figures f = parseFigures(output);
    result.medianMs.push_back(f["median_ms"]);
    result.p90Ms.push_back(f["p90_ms"]);
    result.meanMs.push_back(f["mean_ms"]);
    result.cpuMs.push_back(f["cpu_ms"]);
    result.newAll.push_back(f["new_all"]);
    result.newMain.push_back(f["new_main"]);
    result.mallocAll.push_back(f["malloc_all"]);
    result.peakMiB = std::max(result.peakMiB, f["peak_rss_mib"]);
    if (trace) {
      const double all = replaySeconds(full);
      const double base = replaySeconds(warmUp);
      if (all > 0.0 && base >= 0.0) result.floorMs.push_back((all - base) * 1e3 / frames);
    }
  }
  cli::removeTemporaries();
  std::string output;
  if (!cli::stopRequested() && runChild({self, "--child-live", scene.name}, output))
    result.live = parseFigures(output);
  return result;
}

void benchStartup(int runs) {
  const std::string self = selfPath();
  std::vector<double> total, launch, cpuProcess, cpuMain;
  std::vector<std::vector<double>> steps(static_cast<size_t>(StartupStep::kCount));
  for (int run = 0; run < runs; ++run) {
    std::string output;
    double spawned = 0.0;
    if (!runChild({self, "--child-startup"}, output, &spawned)) {
      if (!cli::stopRequested()) {
        std::fprintf(stderr, "show_bench: the start-up run failed (is there a display?)\n");
      }
      return;
    }
    Figures f = parseFigures(output);
    total.push_back((f["first_frame"] - spawned) * 1e3);
    launch.push_back((f["process_start"] - spawned) * 1e3);
    cpuProcess.push_back(f["cpu_process"] * 1e3);
    cpuMain.push_back(f["cpu_main"] * 1e3);
    for (size_t i = 0; i < steps.size(); ++i) {
      steps[i].push_back(f["step" + std::to_string(i)] * 1e3);
    }
  }
  std::printf("\nStart-up, launch to the first show frame, median of %d fresh processes\n", runs);
  std::printf("  %-22s %8.1f ms\n", "total", median(total));
  std::printf("  %-22s %8.1f ms\n", "exec and libraries", median(launch));
  double accounted = median(launch);
  for (size_t i = 0; i < steps.size(); ++i) {
    std::printf("  %-22s %8.1f ms\n", startupStepName(static_cast<StartupStep>(i)),
                median(steps[i]));
    accounted += median(steps[i]);
  }
  std::printf("  %-22s %8.1f ms\n", "other", median(total) - accounted);
  std::printf("  CPU to the first frame: %.1f ms in all threads, %.1f ms in the main thread\n",
              median(cpuProcess), median(cpuMain));
}

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
