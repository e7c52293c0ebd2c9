// Progress of a long offline job on stderr: frames done of total, the job's own frames per
// second and the time left. On a terminal one bar is redrawn in place (at most ten times
// a second); otherwise a plain line is printed every few seconds, so logs stay readable.
//
// Calls: Progress(label, total), update(done) after each frame, finish() once.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class Progress {
 public:
  Progress(std::string label, int64_t total, std::FILE* out = stderr);
  void update(int64_t done);
  // Ends the bar's line. Returns the seconds since construction.
  double finish();

 private:
  using Clock = std::chrono::steady_clock;
  std::string label_;
  int64_t total_;
  std::FILE* out_;
  bool terminal_;
  Clock::time_point start_;
  Clock::time_point lastShown_;
  bool shownInPlace_ = false;
};
