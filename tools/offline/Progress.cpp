#include "offline/Progress.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cli/Terminal.h"

namespace {
constexpr double kTerminalInterval = 0.1;  // seconds between redraws of the bar
constexpr double kLogInterval = 5.0;       // seconds between plain lines
constexpr int kBarWidth = 30;              // characters

std::string clockText(double seconds) {
  const long whole = std::lround(std::max(seconds, 0.0));
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}
}  // namespace

Progress::Progress(std::string label, int64_t total, std::FILE* out)
    : label_(std::move(label)),
      total_(total),
      out_(out),
      terminal_(redrawsInPlace(out)),
      start_(Clock::now()),
      lastShown_(start_) {}

std::string Progress::line(const std::string& label, int64_t done, int64_t total, double seconds,
                           int barWidth) {
  const double share = total > 0 ? static_cast<double>(done) / total : 1.0;
  const double fps = seconds > 0.0 ? done / seconds : 0.0;
  const double left = fps > 0.0 ? (total - done) / fps : 0.0;
  std::string text = label + " ";
  if (barWidth > 0) {
    const int filled = static_cast<int>(share * barWidth);
    text += "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "] ";
  }
  char numbers[128];
  std::snprintf(numbers, sizeof numbers, "%lld/%lld frames  %.1f fps  %s left",
                static_cast<long long>(done), static_cast<long long>(total), fps,
                fps > 0.0 ? clockText(left).c_str() : "?:??");
  return text + numbers;
}

void Progress::update(int64_t done) {
  const Clock::time_point now = Clock::now();
  const double sinceShown = std::chrono::duration<double>(now - lastShown_).count();
  if (done < total_ && sinceShown < (terminal_ ? kTerminalInterval : kLogInterval)) return;
  lastShown_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  if (terminal_) {
    std::fprintf(out_, "\r%s\033[K", line(label_, done, total_, seconds, kBarWidth).c_str());
    shownInPlace_ = true;
  } else {
    std::fprintf(out_, "%s\n", line(label_, done, total_, seconds, 0).c_str());
  }
  std::fflush(out_);
}

double Progress::finish() {
  if (shownInPlace_) std::fputc('\n', out_);
  std::fflush(out_);
  return std::chrono::duration<double>(Clock::now() - start_).count();
}
