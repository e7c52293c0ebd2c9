#include "showreport/FrameStats.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {
// The smallest luma value at which `fraction` of the pixels lie at or below it.
int percentileOf(const std::array<int64_t, 256>& histogram, int64_t total, double fraction) {
  const auto rank = static_cast<int64_t>(std::ceil(fraction * static_cast<double>(total)));
  int64_t seen = 0;
  for (int v = 0; v < 256; ++v) {
    seen += histogram[v];
    if (seen >= std::max<int64_t>(rank, 1)) return v;
  }
  return 255;
}

bool insideAny(double t, const std::vector<std::pair<double, double>>& spans) {
  return std::any_of(spans.begin(), spans.end(),
                     [t](const auto& span) { return t >= span.first && t < span.second; });
}
}  // namespace

FrameStats measureFrame(const uint8_t* rgb, int width, int height) {
  FrameStats stats;
  const int64_t total = static_cast<int64_t>(width) * height;
  if (total <= 0) return stats;
  std::array<int64_t, 256> histogram{};
  for (int64_t i = 0; i < total; ++i) {
    const uint8_t* p = rgb + 3 * i;
    // 0.299, 0.587, 0.114 in 1/256ths (77 + 150 + 29 = 256): white stays 255.
    const int luma = (77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8;
    ++histogram[luma];
  }
  const int low = percentileOf(histogram, total, kLowPercentile);
  const int high = percentileOf(histogram, total, kHighPercentile);
  stats.spread = (high - low) / 255.0;
  // Whole luma levels: 0.05 of 255 is 12.75, so 13 levels or more from the median.
  const int median = percentileOf(histogram, total, 0.5);
  const auto minDeviation = static_cast<int>(std::ceil(kMinDeviation * 255.0));
  // The share of the pixels whose luma passes `inside`.
  auto share = [&](auto inside) {
    int64_t count = 0;
    for (int v = 0; v < 256; ++v) count += inside(v) ? histogram[v] : 0;
    return static_cast<double>(count) / total;
  };
  stats.deviant = share([&](int v) { return std::abs(v - median) >= minDeviation; });
  stats.lit = share([&](int v) { return v >= minDeviation; });
  stats.nearWhite = share([](int v) { return v >= kNearWhiteLuma; });
  stats.nearBlack = share([](int v) { return v <= kNearBlackLuma; });
  int brightest = 255;
  while (brightest > 0 && histogram[brightest] == 0) --brightest;
  stats.brightest = brightest / 255.0;
  return stats;
}

SceneSummary summarise(const std::string& name, double start, double end,
                       const std::vector<std::pair<double, double>>& designedBlank,
                       const std::vector<double>& times, const std::vector<FrameStats>& stats,
                       double frameSeconds) {
  SceneSummary s;
  s.name = name;
  s.start = start;
  s.end = end;
  std::optional<BlankSpan> run;  // the blank runs the last frame belongs to, if any
  std::optional<BlankSpan> undesignedRun;
  // Frame t joins the blank run (starting one), and `longest` keeps the longest run seen.
  auto extend = [frameSeconds](std::optional<BlankSpan>& run, BlankSpan& longest, double t) {
    if (!run) run = BlankSpan{t, t};
    run->to = t + frameSeconds;
    if (run->seconds() > longest.seconds()) longest = *run;
  };
  for (size_t i = 0; i < times.size() && i < stats.size(); ++i) {
    const double t = times[i];
    const FrameStats& f = stats[i];
    ++s.frames;
    if (f.nearWhite >= 0.95) ++s.whiteFrames;
    if (f.nearBlack >= 0.95) ++s.blackFrames;
    if (f.showsSomething()) {
      ++s.showing;
      run.reset();
      undesignedRun.reset();
      continue;
    }
    extend(run, s.longestBlank, t);
    if (insideAny(t, designedBlank)) {
      undesignedRun.reset();
      continue;
    }
    extend(undesignedRun, s.longestUndesignedBlank, t);
  }
  return s;
}
