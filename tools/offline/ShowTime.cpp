#include "offline/ShowTime.h"

#include <algorithm>
#include <cmath>

#include "cli/Cli.h"

int64_t FrameRate::firstAtOrAfter(double seconds) const {
  return std::max<int64_t>(static_cast<int64_t>(std::ceil(seconds * fps - 1e-9)), 0);
}

bool checkFrameTime(const std::string& what, double seconds, std::string& error) {
  if (seconds >= 0.0 && seconds < kShowEnd) return true;
  return cli::failWith(error,
                       cli::formatted("%s %g s lies outside the show: times run from 0 up to %g s",
                                      what.c_str(), seconds, kShowEnd));
}

bool checkSpan(double from, double to, std::string& error) {
  const bool badFrom = from < 0.0 || from >= kShowEnd;
  if (badFrom || to <= 0.0 || to > kShowEnd) {
    return cli::failWith(
        error, cli::formatted("%s %g s lies outside the show: it runs from 0 to %g s",
                              badFrom ? "--from" : "--to", badFrom ? from : to, kShowEnd));
  }
  if (to > from) return true;
  return cli::failWith(
      error, cli::formatted("the span is empty: --to %g s must come after --from %g s", to, from));
}
