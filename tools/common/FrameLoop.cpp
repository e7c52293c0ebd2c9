#include "common/FrameLoop.h"

#include <cstdio>

#include "common/Cli.h"
#include "common/SteppedRender.h"
#include "offline/Progress.h"

LoopResult forEachFrame(OfflineShow& show, const FramePlan& plan, PixelLayout layout,
                        const std::string& label,
                        const std::function<bool(const LoopFrame&)>& onFrame) {
  LoopResult result;
  SteppedRender render(show, plan.rate, label);
  const bool span = plan.times.empty();
  if (span && plan.count() > 0 && !render.runUpTo(plan.first)) {
    result.ending = LoopResult::kStopped;
    return result;
  }
  const size_t bytes = OfflineShow::frameBytes(layout);
  std::vector<uint8_t> pixels;
  // A span reports its progress; a list of times is short, and its callers print a line
  // per frame on stdout.
  Progress progress(label, plan.count());
  for (int64_t i = 0; i < plan.count(); ++i) {
    const double seconds = span ? plan.rate.timeOf(plan.first + i) : plan.times[i];
    if (!(span ? render.frame(plan.first + i) : render.at(seconds))) {
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
  result.seconds = progress.finish();
  return result;
}

int reportInterrupted(const std::string& label, const LoopResult& loop, int64_t total,
                      const std::string& after) {
  std::fprintf(stderr, "%s: interrupted after %lld of %lld frames%s\n", label.c_str(),
               static_cast<long long>(loop.done), static_cast<long long>(total), after.c_str());
  return cli::stopStatus();
}
