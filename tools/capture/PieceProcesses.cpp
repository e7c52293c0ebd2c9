#include "PieceProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "common/Cli.h"

extern char** environ;

namespace {
constexpr int kPollMs = 20;                 // between looks at the children while they run
constexpr double kStopGraceSeconds = 20.0;  // after SIGTERM, before SIGKILL

std::mutex stderrMutex;

void sleepMs(int ms) {
  timespec pause{0, ms * 1000000L};
  nanosleep(&pause, nullptr);  // a signal cuts it short, which is what we want
}

void writeLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(stderrMutex);
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    const ssize_t done = write(2, p, left);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;
    p += done;
    left -= static_cast<size_t>(done);
  }
}

// The environment with LP_NUM_THREADS=1, built before fork (no allocation after it).
std::vector<std::string> singleThreadEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "LP_NUM_THREADS=", 15) != 0) env.emplace_back(*e);
  }
  env.emplace_back("LP_NUM_THREADS=1");
  return env;
}

int statusOf(int wait) {
  if (WIFEXITED(wait)) return WEXITSTATUS(wait);
  return WIFSIGNALED(wait) ? 128 + WTERMSIG(wait) : 1;
}
}  // namespace

PieceProcesses::~PieceProcesses() { stopAll(); }

bool PieceProcesses::start(const std::vector<std::string>& args, std::string& error) {
  const std::vector<std::string> env = singleThreadEnvironment();
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  int messages[2];
  if (pipe2(messages, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::string("fork: ") + std::strerror(errno);
    close(messages[0]);
    close(messages[1]);
    return false;
  }
  if (pid == 0) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(143);  // the parent died before the line above
    // The parent's stop handlers do not belong here: the new program sets its own.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    dup2(messages[1], 2);
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    execve(argv[0], argv.data(), envp.data());
    const char text[] = "lumorak-capture: cannot start a piece's process\n";
    (void)!write(2, text, sizeof text - 1);
    _exit(127);
  }
  close(messages[1]);
  auto child = std::make_unique<Child>();
  child->pid = pid;
  child->running = true;
  child->stderrFd = messages[0];
  Child* c = child.get();
  child->relay = std::thread([this, c] {
    std::string line;
    char buffer[4096];
    ssize_t got;
    while ((got = read(c->stderrFd, buffer, sizeof buffer)) != 0) {
      if (got < 0) {
        if (errno == EINTR) continue;
        break;
      }
      for (ssize_t i = 0; i < got; ++i) {
        line += buffer[i];
        if (buffer[i] != '\n') continue;
        if (!quiet_) writeLine(line);
        line.clear();
      }
    }
    if (!line.empty() && !quiet_) writeLine(line + "\n");
  });
  children_.push_back(std::move(child));
  return true;
}

bool PieceProcesses::reap(Child& child, bool block) {
  if (!child.running) return true;
  int wait = 0;
  pid_t got;
  while ((got = waitpid(child.pid, &wait, block ? 0 : WNOHANG)) < 0 && errno == EINTR) {
  }
  if (got == 0) return false;
  child.running = false;
  child.status = got < 0 ? 1 : statusOf(wait);
  if (child.relay.joinable()) child.relay.join();
  close(child.stderrFd);
  return true;
}

PieceProcesses::Result PieceProcesses::wait() {
  Result result;
  for (;;) {
    if (cli::stopRequested()) {
      stopAll();
      result.outcome = Outcome::kStopped;
      return result;
    }
    bool running = false;
    for (size_t i = 0; i < children_.size(); ++i) {
      Child& child = *children_[i];
      if (!child.running || !reap(child, false)) {
        running = running || child.running;
        continue;
      }
      if (child.status != 0) {
        stopAll();
        result.outcome = Outcome::kFailed;
        result.failed = i;
        result.status = child.status;
        return result;
      }
    }
    if (!running) return result;
    sleepMs(kPollMs);
  }
}

void PieceProcesses::stopAll() {
  quiet_ = true;
  for (auto& child : children_) {
    if (child->running) kill(child->pid, SIGTERM);
  }
  const auto start = std::chrono::steady_clock::now();
  for (auto& child : children_) {
    while (!reap(*child, false)) {
      const double waited =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (waited > kStopGraceSeconds) {
        kill(child->pid, SIGKILL);
        reap(*child, true);
        break;
      }
      sleepMs(kPollMs);
    }
  }
}
