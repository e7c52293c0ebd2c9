// Music times the tools accept, in seconds. The show runs from 0 to showEnd() (146 s, the
// timeline's end of the show): a frame lies in [0, showEnd()), a span [from, to) within
// [0, showEnd()]. Each check gives a one-line reason naming the time and the range.
#pragma once

#include <string>

namespace cli {

// The end of the show: sceneStart(kEndOfShow), seconds.
double showEnd();
// A frame's time: 0 <= seconds < showEnd(). `what` names it in the reason ("time", "--from").
bool checkFrameTime(const std::string& what, double seconds, std::string& error);
// A span of frames: 0 <= from < to <= showEnd().
bool checkSpan(double from, double to, std::string& error);

}  // namespace cli
