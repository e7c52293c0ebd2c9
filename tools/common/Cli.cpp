#include "common/Cli.h"

#include <SDL2/SDL.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Fatal.h"
#include "common/GitDescribe.h"

namespace cli {
namespace {
std::string programName = "lumorak";
volatile sig_atomic_t caughtSignal = 0;
// Temporary files, in fixed storage that a signal handler may read: registered and
// forgotten with the stop signals blocked, so a handler never sees half an entry.
constexpr int kMaxTemporaries = 40;
char temporaryPaths[kMaxTemporaries][PATH_MAX];
volatile sig_atomic_t temporaryCount = 0;
std::string dataLinkDir;  // a private folder holding only "data -> the --data folder"

// The data folder's marker: the music, which every renderer opens.
constexpr const char* kDataMarker = "deruz.mp3";

// Async-signal-safe: unlink() and rmdir() only. A folder goes when the files registered
// before it have emptied it.
void unlinkTemporaries() {
  for (int i = 0; i < temporaryCount; ++i) {
    if (unlink(temporaryPaths[i]) != 0 && errno == EISDIR) rmdir(temporaryPaths[i]);
  }
  temporaryCount = 0;
}

// Ends the process as the signal's default action would, after removing the temporary
// files: the shell sees 128 + the signal.
void dieOfSignal(int signal) {
  unlinkTemporaries();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigaction(signal, &action, nullptr);
  raise(signal);
}

void onStopSignal(int signal) {
  // A second Ctrl-C does not wait for the loop to notice the first.
  if (caughtSignal != 0) dieOfSignal(signal);
  caughtSignal = signal;
}

// Blocks SIGINT and SIGTERM for its lifetime.
class StopSignalsBlocked {
 public:
  StopSignalsBlocked() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, &previous_);
  }
  ~StopSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

void installStopHandler(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking read or write returns EINTR and the caller looks at the
  // flag. SA_NODEFER lets dieOfSignal() raise the signal again from inside the handler.
  action.sa_flags = SA_NODEFER;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void removeDataLink() {
  if (dataLinkDir.empty()) return;
  unlink((dataLinkDir + "/data").c_str());
  rmdir(dataLinkDir.c_str());
  dataLinkDir.clear();
}

[[noreturn]] void reportFatal(const char* message) {
  // A progress bar may be half drawn on the terminal: start on a clean line.
  if (isatty(STDERR_FILENO)) std::fputs("\r\033[K", stderr);
  std::fprintf(stderr, "%s: %s\n", programName.c_str(), message);
  removeTemporaries();
  std::exit(kFailed);
}
}  // namespace

void setProgram(const std::string& name) { programName = name; }
const std::string& program() { return programName; }

std::string versionLine(const std::string& name) {
  return name + " " LUMORAK_VERSION " (git " LUMORAK_GIT_DESCRIBE ")";
}

int fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", programName.c_str(), message.c_str());
  return kFailed;
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "%s: %s (see --help)\n", programName.c_str(), message.c_str());
  return kBadUsage;
}

bool parseNumber(const std::string& text, double& value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && errno != ERANGE && std::isfinite(value);
}

bool parseInteger(const std::string& text, long& value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  return *end == '\0' && errno != ERANGE;
}

// ---- Parser ----------------------------------------------------------------------------

Parser::Parser(std::string program, std::string help)
    : program_(std::move(program)), help_(std::move(help)) {
  setProgram(program_);
}

void Parser::flag(const std::string& name, bool* target) {
  entries_.push_back({name, false, nullptr, target});
}

void Parser::option(const std::string& name, Take take) {
  entries_.push_back({name, true, std::move(take), nullptr});
}

void Parser::text(const std::string& name, std::string* target) {
  option(name, [target](const std::string& value, std::string&) {
    *target = value;
    return true;
  });
}

void Parser::number(const std::string& name, double* target, double min, double max) {
  option(name, [name, target, min, max](const std::string& value, std::string& error) {
    double v = 0.0;
    if (!parseNumber(value, v)) {
      return failWith(error, name + " takes a number, not '" + value + "'");
    }
    if (v < min || v > max) {
      char range[96];
      std::snprintf(range, sizeof range, " must lie from %g to %g, not '%s'", min, max,
                    value.c_str());
      return failWith(error, name + range);
    }
    *target = v;
    return true;
  });
}

