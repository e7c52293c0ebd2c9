// What the benchmarks measure with: seconds on a clock, and the spread of a sample.
#pragma once

#include <time.h>

#include <algorithm>
#include <cmath>
#include <vector>

// Seconds on `clock`: CLOCK_MONOTONIC for wall time, CLOCK_PROCESS_CPUTIME_ID or
// CLOCK_THREAD_CPUTIME_ID for CPU time.
inline double clockSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

inline double monotonicSeconds() { return clockSeconds(CLOCK_MONOTONIC); }

// Linear interpolation between the nearest ranks (fraction 0..1); 0 for no values.
inline double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const double rank = fraction * (values.size() - 1);
  const auto low = static_cast<size_t>(std::floor(rank));
  const size_t high = std::min(low + 1, values.size() - 1);
  return values[low] + (values[high] - values[low]) * (rank - low);
}

inline double median(const std::vector<double>& values) { return percentile(values, 0.5); }
