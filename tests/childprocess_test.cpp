// Child processes as the tools start them (tools/cli/ChildProcess.h): what reaches the
// child (input pipes at 3, 4, the environment, no stray descriptor, its own process
// group), what comes back (stderr lines, a last unended one included; the exit status or
// 128 + the signal) and a program that cannot be started.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "cli/ChildProcess.h"

namespace {

struct Finished {
  std::vector<std::string> lines;
  int status = -1;
  bool signalled = false;
};

// Runs `sh -c script` (found on PATH) to its end, writing inputs[i] into descriptor 3 + i.
Finished runShell(const std::string& script, const std::vector<std::string>& inputs = {},
                  const std::vector<std::string>& env = {}) {
  Finished run;
  ChildProcess child;
  ChildProcess::Options options;
  options.args = {"sh", "-c", script};
  options.env = env;
  options.inputs = static_cast<int>(inputs.size());
  options.onLine = [&run](const std::string& line) { run.lines.push_back(line); };
  std::string error;
  EXPECT_TRUE(child.start(options, error)) << error;
  for (size_t i = 0; i < inputs.size(); ++i) {
    EXPECT_TRUE(writeAll(child.input(static_cast<int>(i)), inputs[i].data(), inputs[i].size()));
    close(child.input(static_cast<int>(i)));
  }
  EXPECT_TRUE(child.reap(true));
  run.status = child.status();
  run.signalled = child.signalled();
  return run;
}

using Lines = std::vector<std::string>;

TEST(ChildProcessTest, InputsArriveOnThreeAndFourAndStderrComesBackLineByLine) {
  const Finished run =
      runShell("cat <&4 >&2; cat <&3 >&2; printf 'x\\n\\nlast' >&2; exit 3", {"three\n", "four\n"});
  EXPECT_EQ(run.lines, (Lines{"four", "three", "x", "", "last"}));
  EXPECT_EQ(run.status, 3);
  EXPECT_FALSE(run.signalled);
}

TEST(ChildProcessTest, EnvironmentIsOursWithTheGivenNamesReplaced) {
  setenv("LUMORAK_CHILD_TEST", "ours", 1);
  setenv("LUMORAK_CHILD_SET", "ours", 1);
  const Finished run = runShell(
      "echo \"$LUMORAK_CHILD_TEST $LUMORAK_CHILD_SET\" >&2; tr '\\0' '\\n' </proc/$$/environ >&2",
      {}, {"LUMORAK_CHILD_SET=theirs"});
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines[0], "ours theirs");
  int set = 0;
  for (const std::string& line : run.lines) set += line.rfind("LUMORAK_CHILD_SET=", 0) == 0;
  EXPECT_EQ(set, 1);
}

TEST(ChildProcessTest, ChildHasItsOwnGroupAndNoneOfOurOtherDescriptors) {
  const int stray = open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_GE(stray, 3);
  const std::string fd = std::to_string(stray);
  const Finished run = runShell("[ -e /proc/$$/fd/" + fd + " ] && echo fd " + fd +
                                " open >&2; read -r pid comm state ppid group rest </proc/$$/stat; "
                                "[ \"$group\" = $$ ] && echo own group >&2; exit 0");
  close(stray);
  EXPECT_EQ(run.lines, (Lines{"own group"}));
}

TEST(ChildProcessTest, SignalAndUnstartableProgramGiveTheirStatus) {
  const Finished killed = runShell("kill -TERM $$");
  EXPECT_EQ(killed.status, 128 + SIGTERM);
  EXPECT_TRUE(killed.signalled);

  ChildProcess child;
  ChildProcess::Options options;
  options.args = {"/nonexistent/program"};
  options.cannotStart = "cannot start it: %s (sorry)\n";
  std::vector<std::string> lines;
  options.onLine = [&lines](const std::string& line) { lines.push_back(line); };
  std::string error;
  ASSERT_TRUE(child.start(options, error)) << error;
  EXPECT_TRUE(child.reap(true));
  EXPECT_EQ(child.status(), 127);
  EXPECT_EQ(lines, (Lines{"cannot start it: No such file or directory (sorry)"}));
}

TEST(ChildProcessTest, ARunningChildIsStoppedWhenLetGo) {
  const auto start = std::chrono::steady_clock::now();
  {
    ChildProcess child;
    ChildProcess::Options options;
    options.args = {"sleep", "30"};
    std::string error;
    ASSERT_TRUE(child.start(options, error)) << error;
    EXPECT_FALSE(child.reap(false));
    EXPECT_TRUE(child.running());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