void Parser::integer(const std::string& name, int* target, int min, int max) {
  option(name, [name, target, min, max](const std::string& value, std::string& error) {
    long v = 0;
    if (!parseInteger(value, v) || v < min || v > max) {
      return failWith(error, name + " takes a whole number from " + std::to_string(min) + " to " +
                                 std::to_string(max) + ", not '" + value + "'");
    }
    *target = static_cast<int>(v);
    return true;
  });
}

void Parser::positional(Take take) { positional_ = std::move(take); }

const Parser::Entry* Parser::find(const std::string& name) const {
  for (const Entry& entry : entries_) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

Parser::Outcome Parser::parse(int argc, const char* const* argv, std::string& error) {
  // --help and --version answer whatever else is on the line, bad options included.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") return Outcome::kHelp;
    if (arg == "--version") return Outcome::kVersion;
  }
  auto refuse = [&error](const std::string& reason) {
    error = reason;
    return Outcome::kBadUsage;
  };
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    double ignored = 0.0;
    const bool isOption =
        !optionsEnded && arg.size() > 1 && arg[0] == '-' && !parseNumber(arg, ignored);
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (!isOption) {
      if (!positional_) return refuse("unexpected argument '" + arg + "'");
      if (!positional_(arg, error)) return Outcome::kBadUsage;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const Entry* entry = find(name);
    if (!entry) return refuse("unknown option '" + name + "'");
    if (!entry->takesValue) {
      if (equals != std::string::npos) return refuse(name + " takes no value");
      *entry->flag = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else {
      // The next word is the value, unless it is another option: "--out --fps 30" lacks one.
      double number = 0.0;
      if (i + 1 >= argc ||
          (argv[i + 1][0] == '-' && argv[i + 1][1] != '\0' && !parseNumber(argv[i + 1], number))) {
        return refuse(name + " needs a value");
      }
      value = argv[++i];
    }
    if (!entry->take(value, error)) return Outcome::kBadUsage;
  }
  return Outcome::kRun;
}

void Parser::parseOrExit(int argc, const char* const* argv) {
  std::string error;
  switch (parse(argc, argv, error)) {
    case Outcome::kRun: return;
    case Outcome::kHelp: std::fputs(help_.c_str(), stdout); std::exit(0);
    case Outcome::kVersion: std::printf("%s\n", versionLine(program_).c_str()); std::exit(0);
    case Outcome::kBadUsage: std::exit(usageError(error));
  }
}

// ---- Signals ---------------------------------------------------------------------------

void catchStopSignals() { installStopHandler(onStopSignal); }
void dieOnStopSignals() { installStopHandler(dieOfSignal); }

bool stopRequested() { return caughtSignal != 0; }
int stopStatus() { return 128 + caughtSignal; }

// ---- Temporary files -------------------------------------------------------------------

bool addTemporary(const std::string& path) {
  StopSignalsBlocked blocked;
  if (temporaryCount >= kMaxTemporaries || path.size() >= PATH_MAX) return false;
  std::memcpy(temporaryPaths[temporaryCount], path.c_str(), path.size() + 1);
  temporaryCount = temporaryCount + 1;
  return true;
}

void forgetTemporary(const std::string& path) {
  StopSignalsBlocked blocked;
  int kept = 0;
  for (int i = 0; i < temporaryCount; ++i) {
    if (path == temporaryPaths[i]) continue;
    if (kept != i) std::memcpy(temporaryPaths[kept], temporaryPaths[i], PATH_MAX);
    ++kept;
  }
  temporaryCount = kept;
}

void removeTemporaries() {
  StopSignalsBlocked blocked;
  unlinkTemporaries();
}

std::string temporaryNameFor(const std::string& path) {
  return parentOf(path) + "/." + baseOf(path) + ".part" + std::to_string(getpid());
}

bool commitTemporary(const std::string& temporary, const std::string& path, std::string& error) {
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    unlink(temporary.c_str());
    forgetTemporary(temporary);
    return false;
  }
  forgetTemporary(temporary);
  return true;
}

void installFatalReporter() { setFatalReporter(reportFatal); }

// ---- SDL -------------------------------------------------------------------------------

void prepareSdl() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // With no display named, SDL tries its drivers in turn before it settles on the
  // offscreen one, Wayland among them, and libwayland prints "error: XDG_RUNTIME_DIR is
  // invalid or not set" on the way. Naming the driver skips the probe; a display that is
  // named keeps SDL's own choice, and so does the user's SDL_VIDEODRIVER.
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (std::getenv("SDL_VIDEODRIVER") || (display && *display) || (wayland && *wayland)) return;
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
}

