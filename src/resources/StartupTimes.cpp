#include "resources/StartupTimes.h"

#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kNoStep = -1;
constexpr int kStepCount = static_cast<int>(StartupStep::kCount);

double secondsOf(Clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

const Clock::time_point processStart = Clock::now();
double charged[kStepCount] = {};
int active = kNoStep;
Clock::time_point activeSince = processStart;
Clock::time_point firstFrame{};
bool started = false;
void (*firstFrameHook)() = nullptr;

// Charges the time since the last switch to the active step, then makes `step` active.
void switchTo(int step) {
  const Clock::time_point now = Clock::now();
  if (active != kNoStep)
    charged[active] += std::chrono::duration<double>(now - activeSince).count();
  active = step;
  activeSince = now;
}
}  // namespace

StartupSpan::StartupSpan(StartupStep step) : previous_(active) { switchTo(static_cast<int>(step)); }

void StartupSpan::end() {
  if (!open_) return;
  open_ = false;
  switchTo(previous_);
}

void markShowFrame() {
  if (started) return;
  started = true;
  // From the last closed span to here is the first frame: timeline, draw, present.
  active = static_cast<int>(StartupStep::kFirstFrame);
  switchTo(kNoStep);
  firstFrame = activeSince;
  if (firstFrameHook) firstFrameHook();
}

void setFirstShowFrameHook(void (*hook)()) { firstFrameHook = hook; }

const char* startupStepName(StartupStep step) {
  static const char* const kNames[kStepCount] = {
      "window and context", "images",           "model", "targets",    "scene data",
      "materials",          "loading pictures", "music", "first frame"};
  const int index = static_cast<int>(step);
  return index >= 0 && index < kStepCount ? kNames[index] : "?";
}

double startupSeconds(StartupStep step) {
  const int index = static_cast<int>(step);
  return index >= 0 && index < kStepCount ? charged[index] : 0.0;
}

double processStartClock() { return secondsOf(processStart); }

double firstShowFrameClock() { return started ? secondsOf(firstFrame) : 0.0; }
