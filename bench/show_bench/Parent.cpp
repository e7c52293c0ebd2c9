// show_bench's parent: starts the children, gathers their figures, prints the tables.
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
// ---------------------------------------------------------------------------------------
// The parent.

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

}  // namespace

bool haveApitrace() { return std::system("command -v apitrace >/dev/null 2>&1") == 0; }

// Seconds that `apitrace replay --benchmark` reports for the trace; negative on failure.
namespace {
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
}  // namespace

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
