// The one loop over frames under every offline tool: a span of a rate's frames, or a list
// of times, each rendered after the history it needs (a RunUp watching it, so a stop is
// seen between any two frames, run-up included), read back, and handed to the caller.
// Progress goes to stderr under the tool's label: the run-up on its own, then the span.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "offline/OfflineShow.h"
#include "offline/Progress.h"

// A HistoryWatch (through std::ref): a long run-up shows its progress as "LABEL run-up"
// on stderr, and a stop request ends it between two frames.
class RunUp {
 public:
  explicit RunUp(std::string label) : label_(std::move(label)) {}
  ~RunUp() { finish(); }
  bool operator()(int64_t done, int64_t total);
  void finish();

 private:
  std::string label_;
  std::unique_ptr<Progress> bar_;
};

struct FramePlan {
  FrameRate rate;
  int64_t first = 0;  // a span: frames [first, end) of the rate
  int64_t end = 0;
  std::vector<double> times;  // or, when not empty, these times in this order

  static FramePlan span(FrameRate rate, int64_t first, int64_t end) {
    return {rate, first, end, {}};
  }
  static FramePlan at(FrameRate rate, std::vector<double> times) {
    return {rate, 0, 0, std::move(times)};
  }
  int64_t count() const {
    return times.empty() ? std::max<int64_t>(end - first, 0) : static_cast<int64_t>(times.size());
  }
};

struct LoopFrame {
  int64_t ordinal = 0;  // 0 for the plan's first frame
  double seconds = 0.0;
  // screenWidth x screenHeight pixels in the loop's layout, the bottom row first. The
  // callback may move the vector away; the loop makes a new one for the next frame.
  std::vector<uint8_t>& pixels;
};

struct LoopResult {
  enum Ending { kDone, kStopped, kFailed } ending = kDone;
  int64_t done = 0;      // frames handed to the callback and accepted
  double seconds = 0.0;  // wall time of the plan's frames, run-up excluded
};

// onFrame returns false to end the loop as failed (having said why).
LoopResult forEachFrame(OfflineShow& show, const FramePlan& plan, PixelLayout layout,
                        const std::string& label,
                        const std::function<bool(const LoopFrame&)>& onFrame);

// "LABEL: interrupted after DONE of TOTAL frames" and `after` on stderr; cli::stopStatus().
int reportInterrupted(const std::string& label, const LoopResult& loop, int64_t total,
                      const std::string& after = "");
