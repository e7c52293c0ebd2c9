#include "offline/ShowTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/Cli.h"
#include "scenes/Timeline.h"

int64_t FrameRate::firstAtOrAfter(double seconds) const {
  return std::max<int64_t>(static_cast<int64_t>(std::ceil(seconds * fps - 1e-9)), 0);
}

namespace cli {

double showEnd() { return sceneStart(kEndOfShow); }

bool checkFrameTime(const std::string& what, double seconds, std::string& error) {
  if (seconds >= 0.0 && seconds < showEnd()) return true;
  return failWith(error, formatted("%s %g s lies outside the show: times run from 0 up to %g s",
                                   what.c_str(), seconds, showEnd()));
}

bool checkSpan(double from, double to, std::string& error) {
  const bool badFrom = from < 0.0 || from >= showEnd();
  if (badFrom || to <= 0.0 || to > showEnd()) {
    return failWith(error, formatted("%s %g s lies outside the show: it runs from 0 to %g s",
                                     badFrom ? "--from" : "--to", badFrom ? from : to, showEnd()));
  }
  if (to > from) return true;
  return failWith(error,
                  formatted("the span is empty: --to %g s must come after --from %g s", to, from));
}

}  // namespace cli
