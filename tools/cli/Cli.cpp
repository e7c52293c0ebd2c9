#include "cli/Cli.h"

#include <SDL2/SDL.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/Fatal.h"
#include "cli/GitDescribe.h"
#include "cli/Terminal.h"
#include "resources/DataFile.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#include <winioctl.h>

#include <mutex>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace cli {
namespace {
std::string programName = "lumorak";
std::atomic<int> caughtSignal{0};  // lock-free: a handler may write it
// Temporary files, in fixed storage that a signal handler may read: registered and
// forgotten under TemporariesLocked, so a handler never sees half an entry.
constexpr int kMaxTemporaries = 40;
constexpr size_t kMaxPathBytes = 4096;  // with the terminating '\0'
char temporaryPaths[kMaxTemporaries][kMaxPathBytes];
volatile sig_atomic_t temporaryCount = 0;
std::string dataLinkDir;  // a private folder holding only "data -> the --data folder"

// The data folder's marker: the music, which every renderer opens.
constexpr const char* kDataMarker = "deruz.mp3";

// ---- What differs between POSIX and Windows; the rest is one path over std::filesystem.
#ifdef _WIN32
// Windows has signal() alone. SIGINT comes from Ctrl-C, on a console thread of its own;
// SIGTERM only from raise(). The C runtime resets the action before it calls a handler.

// Path separators, and whether names differ by case ("Data" is the folder "data").
constexpr const char* kSeparators = "/\\";
constexpr bool kNamesIgnoreCase = true;
constexpr InstallLayout kInstallLayout = InstallLayout::kBesideExecutable;

std::mutex temporariesMutex;

// The handler, on the console's thread, waits for this lock to read the temporaries.
struct TemporariesLocked {
  std::lock_guard<std::mutex> lock{temporariesMutex};
};

void installStopHandler(void (*handler)(int)) {
  std::signal(SIGINT, handler);
  std::signal(SIGTERM, handler);
}

// From inside a handler: without it a second Ctrl-C would get the default action, which
// ends the process on the spot and leaves the temporaries.
void rearmStopHandler(int signal, void (*handler)(int)) { std::signal(signal, handler); }

bool handedOver(int) { return false; }  // the console's thread waits for the lock

// A file that is still open (being written by the main thread) cannot be deleted: it
// stays, under its ".part" name.
void removeFromHandler(const char* path) {
  if (!DeleteFileA(path)) RemoveDirectoryA(path);
}

// No process dies of a signal here: it exits 128 + the signal, as a POSIX shell reports.
[[noreturn]] void endBySignal(int signal) { std::_Exit(128 + signal); }

int processId() { return _getpid(); }

// 0 when `folder` takes new files, else why not (an errno value). Access control lists
// decide that, which _access() does not read: a file is made there and deleted on close.
int folderRefusal(const std::string& folder) {
  const std::string probe = folder + "\\.lumorak-probe." + std::to_string(processId());
  const int fd =
      _open(probe.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return errno == EEXIST ? 0 : errno;
  _close(fd);
  return 0;
}

// 0 when `path` does not exist or may be overwritten (it is not read-only), else errno.
int fileRefusal(const std::string& path) {
  return _access(path.c_str(), 0) == 0 && _access(path.c_str(), 2) != 0 ? errno : 0;
}

// A Windows session always has its desktop: SDL's own driver is the one.
bool wantsOffscreenDriver() { return false; }

fs::path linkFolderBase(std::error_code& failure) { return fs::temp_directory_path(failure); }

// A junction: unlike a symbolic link it needs no administrator or Developer Mode.
void linkFolder(const std::string& target, const std::string& link, std::error_code& failure) {
  failure.clear();
  std::error_code ignored;
  const std::wstring substitute = L"\\??\\" + fs::absolute(target, ignored).wstring();
  const std::wstring linkPath = fs::path(link).wstring();
  if (!CreateDirectoryW(linkPath.c_str(), nullptr)) {
    failure.assign(static_cast<int>(GetLastError()), std::system_category());
    return;
  }
  const HANDLE handle =
      CreateFileW(linkPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    failure.assign(static_cast<int>(GetLastError()), std::system_category());
    RemoveDirectoryW(linkPath.c_str());
    return;
  }
  // REPARSE_DATA_BUFFER for a mount point (the user-mode headers lack it): the tag, the
  // length after the first 8 bytes, then byte offsets and lengths of the substitute name
  // and of the print name (left empty) in the path buffer after them, each ending in a 0.
  const size_t nameBytes = substitute.size() * sizeof(wchar_t);
  const size_t dataBytes = 4 * sizeof(WORD) + nameBytes + 2 * sizeof(wchar_t);
  std::vector<unsigned char> buffer(8 + dataBytes, 0);
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  const WORD header[6] = {static_cast<WORD>(dataBytes),
                          0,
                          0,
                          static_cast<WORD>(nameBytes),
                          static_cast<WORD>(nameBytes + sizeof(wchar_t)),
                          0};
  std::memcpy(buffer.data(), &tag, sizeof tag);
  std::memcpy(buffer.data() + sizeof tag, header, sizeof header);
  std::memcpy(buffer.data() + sizeof tag + sizeof header, substitute.c_str(), nameBytes);
  DWORD returned = 0;
  if (!DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                       static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr)) {
    failure.assign(static_cast<int>(GetLastError()), std::system_category());
  }
  CloseHandle(handle);
  if (failure) RemoveDirectoryW(linkPath.c_str());
}
#else
constexpr const char* kSeparators = "/";
constexpr bool kNamesIgnoreCase = false;
constexpr InstallLayout kInstallLayout = InstallLayout::kPrefix;

// Blocks SIGINT and SIGTERM for its lifetime; the handler runs on this thread alone.
class TemporariesLocked {
 public:
  TemporariesLocked() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, &previous_);
  }
  ~TemporariesLocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

