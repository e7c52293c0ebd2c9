// The child processes of lumorak-capture --jobs: this program again, one per piece, each
// rendering with llvmpipe on one thread (two single-threaded renderers side by side beat
// one with two threads). A stop reaches them as one SIGTERM from here (a second would end
// a child before it removed its temporary files). Their stderr is copied to ours a whole
// line at a time, so progress lines never interleave, and dropped once stopping.
//
// Calls: start() for each piece, then wait(); stopAll() (or the destructor) ends the rest.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cli/ChildProcess.h"

class PieceProcesses {
 public:
  ~PieceProcesses();

  // Starts `args` (args[0] an absolute path) with LP_NUM_THREADS=1. False with a reason.
  bool start(const std::vector<std::string>& args, std::string& error);

  enum class Outcome { kDone, kFailed, kStopped };
  struct Result {
    Outcome outcome = Outcome::kDone;
    size_t failed = 0;  // kFailed: the child (in start() order) that failed first
    int status = 0;     // its exit status, or 128 + the signal that ended it
  };
  // Until every child has exited 0, one has failed, or a stop was requested; the others
  // are then stopped, so none is left running.
  Result wait();

  // SIGTERM to every child still running, then reaps them all (SIGKILL after 5 s).
  void stopAll();

 private:
  std::vector<std::unique_ptr<ChildProcess>> children_;
  std::atomic<bool> quiet_{false};
};
