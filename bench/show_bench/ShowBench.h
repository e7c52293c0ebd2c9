// What the parts of show_bench share: the figures' constants, the scenes, the clocks and
// statistics, the heap allocation counters, and the entry points of each mode.
//
// show_bench runs every measurement in a child process, this executable again with an
// internal --child-* mode (Children.cpp); the parent (Parent.cpp) starts them, gathers their
// "key value" lines and prints the tables; main.cpp reads the options and picks the mode;
// Measures.cpp holds the allocation hooks, the clocks and the statistics.
#pragma once

#include <time.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "../Clocks.h"
#include "scenes/Schedule.h"

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr double kFrameStepSeconds = 1.0 / 60.0;
constexpr int kWarmUpFrames = 60;
constexpr int kDefaultFrames = 200;
constexpr int kDefaultRuns = 3;
constexpr double kLiveSeconds = 4.0;  // of live playback per scene

// The scenes, their names and starts (seconds of music), from the show's schedule.
using Scene = SceneSchedule;
inline constexpr const auto& kScenes = kSchedule;

// Heap allocations since the process started, all threads: operator new, and the malloc
// family (Measures.cpp hooks both).
extern std::atomic<uint64_t> newCount;
extern std::atomic<uint64_t> mallocCount;
extern __thread uint64_t newCountThisThread;

double peakResidentMiB();
const Scene* findScene(const std::string& name);

// The children: each prints "key value" lines on stdout for the parent and ends itself.
int childScene(const Scene& scene, int frames);
int childLive(const Scene& scene);
int childStartup();

// The parent.
using Figures = std::map<std::string, double>;
struct SceneResult {
  std::vector<double> medianMs, p90Ms, meanMs, cpuMs, newAll, newMain, mallocAll, floorMs;
  double peakMiB = 0.0;
  Figures live;
};
bool haveApitrace();
SceneResult benchScene(const Scene& scene, int frames, int runs, bool trace);
void benchStartup(int runs);
