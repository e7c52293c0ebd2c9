#include "capture/PieceProcesses.h"

#include <time.h>

#include <chrono>
#include <mutex>

#include "cli/Cli.h"

namespace {
constexpr int kPollMs = 20;  // between looks at the children while they run
// After SIGTERM, before SIGKILL. A piece stops within a frame once it is rendering; one
// still loading (it looks at the signal only then) holds no frame yet and loses nothing.
constexpr std::chrono::seconds kStopGrace{5};

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
  for (;;) {
    if (cli::stopRequested()) {
      stopAll();
      return {Outcome::kStopped, 0, 0};
    }
    bool running = false;
    for (size_t i = 0; i < children_.size(); ++i) {
      ChildProcess& child = *children_[i];
      if (child.running() && child.reap(false) && child.status() != 0) {
        stopAll();
        return {Outcome::kFailed, i, child.status()};
      }
      running = running || child.running();
    }
    if (!running) return {};
    sleepMs(kPollMs);
  }
}

void PieceProcesses::stopAll() {
  quiet_ = true;
  for (auto& child : children_) child->send(SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
  for (auto& child : children_) {
    while (!child->reap(false)) {
      if (std::chrono::steady_clock::now() > deadline) {
        child->send(SIGKILL);
        child->reap(true);
        break;
      }
      sleepMs(kPollMs);
    }
  }
}
