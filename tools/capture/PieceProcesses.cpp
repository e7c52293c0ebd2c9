#include "PieceProcesses.h"

#include <time.h>

#include <chrono>
#include <mutex>

#include "common/Cli.h"

namespace {
constexpr int kPollMs = 20;                 // between looks at the children while they run
constexpr double kStopGraceSeconds = 20.0;  // after SIGTERM, before SIGKILL

std::mutex stderrMutex;

void sleepMs(int ms) {
  timespec pause{0, ms * 1000000L};
  nanosleep(&pause, nullptr);  // a signal cuts it short, which is what we want
}
}  // namespace

PieceProcesses::~PieceProcesses() { stopAll(); }

bool PieceProcesses::start(const std::vector<std::string>& args, std::string& error) {
  ChildProcess::Options options;
  options.args = args;
  options.env = {"LP_NUM_THREADS=1"};
  options.deathSignal = SIGTERM;
  options.cannotStart = "lumorak-capture: cannot start a piece's process\n";
  options.onLine = [this](const std::string& line) {
    if (quiet_) return;
    const std::string whole = line + "\n";
    std::lock_guard<std::mutex> lock(stderrMutex);
    writeAll(2, whole.data(), whole.size());
  };
  auto child = std::make_unique<ChildProcess>();
  if (!child->start(options, error)) return false;
  children_.push_back(std::move(child));
  return true;
}

PieceProcesses::Result PieceProcesses::wait() {
  Result result;
  for (;;) {
    if (cli::stopRequested()) {
      stopAll();
      result.outcome = Outcome::kStopped;
      return result;
    }
    bool running = false;
    for (size_t i = 0; i < children_.size(); ++i) {
      ChildProcess& child = *children_[i];
      if (!child.running() || !child.reap(false)) {
        running = running || child.running();
        continue;
      }
      if (child.status() != 0) {
        stopAll();
        result.outcome = Outcome::kFailed;
        result.failed = i;
        result.status = child.status();
        return result;
      }
    }
    if (!running) return result;
    sleepMs(kPollMs);
  }
}

void PieceProcesses::stopAll() {
  quiet_ = true;
  for (auto& child : children_) child->send(SIGTERM);
  const auto start = std::chrono::steady_clock::now();
  for (auto& child : children_) {
    while (!child->reap(false)) {
      const double waited =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (waited > kStopGraceSeconds) {
        child->send(SIGKILL);
        child->reap(true);
        break;
      }
      sleepMs(kPollMs);
    }
  }
}
