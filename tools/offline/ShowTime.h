// Music times the tools accept, in seconds. The show runs from 0 to kShowEnd (146 s, the
// timeline's end of the show): a frame lies in [0, kShowEnd), a span [from, to) within
// [0, kShowEnd]. Each check gives a one-line reason naming the time and the range.
#pragma once

#include <cstdint>
#include <string>

#include "scenes/Schedule.h"

// Frames of a rate: frame n lies at exactly n / fps seconds.
struct FrameRate {
  double fps = 60.0;

  double timeOf(int64_t frame) const { return static_cast<double>(frame) / fps; }
  // The first frame whose time is at or after `seconds`. A part in 1e9 of a frame is
  // forgiven, so that 130 s at 59.94 fps finds the frame that prints as 130.000.
  int64_t firstAtOrAfter(double seconds) const;
};

// A frame's time: 0 <= seconds < kShowEnd. `what` names it in the reason ("time", "--from").
bool checkFrameTime(const std::string& what, double seconds, std::string& error);
// A span of frames: 0 <= from < to <= kShowEnd.
bool checkSpan(double from, double to, std::string& error);
