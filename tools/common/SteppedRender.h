// OfflineShow's renderUpTo() and renderAt() with a long history rendered one frame at a
// time, so that a stop request (Ctrl-C, SIGTERM: cli::stopRequested()) is seen between any
// two frames and the run-up shows progress on stderr. A span starting at 20 s renders the
// 1200 opening frames before it first (over 10 s on llvmpipe): these are the frames.
//
// The pictures are those OfflineShow gives: the history is the same list of frames
// (historyBefore), rendered in the same order through renderUpTo(), which then finds
// each next frame continuing its run and adds nothing.
//
// Calls: SteppedRender(show, rate, label), then frame(n) in ascending n (a span) or at(t);
// runUpTo(first) before a span renders the history of its first frame on its own, so that
// the span's progress counts only the span.
#pragma once

#include <cstdint>
#include <string>

#include "offline/OfflineShow.h"

class SteppedRender {
 public:
  SteppedRender(OfflineShow& show, const FrameRate& rate, std::string label);

  // Frame `frame` of the rate after its history. False, with the frame not rendered,
  // when a stop was requested.
  bool frame(int64_t frame);
  // The picture at any time, as OfflineShow::renderAt. False when stopped.
  bool at(double seconds);
  // The history of frame `frame` alone (with its own progress when long). False when
  // stopped.
  bool runUpTo(int64_t frame);

 private:
  // Renders the history of `seconds` in steps when it is long; the last frame rendered,
  // or -2 when it was left to renderUpTo()/renderAt().
  int64_t runUp(double seconds);

  OfflineShow& show_;
  FrameRate rate_;
  std::string label_;
  int64_t last_ = -2;  // the frame rendered last, when it is one of rate_ on its grid
};
