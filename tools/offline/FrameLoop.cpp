#include "offline/FrameLoop.h"

#include <cstdio>

#include "cli/Cli.h"

namespace {
// Histories up to this many frames pass without a bar: a few frames are gone in well
// under a second, and most scenes need one.
constexpr int64_t kQuickHistory = 8;
}  // namespace

bool RunUp::operator()(int64_t done, int64_t total) {
  if (total > kQuickHistory) {
    if (!bar_) bar_ = std::make_unique<Progress>(label_ + " run-up", total);
    bar_->update(done);
    if (done == total) finish();
  }
  return !cli::stopRequested();
}

void RunUp::finish() {
  if (bar_) bar_->finish();
  bar_.reset();
}

LoopResult forEachFrame(OfflineShow& show, const FramePlan& plan, PixelLayout layout,
                        const std::string& label,
                        const std::function<bool(const LoopFrame&)>& onFrame) {
  LoopResult result;
  const bool span = plan.times.empty();
  // A span reports its progress, timed from the end of its first frame's run-up; a list
  // of times is short, and its callers print a line per frame on stdout.
  Progress progress(label, plan.count());
  RunUp runUp(label);
  const HistoryWatch watch = [&](int64_t done, int64_t total) {
    const bool goOn = runUp(done, total);
    if (span && result.done == 0 && done == total) progress = Progress(label, plan.count());
    return goOn;
  };
  const size_t bytes = OfflineShow::frameBytes(layout);
  std::vector<uint8_t> pixels;
  for (int64_t i = 0; i < plan.count(); ++i) {
    const double seconds = span ? plan.rate.timeOf(plan.first + i) : plan.times[i];
    const int64_t rendered = cli::stopRequested() ? -1
                             : span ? show.renderUpTo(plan.rate, plan.first + i, watch)
                                    : show.renderAt(plan.rate, seconds, watch);
    if (rendered < 0) {
      result.ending = LoopResult::kStopped;
      break;
    }
    pixels.resize(bytes);
    show.readFrame(layout, pixels.data());
    if (!onFrame(LoopFrame{i, seconds, pixels})) {
      result.ending = LoopResult::kFailed;
      break;
    }
    ++result.done;
    if (span) progress.update(result.done);
  }
  runUp.finish();
  result.seconds = progress.finish();
  return result;
}

int reportInterrupted(const std::string& label, const LoopResult& loop, int64_t total,
                      const std::string& after) {
  std::fprintf(stderr, "%s: interrupted after %lld of %lld frames%s\n", label.c_str(),
               static_cast<long long>(loop.done), static_cast<long long>(total), after.c_str());
  return cli::stopStatus();
}
