// The shared command-line conventions (tools/cli/Cli.h) that the process tests reach
// only through one tool at a time: option edge cases, stop signals, output checks,
// temporary files, finding the data. Portable: the Windows build runs it under Wine, with
// cases of its own for Windows paths.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Cli.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#endif

namespace {
namespace fs = std::filesystem;

int processId() {
#ifdef _WIN32
  return _getpid();
#else
  return getpid();
#endif
}

void touch(const std::string& path, const char* text = "") {
  std::FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_TRUE(file) << path;
  std::fputs(text, file);
  std::fclose(file);
}

struct Parsed {
  cli::Parser::Outcome outcome;
  std::string error;
  std::string out;
  bool quiet = false;
  std::vector<std::string> words;
};

Parsed parse(std::vector<const char*> args) {
  Parsed p;
  cli::Parser parser("tool", "usage: tool\n");
  parser.text("--out", &p.out);
  parser.flag("--quiet", &p.quiet);
  parser.positional([&p](const std::string& value, std::string&) {
    p.words.push_back(value);
    return true;
  });
  args.insert(args.begin(), "tool");
  p.outcome = parser.parse(static_cast<int>(args.size()), args.data(), p.error);
  return p;
}

TEST(CliTest, OptionsTakeTheirValueEitherWayAndNeverSwallowAnotherOption) {
  EXPECT_EQ(parse({"--out=a=b"}).out, "a=b");
  EXPECT_EQ(parse({"--out="}).out, "");
  EXPECT_EQ(parse({"--out", "-5"}).out, "-5");  // a negative number is a value
  EXPECT_EQ(parse({"--out", "--quiet"}).error, "--out needs a value");
  EXPECT_EQ(parse({"--quiet=1"}).error, "--quiet takes no value");
  EXPECT_EQ(parse({"-x"}).error, "unknown option '-x'");
  EXPECT_EQ(parse({"--out=x", "--nope=3"}).error, "unknown option '--nope'");
  // Words after "--" are arguments, whatever they look like; so are negative numbers.
  EXPECT_EQ(parse({"-2.5", "--", "--quiet", "--help"}).words,
            (std::vector<std::string>{"-2.5", "--quiet", "--help"}));
  EXPECT_EQ(parse({"--nope", "--help"}).outcome, cli::Parser::Outcome::kHelp);
  EXPECT_EQ(parse({"--version", "--nope"}).outcome, cli::Parser::Outcome::kVersion);
}

TEST(CliTest, NumbersAreReadWhole) {
  double v = 0.0;
  long n = 0;
  EXPECT_TRUE(cli::parseNumber("1e2", v));
  EXPECT_EQ(v, 100.0);
  EXPECT_FALSE(cli::parseNumber("12abc", v));
  EXPECT_FALSE(cli::parseNumber(" 1", v));
  EXPECT_FALSE(cli::parseNumber("nan", v));
  EXPECT_FALSE(cli::parseNumber("1e999", v));
  EXPECT_FALSE(cli::parseInteger("3.0", n));
  EXPECT_FALSE(cli::parseInteger("99999999999999999999", n));
}

// How a process ends by a stop signal: killed by it on POSIX, where the shell reports
// 128 + the signal; on Windows, exited with that status.
#ifdef _WIN32
::testing::ExitedWithCode endedBy(int signal) { return ::testing::ExitedWithCode(128 + signal); }
#else
::testing::KilledBySignal endedBy(int signal) { return ::testing::KilledBySignal(signal); }
#endif

// Each case installs its handlers in a child process of its own. The temporary file has a
// fixed name: on Windows the child runs this test afresh, with another process id.
TEST(CliDeathTest, AStopSignalRemovesTheTemporariesAndEndsTheProcess) {
  const std::string path = (fs::temp_directory_path() / "cli_test.stop.part").string();
  // A tool with no loop: at once.
  EXPECT_EXIT(
      {
        cli::dieOnStopSignals();
        cli::addTemporary(path);
        touch(path);
        std::raise(SIGTERM);
        std::_Exit(0);
      },
      endedBy(SIGTERM), "");
  EXPECT_FALSE(fs::exists(path));
  // A tool with a loop: the first signal is a request, and a second does not wait for it.
  EXPECT_EXIT(
      {
        cli::catchStopSignals();
        std::raise(SIGINT);
        if (!cli::stopRequested() || cli::stopStatus() != 130) std::_Exit(1);
        cli::addTemporary(path);
        touch(path);
        std::raise(SIGINT);
        std::_Exit(0);
      },
      endedBy(SIGINT), "");
  EXPECT_FALSE(fs::exists(path));
}

#ifndef _WIN32
// A stop signal that lands on another thread is handed to the thread that installed the
// handlers, where the list of temporaries cannot be half changed. That thread keeps SIGTERM
// blocked until it waits in ppoll, which takes the handed-over signal at once (EINTR);
// were the handler run where the signal landed, ppoll would wait out its two seconds.
bool aStopOnAnotherThreadInterruptsTheInstallingOne() {
  cli::catchStopSignals();
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigset_t waiting;
  pthread_sigmask(SIG_BLOCK, &term, &waiting);
  std::thread other([&term] {
    pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
    pthread_kill(pthread_self(), SIGTERM);
  });
  other.join();
  const timespec twoSeconds{2, 0};
  return ppoll(nullptr, 0, &twoSeconds, &waiting) < 0 && errno == EINTR && cli::stopStatus() == 143;
}

TEST(CliDeathTest, AStopSignalOnAnotherThreadIsHandledOnTheInstallingThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(aStopOnAnotherThreadInterruptsTheInstallingOne() ? 0 : 1),
              ::testing::ExitedWithCode(0), "");
}
#endif

