// Progress of a long offline job on stderr: frames done, frames per second, time left. A
// terminal gets one bar redrawn in place; a log gets a plain line every few seconds.
//
// Calls: Progress(label, total), update(done) after each frame, finish() once.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class Progress {
 public:
  Progress(std::string label, int64_t total);
  void update(int64_t done);
  // Ends the bar's line. Returns the seconds since construction.
  double finish();

 private:
  using Clock = std::chrono::steady_clock;
  std::string label_;
  int64_t total_;
  bool terminal_;
  Clock::time_point start_;
  Clock::time_point lastShown_;
  bool shownInPlace_ = false;
};
