#include "cli/ChildProcess.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace {
// Our environment with `set` ("NAME=value" each) in place of any of the same names.
std::vector<std::string> environmentWith(const std::vector<std::string>& set) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const bool replaced = std::any_of(set.begin(), set.end(), [e](const std::string& s) {
      return std::strncmp(*e, s.c_str(), s.find('=') + 1) == 0;
    });
    if (!replaced) env.emplace_back(*e);
  }
  env.insert(env.end(), set.begin(), set.end());
  return env;
}

std::vector<char*> pointersTo(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}
}  // namespace

bool writeAll(int fd, const void* data, size_t bytes) {
  const auto* p = static_cast<const char*>(data);
  while (bytes > 0) {
    const ssize_t done = write(fd, p, bytes);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done;
    bytes -= static_cast<size_t>(done);
  }
  return true;
}

bool ChildProcess::start(const Options& options, std::string& error) {
  const std::vector<std::string> env = environmentWith(options.env);
  const std::vector<char*> argv = pointersTo(options.args);
  const std::vector<char*> envp = pointersTo(env);
  const std::string& cannotStart = options.cannotStart;
  const size_t reason = std::min(cannotStart.find("%s"), cannotStart.size());
  // fds[0], fds[1]: the child's stderr; then each input's read and write ends.
  std::vector<int> fds(2 * (options.inputs + 1), -1);
  bool piped = true;
  for (size_t i = 0; i < fds.size() && piped; i += 2) piped = pipe2(&fds[i], O_CLOEXEC) == 0;
  const pid_t parent = getpid();
  pid_ = piped ? fork() : -1;
  if (pid_ < 0) {
    error = std::string(piped ? "fork: " : "pipe: ") + std::strerror(errno);
    for (int fd : fds) {
      if (fd >= 0) close(fd);
    }
    return false;
  }
  if (pid_ == 0) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, options.deathSignal);
    if (getppid() != parent) _exit(128 + options.deathSignal);  // died before the line above
    // This process's stop handlers do not belong here: the new program sets its own.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    dup2(fds[1], 2);
    // The inputs' read ends are moved clear of 3, 4, ... before they are placed there.
    for (int i = 0; i < options.inputs; ++i) fds[2 * i + 2] = fcntl(fds[2 * i + 2], F_DUPFD, 10);
    for (int i = 0; i < options.inputs; ++i) dup2(fds[2 * i + 2], 3 + i);
    for (int fd = 3 + options.inputs; fd < 1024; ++fd) close(fd);
    execvpe(argv[0], argv.data(), envp.data());
    const char* why = std::strerror(errno);
    writeAll(2, cannotStart.data(), reason);
    if (reason < cannotStart.size()) {
      writeAll(2, why, std::strlen(why));
      writeAll(2, cannotStart.data() + reason + 2, cannotStart.size() - reason - 2);
    }
    _exit(127);
  }
  close(fds[1]);
  stderr_ = fds[0];
  inputs_.clear();
  for (int i = 0; i < options.inputs; ++i) {
    close(fds[2 * i + 2]);
    inputs_.push_back(fds[2 * i + 3]);
  }
  running_ = true;
  reader_ = std::thread([this, onLine = options.onLine] {
    std::string line;
    char buffer[4096];
    for (;;) {
      const ssize_t got = read(stderr_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      line.append(buffer, static_cast<size_t>(got));
      for (size_t end; (end = line.find('\n')) != std::string::npos; line.erase(0, end + 1)) {
        if (onLine) onLine(line.substr(0, end));
      }
    }
    if (!line.empty() && onLine) onLine(line);
  });
  return true;
}

bool ChildProcess::reap(bool block) {
  if (!running_) return true;
  int wait = 0;
  pid_t got;
  while ((got = waitpid(pid_, &wait, block ? 0 : WNOHANG)) < 0 && errno == EINTR) {
  }
  if (got == 0) return false;
  running_ = false;
  signalled_ = got > 0 && WIFSIGNALED(wait);
  status_ = got > 0 && WIFEXITED(wait) ? WEXITSTATUS(wait) : signalled_ ? 128 + WTERMSIG(wait) : 1;
  reader_.join();
  close(stderr_);
  return true;
}
