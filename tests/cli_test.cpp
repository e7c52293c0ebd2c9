// The shared command-line conventions (tools/common/Cli.h) that the process tests reach
// only through one tool at a time: option edge cases, output checks, temporary files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/Cli.h"

namespace {

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

class CliFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cli_test.XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { (void)std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
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
  struct stat info {};
  EXPECT_EQ(stat((dir_ + "/x/y").c_str(), &info), 0);
  std::FILE* plain = std::fopen((dir_ + "/plain").c_str(), "w");
  ASSERT_TRUE(plain);
  std::fclose(plain);
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
  EXPECT_EQ(temporary, dir_ + "/.out.md.part" + std::to_string(getpid()));
  std::string error;
  ASSERT_TRUE(cli::addTemporary(temporary));
  std::fclose(std::fopen(temporary.c_str(), "w"));
  ASSERT_TRUE(cli::commitTemporary(temporary, path, error)) << error;
  EXPECT_EQ(access(path.c_str(), F_OK), 0);
  // Registered and not committed: removed.
  ASSERT_TRUE(cli::addTemporary(temporary));
  std::fclose(std::fopen(temporary.c_str(), "w"));
  cli::removeTemporaries();
  EXPECT_NE(access(temporary.c_str(), F_OK), 0);
  // A rename that fails removes the temporary and says why.
  ASSERT_TRUE(cli::addTemporary(temporary));
  std::fclose(std::fopen(temporary.c_str(), "w"));
  EXPECT_FALSE(cli::commitTemporary(temporary, dir_ + "/no/out.md", error));
  EXPECT_NE(access(temporary.c_str(), F_OK), 0);
  EXPECT_NE(error.find("cannot write " + dir_ + "/no/out.md"), std::string::npos);
}

TEST_F(CliFilesTest, RelativePathsAreTakenFromTheStartingFolder) {
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  EXPECT_EQ(cli::absolutePath("a/b.png"), std::string(cwd) + "/a/b.png");
  EXPECT_EQ(cli::absolutePath("/x"), "/x");
  EXPECT_EQ(cli::absolutePath(""), "");
}

}  // namespace
