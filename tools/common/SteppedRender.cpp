#include "common/SteppedRender.h"

#include <utility>
#include <vector>

#include "common/Cli.h"
#include "offline/Progress.h"

namespace {
// Histories up to this many frames are left to renderUpTo() whole: a few frames are
// gone in well under a second, and most scenes need one.
constexpr size_t kQuickHistory = 8;
}  // namespace

SteppedRender::SteppedRender(OfflineShow& show, const FrameRate& rate, std::string label)
    : show_(show), rate_(rate), label_(std::move(label)) {}

int64_t SteppedRender::runUp(double seconds) {
  const std::vector<int64_t> history = show_.historyBefore(rate_, seconds);
  // Long histories are one contiguous run of frames (only short ones lead with the
  // tunnel's first frame, which is not contiguous with the rest).
  const bool contiguous = !history.empty() && history.back() - history.front() + 1 ==
                                                  static_cast<int64_t>(history.size());
  if (history.size() <= kQuickHistory || !contiguous) return -2;
  // The run's second frame needs just the first before it (the opening's frame 1 builds
  // on frame 0; in the word scene the run starts just before a frame that stands alone),
  // so renderUpTo() on each frame from the second renders the run exactly once, in order.
  Progress progress(label_ + " run-up", static_cast<int64_t>(history.size()));
  for (size_t i = 1; i < history.size(); ++i) {
    if (cli::stopRequested()) break;
    show_.renderUpTo(rate_, history[i]);
    progress.update(static_cast<int64_t>(i + 1));
  }
  progress.finish();
  return cli::stopRequested() ? -2 : history.back();
}

bool SteppedRender::runUpTo(int64_t frame) {
  if (cli::stopRequested()) return false;
  // The next frame of a run needs nothing before it: renderUpTo() continues the run.
  if (frame == last_ + 1) return true;
  const int64_t last = runUp(rate_.timeOf(frame));
  if (last >= 0) last_ = last;
  return !cli::stopRequested();
}

bool SteppedRender::frame(int64_t frame) {
  if (!runUpTo(frame)) return false;
  show_.renderUpTo(rate_, frame);
  last_ = frame;
  return true;
}

bool SteppedRender::at(double seconds) {
  if (cli::stopRequested()) return false;
  runUp(seconds);
  if (cli::stopRequested()) return false;
  show_.renderAt(rate_, seconds);
  last_ = -2;  // renderAt() may have left the grid
  return true;
}
