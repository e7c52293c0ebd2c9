// A child process of a tool (fork and exec): its own process group, so a Ctrl-C reaches
// only this process, which stops the child as it sees fit (send()); PR_SET_PDEATHSIG
// should this process die first; SIGINT and SIGTERM at their defaults; stdin from
// /dev/null, stdout shared, stderr read line by line by a thread of ours; `inputs` pipes
// into its descriptors 3, 4, ..., every other one closed. Nothing is allocated between
// fork and exec.
//
// Calls: start(); write into input(i) and close it (the write ends are the caller's);
// reap() until it returns true (by then the last line has been read), then status().
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> args;  // args[0] is looked up on PATH unless it holds a '/'
    std::vector<std::string> env;   // "NAME=value" each, set over our environment
    int inputs = 0;                 // pipes into the child's descriptors 3, 4, ...
    int deathSignal = SIGKILL;      // the child's when this process dies
    // Written to the child's stderr when exec fails (it exits 127); "%s" is the reason.
    std::string cannotStart;
    // Each line of the child's stderr without its '\n', on the reading thread.
    std::function<void(const std::string& line)> onLine;
  };

  // A child still running is killed (SIGKILL) and reaped: the reading thread ends with it.
  ~ChildProcess() {
    send(SIGKILL);
    reap(true);
  }

  // False with a reason ("pipe: ...", "fork: ...") when no child was started.
  bool start(const Options& options, std::string& error);
  // The write end of the pipe into the child's descriptor 3 + i.
  int input(int i) const { return inputs_[static_cast<size_t>(i)]; }
  bool running() const { return running_; }
  // Sends `signal` to the child until it has been reaped.
  void send(int signal) {
    if (running_) kill(pid_, signal);
  }
  // True once the child has exited and been reaped; waits for that when `block`.
  bool reap(bool block);
  // Once reaped: its exit status, or 128 + the signal that ended it (1 when unknown).
  int status() const { return status_; }
  bool signalled() const { return signalled_; }

 private:
  pid_t pid_ = -1;
  bool running_ = false;
  int status_ = 0;
  bool signalled_ = false;
  int stderr_ = -1;  // the read end of the child's stderr
  std::vector<int> inputs_;
  std::thread reader_;
};

// Writes all `bytes` to `fd` (a pipe), again after EINTR; false once a write fails.
bool writeAll(int fd, const void* data, size_t bytes);
