// The conventions every tool and bench shares, in one place: options (--opt VALUE and
// --opt=VALUE, --help, --version, a bad option is one line and exit 2), exit statuses,
// stopping on Ctrl-C and SIGTERM, the show's fatal errors as one line on stderr, SDL
// prepared for a run without a display, finding the show's data/, and outputs checked
// before the first frame is rendered. Each part's rules are stated where it is declared.
//
// Typical main():
//   cli::Parser args("showreport", kHelp);
//   args.option("--out-dir", ...); args.positional(...);
//   args.parseOrExit(argc, argv);               // returns only to run
//   outDir = cli::absolutePath(outDir);         // before the run changes folder
//   if (!cli::prepareOutputDir(outDir, true, error)) return cli::fail(error);
//   cli::startOffline(cli::absolutePath(data));  // signals, reporter, SDL hints, chdir
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cli {

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

// The name that prefixes every message; the Parser sets it.
void setProgram(const std::string& name);
const std::string& program();
// "NAME 1.0.0 (git 4b45135)": the project's version and `git describe` at build time.
std::string versionLine(const std::string& name);

// Removes the registered temporary files, then "NAME: message" on stderr; returns kFailed.
int fail(const std::string& message);
// "NAME: message (see --help)" on stderr; returns kBadUsage.
int usageError(const std::string& message);
// Sets `error` to `reason` and returns false: how a check gives its one-line reason.
inline bool failWith(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

// printf into a string of any length.
#ifdef _WIN32
#define LUMORAK_PRINTF_LIKE __attribute__((format(gnu_printf, 1, 2)))
#else
#define LUMORAK_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#endif
std::string formatted(const char* format, ...) LUMORAK_PRINTF_LIKE;

// Strict number reading: the whole text, finite.
bool parseNumber(const std::string& text, double& value);
bool parseInteger(const std::string& text, long& value);

class Parser {
 public:
  // Takes a value and returns false with a reason when it is no good.
  using Take = std::function<bool(const std::string& value, std::string& error)>;
  enum class Outcome { kRun, kHelp, kVersion, kBadUsage };

  // `help` is the whole usage text, printed on stdout for --help.
  Parser(std::string program, std::string help);

  void flag(const std::string& name, bool* target);
  void option(const std::string& name, Take take);
  void text(const std::string& name, std::string* target);
  // A number within [min, max]; the error names the range.
  void number(const std::string& name, double* target, double min, double max);
  void integer(const std::string& name, int* target, int min, int max);
  // Arguments that are not options, in order. Without a handler any is refused.
  void positional(Take take);
  // positional() that keeps every such argument in `target`, for the tool to count.
  void positionals(std::vector<std::string>* target);

  // Parses argv[1..]. "--" ends the options. --help and --version win wherever they are.
  // A word starting with '-' is an option, never a value or a positional argument, unless
  // it reads as a number. An unknown option is "unknown option '--x'".
  Outcome parse(int argc, const char* const* argv, std::string& error);
  // parse() for main(): prints the help or the version and exits 0, or the error and
  // exits 2; returns only when the tool is to run.
  void parseOrExit(int argc, const char* const* argv);

 private:
  struct Entry {
    std::string name;
    bool takesValue;
    Take take;
    bool* flag;
  };

  std::string program_;
  std::string help_;
  std::vector<Entry> entries_;
  Take positional_;
};

// ---- Stopping on Ctrl-C and SIGTERM --------------------------------------------------
// For tools with a frame loop: SIGINT and SIGTERM only record the signal (a blocking read
// or write returns EINTR); the loop polls stopRequested() and returns stopStatus(). A
// second signal ends the process at once. Call before prepareSdl()/SDL_Init.
void catchStopSignals();
// For tools with no loop to poll: a stop signal removes the registered temporary files
// and ends the process, status 128 + the signal (on Windows an open file is left).
void dieOnStopSignals();
bool stopRequested();
int stopStatus();  // 128 + the signal

// ---- Temporary files -------------------------------------------------------------------
// Files removed when the run ends early, so that no half-written output is left: write
// under temporaryNameFor(path), registered before it is made, and commitTemporary() it.
// A folder registered after its files goes once they have. At most 40; false when full.
bool addTemporary(const std::string& path);
void forgetTemporary(const std::string& path);
void removeTemporaries();
// "DIR/.NAME.partPID" beside `path`: same folder, so the rename is atomic.
std::string temporaryNameFor(const std::string& path);
// Renames `temporary` to `path` and forgets it; on failure removes it, with a reason.
bool commitTemporary(const std::string& temporary, const std::string& path, std::string& error);
// `path` whole or not at all: `write` fills the registered temporary beside it, which is
// committed when it returns true and removed when it returns false. False with a reason:
// write's own, else "cannot write PATH".
using WriteTo = std::function<bool(const std::string& temporary, std::string& error)>;
bool writeWhole(const std::string& path, const WriteTo& write, std::string& error);
// `text` as the file `path`, through writeWhole.
bool writeTextWhole(const std::string& path, const std::string& text, std::string& error);

// ---- The show's fatal errors ------------------------------------------------------------
// Replaces the show's reporter (message box, exit 0) with one line on stderr and exit 1.
void installFatalReporter();

// ---- SDL ---------------------------------------------------------------------------------
// Before SDL_Init: no SDL signal handlers, and the offscreen driver where no DISPLAY,
// WAYLAND_DISPLAY or SDL_VIDEODRIVER is set (never on Windows, which has a desktop).
void prepareSdl();

// ---- Data and paths -----------------------------------------------------------------------
// `path` made absolute against the current working directory ("" stays "").
std::string absolutePath(const std::string& path);
// Where an installed tool's data/ lies, from the folder of its executable.
enum class InstallLayout {
  kPrefix,            // <prefix>/bin/TOOL and <prefix>/share/lumorakdemo/data (Linux)
  kBesideExecutable,  // TOOL.exe beside data/, as the Windows zip unpacks
};
// The folders that may hold data/, in the order enterDataRoot() tries them: ".", the
// install of the executable in `exeFolder` (none when ""), the source tree.
std::vector<std::string> dataRoots(const std::string& exeFolder, InstallLayout layout);
// The folder of the running executable, without a trailing separator; "" when unknown.
std::string executableFolder();
// Changes into the folder holding the show's data/. `given` (--data, may be empty) is the
// data folder itself; one by another name is reached through a link named data in a
// private temporary folder, removed at exit (on Windows a junction, which wants NTFS).
bool enterDataRoot(const std::string& given, std::string& error);

// catchStopSignals(), installFatalReporter(), prepareSdl() and enterDataRoot() before
// OfflineShow::start(); on no data it prints the reason and exits kFailed.
void startOffline(const std::string& givenData);

// A file that can be written: its folder exists and takes files, and it is no folder.
bool checkOutputFile(const std::string& path, std::string& error);
// A folder that takes files; made first, with its parents, when `create`.
bool prepareOutputDir(const std::string& path, bool create, std::string& error);
// The file name ends in `extension` (".mp4"; any case); otherwise a reason naming `what`.
bool checkExtension(const std::string& what, const std::string& path, const std::string& extension,
                    std::string& error);

}  // namespace cli