pthread_t handlingThread;  // the thread that installed the handlers, and runs them

void installStopHandler(void (*handler)(int)) {
  handlingThread = pthread_self();
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking read or write returns EINTR and the caller looks at the
  // flag. SA_NODEFER lets dieOfSignal() raise the signal again from inside the handler.
  action.sa_flags = SA_NODEFER;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// sigaction() handlers stay installed.
void rearmStopHandler(int, void (*)(int)) {}

// A stop signal may land on any thread, which could meet the temporaries half changed:
// it is passed on to the installing thread, which takes it outside TemporariesLocked.
bool handedOver(int signal) {
#ifdef __EMSCRIPTEN__
  (void)signal;  // a page has one thread, and no signals come to it
  return false;
#else
  if (pthread_equal(pthread_self(), handlingThread)) return false;
  pthread_kill(handlingThread, signal);
  return true;
#endif
}

// Async-signal-safe: unlink() and rmdir() only.
void removeFromHandler(const char* path) {
  if (unlink(path) != 0 && errno == EISDIR) rmdir(path);
}

// Ends the process as the signal's default action would: the shell sees 128 + the signal.
[[noreturn]] void endBySignal(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigaction(signal, &action, nullptr);
  raise(signal);
  std::_Exit(128 + signal);  // not reached: the signal is unblocked (SA_NODEFER)
}

int processId() { return getpid(); }

int folderRefusal(const std::string& folder) {
  return access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

int fileRefusal(const std::string& path) {
  return access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0 ? errno : 0;
}

// With no display named, SDL probes its drivers, Wayland among them, and libwayland prints
// "error: XDG_RUNTIME_DIR is invalid or not set" on the way: naming the driver skips that.
bool wantsOffscreenDriver() {
#ifdef __EMSCRIPTEN__
  return false;  // the page's canvas is the display
#endif
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return !(std::getenv("SDL_VIDEODRIVER") || (display && *display) || (wayland && *wayland));
}

fs::path linkFolderBase(std::error_code& failure) {
  failure.clear();
  return "/tmp";
}

void linkFolder(const std::string& target, const std::string& link, std::error_code& failure) {
  fs::create_directory_symlink(target, link, failure);
}
#endif

// Ends the process as the signal would, after removing the temporary files.
void dieOfSignal(int signal) {
  rearmStopHandler(signal, dieOfSignal);
  if (handedOver(signal)) return;
  removeTemporaries();
  endBySignal(signal);
}

void onStopSignal(int signal) {
  rearmStopHandler(signal, onStopSignal);
  if (handedOver(signal)) return;
  // A second Ctrl-C does not wait for the loop to notice the first.
  if (caughtSignal != 0) dieOfSignal(signal);
  caughtSignal = signal;
}

bool isDirectory(const std::string& path) {
  std::error_code failure;
  return fs::is_directory(path, failure);
}

// The length of the root ("/", or "C:\" on Windows) that no parent is cut shorter than.
size_t rootLength(const std::string& path) { return fs::path(path).root_path().string().size(); }

std::string parentOf(const std::string& path) {
  const std::string parent = fs::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

std::string baseOf(const std::string& path) { return fs::path(path).filename().string(); }

// ASCII letters alike in either case, as strcasecmp() in the C locale.
bool equalIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

bool sameName(const std::string& a, const std::string& b) {
  return kNamesIgnoreCase ? equalIgnoringCase(a, b) : a == b;
}

// A new folder "lumorak-data.NNNNNNNN" in `base` for this run alone, open to its owner.
bool makePrivateFolder(const fs::path& base, std::string& made, std::error_code& failure) {
  auto seed = static_cast<unsigned>(processId()) * 2654435761u ^
              static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = seed * 1664525u + 1013904223u;
    const fs::path folder = base / formatted("lumorak-data.%08x", seed);
    // false with no error: the name is taken by another folder; try the next.
    if (fs::create_directory(folder, failure)) {
      made = folder.string();
      fs::permissions(folder, fs::perms::owner_all, failure);
      return !failure;
    }
    if (failure) return false;
  }
  failure = std::make_error_code(std::errc::file_exists);
  return false;
}

void removeDataLink() {
  if (dataLinkDir.empty()) return;
  std::error_code ignored;
  // Out of it first: Windows removes no folder that is a process's working folder.
  fs::current_path(parentOf(dataLinkDir), ignored);
  fs::remove(dataLinkDir + "/data", ignored);  // the link, not what it points at
  fs::remove(dataLinkDir, ignored);
  dataLinkDir.clear();
}

[[noreturn]] void reportFatal(const char* message) {
  // A progress bar may be half drawn on the terminal: start on a clean line.
  if (redrawsInPlace(stderr)) std::fputs("\r\033[K", stderr);
  std::exit(fail(message));
}
}  // namespace

void setProgram(const std::string& name) { programName = name; }
const std::string& program() { return programName; }

std::string versionLine(const std::string& name) {
  return name + " " LUMORAK_VERSION " (git " LUMORAK_GIT_DESCRIBE ")";
}

int fail(const std::string& message) {
  removeTemporaries();  // a failed run leaves nothing half-written
  std::fprintf(stderr, "%s: %s\n", programName.c_str(), message.c_str());
  return kFailed;
}

std::string formatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatText(format, args);
  va_end(args);
  return text;
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
      return failWith(
          error, name + formatted(" must lie from %g to %g, not '%s'", min, max, value.c_str()));
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

void Parser::positionals(std::vector<std::string>* target) {
  positional([target](const std::string& value, std::string&) {
    target->push_back(value);
    return true;
  });
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
  auto isOptionWord = [](const std::string& word) {
    double number = 0.0;
    return word.size() > 1 && word[0] == '-' && !parseNumber(word, number);
  };
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool isOption = !optionsEnded && isOptionWord(arg);
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
    const auto entry = std::find_if(entries_.begin(), entries_.end(),
                                    [&name](const Entry& e) { return e.name == name; });
    if (entry == entries_.end()) return refuse("unknown option '" + name + "'");
    if (!entry->takesValue) {
      if (equals != std::string::npos) return refuse(name + " takes no value");
      *entry->flag = true;
      continue;
    }
    // Otherwise the next word is the value, unless it is another option ("--out --fps 30").
    if (equals == std::string::npos && (i + 1 >= argc || isOptionWord(argv[i + 1]))) {
      return refuse(name + " needs a value");
    }
    const std::string value = equals != std::string::npos ? arg.substr(equals + 1) : argv[++i];
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

void catchStopSignals() { installStopHandler(onStopSignal); }
void dieOnStopSignals() { installStopHandler(dieOfSignal); }

bool stopRequested() { return caughtSignal != 0; }
int stopStatus() { return 128 + caughtSignal; }

// ---- Temporary files -------------------------------------------------------------------

bool addTemporary(const std::string& path) {
  TemporariesLocked locked;
  if (temporaryCount >= kMaxTemporaries || path.size() >= kMaxPathBytes) return false;
  std::memcpy(temporaryPaths[temporaryCount], path.c_str(), path.size() + 1);
  temporaryCount = temporaryCount + 1;
  return true;
}

void forgetTemporary(const std::string& path) {
  TemporariesLocked locked;
  int kept = 0;
  for (int i = 0; i < temporaryCount; ++i) {
    if (path == temporaryPaths[i]) continue;
    if (kept != i) std::memcpy(temporaryPaths[kept], temporaryPaths[i], kMaxPathBytes);
    ++kept;
  }
  temporaryCount = kept;
}

// Also from a stop handler: on POSIX the lock only blocks the stop signals, which is
// async-signal-safe. A folder goes when the files registered before it have emptied it.
void removeTemporaries() {
  TemporariesLocked locked;
  for (int i = 0; i < temporaryCount; ++i) removeFromHandler(temporaryPaths[i]);
  temporaryCount = 0;
}

std::string temporaryNameFor(const std::string& path) {
  return parentOf(path) + "/." + baseOf(path) + ".part" + std::to_string(processId());
}

bool commitTemporary(const std::string& temporary, const std::string& path, std::string& error) {
  // std::filesystem::rename replaces an older file of the name on Windows too, where
  // std::rename refuses to.
  std::error_code failure;
  fs::rename(temporary, path, failure);
  if (failure) std::remove(temporary.c_str());
  forgetTemporary(temporary);
  return !failure || failWith(error, "cannot write " + path + ": " + failure.message());
}

bool writeWhole(const std::string& path, const WriteTo& write, std::string& error) {
  const std::string temporary = temporaryNameFor(path);
  addTemporary(temporary);
  error.clear();
  if (write(temporary, error)) return commitTemporary(temporary, path, error);
  std::remove(temporary.c_str());
  forgetTemporary(temporary);
  return error.empty() ? failWith(error, "cannot write " + path) : false;
}

bool writeTextWhole(const std::string& path, const std::string& text, std::string& error) {
  auto write = [&text](const std::string& temporary, std::string&) {
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    const bool put = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return file && std::fclose(file) == 0 && put;
  };
  return writeWhole(path, write, error);
}

void installFatalReporter() { setFatalReporter(reportFatal); }

void prepareSdl() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (wantsOffscreenDriver()) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
}

// ---- Data and paths --------------------------------------------------------------------

std::string absolutePath(const std::string& path) {
  const fs::path given(path);
  if (path.empty() || given.is_absolute()) return path;
  std::error_code failure;
  // "\x" and "D:x" on Windows: from the root of the current drive, from drive D's own
  // current folder. The system knows those.
  if (given.has_root_path()) {
    const fs::path resolved = fs::absolute(given, failure);
    return failure ? path : resolved.string();
  }
  const fs::path cwd = fs::current_path(failure);
  if (failure) return path;
  // Joined as given, not normalised: the messages show the path the way the user wrote it.
  return cwd.string() + "/" + path;
}

std::vector<std::string> dataRoots(const std::string& exeFolder, InstallLayout layout) {
  std::vector<std::string> roots = {"."};
  if (!exeFolder.empty()) {
    roots.push_back(layout == InstallLayout::kPrefix ? parentOf(exeFolder) + "/share/lumorakdemo"
                                                     : exeFolder);
  }
#ifdef LUMORAK_SOURCE_DIR
  roots.push_back(LUMORAK_SOURCE_DIR);
#endif
  return roots;
}

std::string executableFolder() {
  char* base = SDL_GetBasePath();  // with a trailing separator
  if (!base) return "";
  std::string folder = base;
  SDL_free(base);
  while (folder.size() > rootLength(folder) && std::strchr(kSeparators, folder.back()) != nullptr) {
    folder.pop_back();
  }
  return folder;
}

bool enterDataRoot(const std::string& given, std::string& error) {
  std::error_code failure;
  if (!given.empty()) {
    const fs::path real = fs::canonical(given, failure);
    if (failure || !isDirectory(real.string())) {
      return failWith(error, "--data " + given + ": no such folder");
    }
    const std::string data = real.string();
    if (sameName(baseOf(data), "data")) {
      fs::current_path(parentOf(data), failure);
      return !failure ||
             failWith(error, "cannot enter " + parentOf(data) + ": " + failure.message());
    }
    // A data folder by another name: the show wants "data/", so a private folder holds
    // a link of that name, removed at exit.
    static const bool removedAtExit = std::atexit(removeDataLink) == 0;
    (void)removedAtExit;
    removeDataLink();  // an earlier call's
    const fs::path base = linkFolderBase(failure);
    if (failure || !makePrivateFolder(base, dataLinkDir, failure)) {
      return failWith(error, "cannot make a folder in " + base.string() + ": " + failure.message());
    }
    linkFolder(data, dataLinkDir + "/data", failure);
    if (!failure) fs::current_path(dataLinkDir, failure);
    return !failure || failWith(error, "cannot link " + data + " as data/: " + failure.message());
  }
  // An installed tool uses its installed data even where its source tree is still there.
  std::string looked;
  for (const std::string& root : dataRoots(executableFolder(), kInstallLayout)) {
    const std::string data = (root == "." ? std::string() : root + "/") + "data";
    if (isReadableFile(data + "/" + kDataMarker)) {
      fs::current_path(root, failure);
      if (!failure) return true;
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
  // The reason is that of the check that failed: the folder's, or the file's.
  int refusal = folderRefusal(dir);
  if (refusal == 0) refusal = fileRefusal(path);
  return refusal == 0 || failWith(error, "cannot write " + path + ": " + std::strerror(refusal));
}

bool prepareOutputDir(const std::string& path, bool create, std::string& error) {
  if (path.empty()) return failWith(error, "an empty folder name");
  if (create && !isDirectory(path)) {
    // mkdir -p: each missing component in turn. One that exists as a file is left for
    // the next to fail on.
    const size_t root = std::max<size_t>(rootLength(path), 1);
    for (size_t at = path.find_first_of(kSeparators, root);;
         at = path.find_first_of(kSeparators, at + 1)) {
      const std::string part = path.substr(0, at);
      std::error_code failure;
      if (!isDirectory(part) && !fs::create_directory(part, failure) && failure &&
          failure != std::errc::file_exists) {
        return failWith(error, "cannot make the folder " + part + ": " + failure.message());
      }
      if (at == std::string::npos) break;
    }
  }
  if (!isDirectory(path)) return failWith(error, "cannot write into " + path + ": not a folder");
  const int refusal = folderRefusal(path);
  return refusal == 0 ||
         failWith(error, "cannot write into " + path + ": " + std::strerror(refusal));
}

bool checkExtension(const std::string& what, const std::string& path, const std::string& extension,
                    std::string& error) {
  const std::string name = baseOf(path);
  return (name.size() > extension.size() &&
          equalIgnoringCase(name.substr(name.size() - extension.size()), extension)) ||
         failWith(error, what + " " + path + ": the file is written as " + extension.substr(1) +
                             ", so its name must end in " + extension);
}

}  // namespace cli