// ---- Data and paths --------------------------------------------------------------------

std::string absolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

bool enterDataRoot(const std::string& given, std::string& error) {
  if (!given.empty()) {
    char real[PATH_MAX];
    if (!realpath(given.c_str(), real) || !isDirectory(real)) {
      return failWith(error, "--data " + given + ": no such folder");
    }
    const std::string data = real;
    if (baseOf(data) == "data") {
      if (chdir(parentOf(data).c_str()) == 0) return true;
      return failWith(error, "cannot enter " + parentOf(data) + ": " + std::strerror(errno));
    }
    // A data folder by another name: the show wants "data/", so a private folder holds
    // a link of that name, removed at exit.
    char pattern[] = "/tmp/lumorak-data.XXXXXX";
    if (!mkdtemp(pattern)) {
      return failWith(error, std::string("cannot make a folder in /tmp: ") + std::strerror(errno));
    }
    dataLinkDir = pattern;
    std::atexit(removeDataLink);
    if (symlink(data.c_str(), (dataLinkDir + "/data").c_str()) != 0 ||
        chdir(dataLinkDir.c_str()) != 0) {
      return failWith(error, "cannot link " + data + " as data/: " + std::strerror(errno));
    }
    return true;
  }
  // The working folder, then the install the tool belongs to, then the source tree it
  // was built from: an installed tool uses its installed data even where the source
  // tree is still there.
  std::vector<std::string> roots = {"."};
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    // <prefix>/bin/tool -> <prefix>/share/lumorakdemo/data
    const std::string prefix = parentOf(parentOf(std::string(self, static_cast<size_t>(length))));
    roots.push_back(prefix + "/share/lumorakdemo");
  }
#ifdef LUMORAK_SOURCE_DIR
  roots.push_back(LUMORAK_SOURCE_DIR);
#endif
  std::string looked;
  for (const std::string& root : roots) {
    const std::string data = (root == "." ? std::string() : root + "/") + "data";
    if (access((data + "/" + kDataMarker).c_str(), R_OK) == 0) {
      if (chdir(root.c_str()) == 0) return true;
    }
    looked += (looked.empty() ? "" : ", ") + (root == "." ? "./data" : data);
  }
  error = "cannot find the show's data/ (looked in " + looked + "); point to it with --data DIR";
  return false;
}

void startOffline(const std::string& givenData) {
  catchStopSignals();
  installFatalReporter();
  prepareSdl();
  std::string error;
  if (!enterDataRoot(givenData, error)) std::exit(fail(error));
}

bool checkOutputFile(const std::string& path, std::string& error) {
  if (path.empty()) return failWith(error, "an empty file name");
  if (isDirectory(path)) return failWith(error, "cannot write " + path + ": it is a folder");
  const std::string dir = parentOf(path);
  if (!isDirectory(dir)) return failWith(error, "cannot write " + path + ": no folder " + dir);
  // The reason is that of the access() that failed: the folder's, or the file's.
  if (access(dir.c_str(), W_OK | X_OK) != 0 ||
      (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0)) {
    return failWith(error, "cannot write " + path + ": " + std::strerror(errno));
  }
  return true;
}

bool prepareOutputDir(const std::string& path, bool create, std::string& error) {
  if (path.empty()) return failWith(error, "an empty folder name");
  if (create && !isDirectory(path)) {
    // mkdir -p: each missing component in turn.
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
      const std::string part = path.substr(0, at);
      if (!isDirectory(part) && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
        return failWith(error, "cannot make the folder " + part + ": " + std::strerror(errno));
      }
      if (at == std::string::npos) break;
    }
  }
  if (!isDirectory(path)) return failWith(error, "cannot write into " + path + ": not a folder");
  if (access(path.c_str(), W_OK | X_OK) != 0) {
    return failWith(error, "cannot write into " + path + ": " + std::strerror(errno));
  }
  return true;
}

bool checkExtension(const std::string& what, const std::string& path, const std::string& extension,
                    std::string& error) {
  const std::string name = baseOf(path);
  if (name.size() > extension.size() &&
      strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) == 0) {
    return true;
  }
  return failWith(error, what + " " + path + ": the file is written as " + extension.substr(1) +
                             ", so its name must end in " + extension);
}

}  // namespace cli
