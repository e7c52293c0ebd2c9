#include "offline/Progress.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cli/Cli.h"
#include "cli/Terminal.h"

namespace {
constexpr double kTerminalInterval = 0.1;  // seconds between redraws of the bar
constexpr double kLogInterval = 5.0;       // seconds between plain lines
constexpr int kBarWidth = 30;              // characters

// One progress report, without line ends; seconds = time so far.
std::string progressLine(const std::string& label, int64_t done, int64_t total, double seconds,
                         int barWidth) {
  const double share = total > 0 ? static_cast<double>(done) / total : 1.0;
  const double fps = seconds > 0.0 ? done / seconds : 0.0;
  const long whole = fps > 0.0 ? std::lround(std::max((total - done) / fps, 0.0)) : 0;
  const std::string left = fps > 0.0 ? cli::formatted("%ld:%02ld", whole / 60, whole % 60) : "?:??";
  std::string text = label + " ";
  if (barWidth > 0) {
    const int filled = static_cast<int>(share * barWidth);
    text += "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "] ";
  }
  return text + cli::formatted("%lld/%lld frames  %.1f fps  %s left", static_cast<long long>(done),
                               static_cast<long long>(total), fps, left.c_str());
}
}  // namespace

Progress::Progress(std::string label, int64_t total)
    : label_(std::move(label)),
      total_(total),
      terminal_(redrawsInPlace(stderr)),
      start_(Clock::now()),
      lastShown_(start_) {}

void Progress::update(int64_t done) {
  const Clock::time_point now = Clock::now();
  const double sinceShown = std::chrono::duration<double>(now - lastShown_).count();
  if (done < total_ && sinceShown < (terminal_ ? kTerminalInterval : kLogInterval)) return;
  lastShown_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const std::string text = progressLine(label_, done, total_, seconds, terminal_ ? kBarWidth : 0);
  std::fprintf(stderr, terminal_ ? "\r%s\033[K" : "%s\n", text.c_str());
  shownInPlace_ = shownInPlace_ || terminal_;
  std::fflush(stderr);
}

double Progress::finish() {
  if (shownInPlace_) std::fputc('\n', stderr);
  std::fflush(stderr);
  return std::chrono::duration<double>(Clock::now() - start_).count();
}