// Each test in a new folder of its own, removed after it; the working folder is put back.
class CliFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    start_ = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("cli_test." + std::to_string(processId()) +
                                                      "." + std::to_string(++count_));
    ASSERT_TRUE(fs::create_directory(dir)) << dir;
    dir_ = dir.string();
  }
  void TearDown() override {
    fs::current_path(start_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string dir_;
  fs::path start_;
  static inline int count_ = 0;
};

TEST_F(CliFilesTest, OutputChecksRefuseWhatCannotBeWrittenAndMakeFolders) {
  std::string error;
  EXPECT_TRUE(cli::checkOutputFile(dir_ + "/a.mp4", error)) << error;
  EXPECT_FALSE(cli::checkOutputFile(dir_, error));
  EXPECT_EQ(error, "cannot write " + dir_ + ": it is a folder");
  EXPECT_FALSE(cli::checkOutputFile(dir_ + "/no/a.mp4", error));
  EXPECT_EQ(error, "cannot write " + dir_ + "/no/a.mp4: no folder " + dir_ + "/no");
  EXPECT_FALSE(cli::prepareOutputDir(dir_ + "/x/y", false, error));
  EXPECT_TRUE(cli::prepareOutputDir(dir_ + "/x/y/", true, error)) << error;
  EXPECT_TRUE(fs::is_directory(dir_ + "/x/y"));
  touch(dir_ + "/plain");
  EXPECT_FALSE(cli::prepareOutputDir(dir_ + "/plain/sub", true, error));
}

TEST_F(CliFilesTest, ExtensionsMatchInAnyCaseAndOnlyAsAnEnding) {
  std::string error;
  EXPECT_TRUE(cli::checkExtension("--out", "dir.d/V.MP4", ".mp4", error));
  EXPECT_FALSE(cli::checkExtension("--out", ".mp4", ".mp4", error));  // no name before it
  EXPECT_FALSE(cli::checkExtension("--out", "v.mp4/x", ".mp4", error));
  EXPECT_FALSE(cli::checkExtension("--out", "v.gif", ".mp4", error));
  EXPECT_EQ(error, "--out v.gif: the file is written as mp4, so its name must end in .mp4");
}

TEST_F(CliFilesTest, TemporariesAreRenamedIntoPlaceOrRemoved) {
  const std::string path = dir_ + "/out.md";
  const std::string temporary = cli::temporaryNameFor(path);
  EXPECT_EQ(temporary, dir_ + "/.out.md.part" + std::to_string(processId()));
  std::string error;
  ASSERT_TRUE(cli::addTemporary(temporary));
  touch(temporary);
  ASSERT_TRUE(cli::commitTemporary(temporary, path, error)) << error;
  EXPECT_TRUE(fs::exists(path));
  // An older file of the name is replaced.
  ASSERT_TRUE(cli::addTemporary(temporary));
  touch(temporary, "new");
  ASSERT_TRUE(cli::commitTemporary(temporary, path, error)) << error;
  EXPECT_EQ(fs::file_size(path), 3u);
  EXPECT_FALSE(fs::exists(temporary));
  // Registered and not committed: removed.
  ASSERT_TRUE(cli::addTemporary(temporary));
  touch(temporary);
  cli::removeTemporaries();
  EXPECT_FALSE(fs::exists(temporary));
  // A rename that fails removes the temporary and says why.
  ASSERT_TRUE(cli::addTemporary(temporary));
  touch(temporary);
  EXPECT_FALSE(cli::commitTemporary(temporary, dir_ + "/no/out.md", error));
  EXPECT_FALSE(fs::exists(temporary));
  EXPECT_NE(error.find("cannot write " + dir_ + "/no/out.md"), std::string::npos);
}

TEST_F(CliFilesTest, AFileIsWrittenWholeOrNotAtAll) {
  const std::string path = dir_ + "/report.md";
  const std::string temporary = cli::temporaryNameFor(path);
  std::string error;
  // A failed write leaves neither the file nor its temporary, and says why: its own reason,
  // or the final name when it gave none. An older file of the name stays as it was.
  touch(path, "old");
  auto halfThenFail = [](const std::string& to, std::string&) {
    touch(to, "half");
    return false;
  };
  EXPECT_FALSE(cli::writeWhole(path, halfThenFail, error));
  EXPECT_EQ(error, "cannot write " + path);
  EXPECT_FALSE(fs::exists(temporary));
  EXPECT_EQ(fs::file_size(path), 3u);
  auto failWithReason = [](const std::string&, std::string& why) {
    return cli::failWith(why, "the encoder refused");
  };
  EXPECT_FALSE(cli::writeWhole(path, failWithReason, error));
  EXPECT_EQ(error, "the encoder refused");
  // A whole one replaces it, however long; nothing is left registered to remove later.
  const std::string text = cli::formatted("%s|%0600d|", "long", 7);
  EXPECT_EQ(text.size(), 606u);
  ASSERT_TRUE(cli::writeTextWhole(path, text, error)) << error;
  EXPECT_EQ(fs::file_size(path), text.size());
  EXPECT_FALSE(fs::exists(temporary));
  cli::removeTemporaries();
  EXPECT_TRUE(fs::exists(path));
  EXPECT_FALSE(cli::writeTextWhole(dir_ + "/no/such/folder.md", text, error));
  EXPECT_EQ(error, "cannot write " + dir_ + "/no/such/folder.md");
}

TEST_F(CliFilesTest, RelativePathsAreTakenFromTheStartingFolder) {
  const std::string cwd = fs::current_path().string();
  EXPECT_EQ(cli::absolutePath("a/b.png"), cwd + "/a/b.png");
  EXPECT_EQ(cli::absolutePath("a/../b.png"), cwd + "/a/../b.png");               // as written
  const std::string absolute = (fs::current_path().root_path() / "x").string();  // "/x", "C:\x"
  EXPECT_EQ(cli::absolutePath(absolute), absolute);
  EXPECT_EQ(cli::absolutePath(""), "");
}

TEST(CliTest, DataIsSoughtHereThenInTheToolsInstallThenInTheSourceTree) {
  const std::vector<std::string> prefix =
      cli::dataRoots("/opt/lumo/bin", cli::InstallLayout::kPrefix);
  ASSERT_EQ(prefix.size(), 3u);
  EXPECT_EQ(prefix[0], ".");
  EXPECT_EQ(prefix[1], "/opt/lumo/share/lumorakdemo");
  EXPECT_TRUE(fs::exists(fs::path(prefix[2]) / "data" / "deruz.mp3")) << prefix[2];
  // The Windows zip: the tool beside data/.
  const std::vector<std::string> beside =
      cli::dataRoots("/home/u/lumorakdemo-1.0.0", cli::InstallLayout::kBesideExecutable);
  EXPECT_EQ(beside, (std::vector<std::string>{".", "/home/u/lumorakdemo-1.0.0", prefix[2]}));
  // An executable of unknown place has no install to look in.
  EXPECT_EQ(cli::dataRoots("", cli::InstallLayout::kPrefix),
            (std::vector<std::string>{".", prefix[2]}));
  // The install is looked for from where this test runs: its folder, no separator after.
  const std::string self = cli::executableFolder();
  EXPECT_FALSE(fs::path(self).filename().empty()) << self;
  EXPECT_TRUE(fs::exists(fs::path(self) / "cli_test") ||
              fs::exists(fs::path(self) / "cli_test.exe"))
      << self;
}

TEST_F(CliFilesTest, DataIsEnteredByItsNameAndNothingElseIsTaken) {
  fs::create_directories(dir_ + "/show/data");
  touch(dir_ + "/show/data/deruz.mp3");
  std::string error;
  // A folder named data: the working folder becomes its parent.
  ASSERT_TRUE(cli::enterDataRoot(dir_ + "/show/data", error)) << error;
  EXPECT_TRUE(fs::equivalent(fs::current_path(), dir_ + "/show"));
  // A file, or nothing: refused, in the words of the option.
  EXPECT_FALSE(cli::enterDataRoot(dir_ + "/show/data/deruz.mp3", error));
  EXPECT_EQ(error, "--data " + dir_ + "/show/data/deruz.mp3: no such folder");
  EXPECT_FALSE(cli::enterDataRoot(dir_ + "/none", error));
  EXPECT_EQ(error, "--data " + dir_ + "/none: no such folder");
}

TEST_F(CliFilesTest, DataByAnotherNameIsEnteredThroughALink) {
  fs::create_directories(dir_ + "/assets");
  touch(dir_ + "/assets/deruz.mp3");
  std::string error;
  const bool entered = cli::enterDataRoot(dir_ + "/assets", error);
#ifdef _WIN32
  // The link is a junction, which Wine (8.0) cannot make.
  if (!entered && GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
    GTEST_SKIP() << error;
  }
#endif
  ASSERT_TRUE(entered) << error;
  // data/ in the working folder leads to it.
  EXPECT_TRUE(fs::equivalent("data", dir_ + "/assets"));
  EXPECT_TRUE(fs::exists("data/deruz.mp3"));
}

#ifdef _WIN32
// Windows separates folders with either slash, roots paths with a drive and ignores the
// case of names.
TEST_F(CliFilesTest, WindowsPathsAreTakenAsWindowsWritesThem) {
  std::string error;
  const std::string dir = fs::path(dir_).make_preferred().string();  // backslashes only
  EXPECT_TRUE(cli::prepareOutputDir(dir + "\\x\\y", true, error)) << error;
  EXPECT_TRUE(fs::is_directory(dir + "\\x\\y"));
  EXPECT_FALSE(cli::checkOutputFile(dir + "\\no\\a.mp4", error));
  EXPECT_EQ(error, "cannot write " + dir + "\\no\\a.mp4: no folder " + dir + "\\no");
  // A drive's root keeps its backslash: "Q:" alone would be a folder on drive Q.
  EXPECT_FALSE(cli::checkOutputFile("Q:\\a.mp4", error));
  EXPECT_EQ(error, "cannot write Q:\\a.mp4: no folder Q:\\");
  EXPECT_EQ(cli::temporaryNameFor(dir + "\\out.md"),
            dir + "/.out.md.part" + std::to_string(processId()));
  EXPECT_TRUE(cli::checkExtension("--out", "v.gif\\x.MP4", ".mp4", error));
  EXPECT_FALSE(cli::checkExtension("--out", "x\\.mp4", ".mp4", error));
  // From the current drive's root.
  EXPECT_EQ(cli::absolutePath("\\x"), (fs::current_path().root_path() / "x").string());
  // "Data" is the folder data.
  fs::create_directories(dir + "\\show\\Data");
  touch(dir + "\\show\\Data\\deruz.mp3");
  ASSERT_TRUE(cli::enterDataRoot(dir + "\\show\\Data", error)) << error;
  EXPECT_TRUE(fs::equivalent(fs::current_path(), dir + "\\show"));
}
#endif

TEST_F(CliFilesTest, WithoutDataGivenTheWorkingFolderComesFirst) {
  fs::create_directories(dir_ + "/show/data");
  touch(dir_ + "/show/data/deruz.mp3");
  fs::create_directories(dir_ + "/empty/data");  // no marker: not the show's data
  std::string error;
  fs::current_path(dir_ + "/show");
  ASSERT_TRUE(cli::enterDataRoot("", error)) << error;
  EXPECT_TRUE(fs::equivalent(fs::current_path(), dir_ + "/show"));
  // Elsewhere, no install beside this test: the source tree's.
  fs::current_path(dir_ + "/empty");
  ASSERT_TRUE(cli::enterDataRoot("", error)) << error;
  EXPECT_TRUE(
      fs::equivalent(fs::current_path(), cli::dataRoots("", cli::InstallLayout::kPrefix).back()));
}

}  // namespace
