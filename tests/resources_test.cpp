// Registries, the growable array, data-file lookup, fatal-error formatting and the start-up
// time marks.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "resources/DataFile.h"
#include "resources/GrowableArray.h"
#include "resources/ResourceManager.h"
#include "resources/StartupTimes.h"

namespace {

class IntRegistry : public ResourceManager<int> {
 public:
  std::string typeName() const override { return "FBO"; }
};

// Records every bind and unbind, with the current name as it stood during the call.
class RecordingRegistry : public UsableResourceManager<int> {
 public:
  std::string typeName() const override { return "material"; }
  std::vector<std::string> calls;

 protected:
  void bind(const std::string& name) override { calls.push_back("bind " + name); }
  void unbind() override { calls.push_back("unbind " + currentName()); }
};

TEST(ResourceManagerTest, UnknownNamesReportKindAndNameExactly) {
  IntRegistry registry;
  EXPECT_FATAL(registry.get("rt9"), "No such FBO: 'rt9'.");
  EXPECT_FATAL(registry.get(""), "No such FBO: ''.");
}

TEST(ResourceManagerTest, NamesAreCaseSensitiveAndWalkedBytewise) {
  IntRegistry registry;
  registry.getOrCreate("b") = 1;
  registry.getOrCreate("B") = 2;
  registry.getOrCreate("a") = 3;
  registry.getOrCreate("\xc3\xa9") = 4;  // bytes above 0x7f sort after ASCII
  EXPECT_EQ(registry.get("b"), 1);
  EXPECT_EQ(registry.get("B"), 2);
  std::string order;
  for (auto& entry : registry.entries()) order += entry.first.substr(0, 1) + ",";
  EXPECT_EQ(order, "B,a,b,\xc3,");
}

TEST(ResourceManagerTest, GetOrCreateReturnsTheSameEntry) {
  IntRegistry registry;
  int& created = registry.getOrCreate("x");
  created = 7;
  EXPECT_EQ(&registry.getOrCreate("x"), &created);
  EXPECT_EQ(&registry.get("x"), &created);
  EXPECT_EQ(registry.entries().size(), 1u);
  EXPECT_TRUE(registry.contains("x"));
  EXPECT_FALSE(registry.contains("X"));
}

TEST(UsableResourceManagerTest, UseSwitchesWithoutUnbindAndUnuseReleases) {
  RecordingRegistry registry;
  registry.getOrCreate("a");
  registry.getOrCreate("b");
  registry.use("a");
  registry.use("b");
  registry.unuse();
  EXPECT_EQ(registry.calls, (std::vector<std::string>{"bind a", "bind b", "unbind b"}));
  EXPECT_EQ(registry.currentName(), "");
  EXPECT_FATAL(registry.unuse(), "Cannot unuse: No material in use.");
}

TEST(UsableResourceManagerTest, UseOfUnknownNameChangesNothing) {
  RecordingRegistry registry;
  registry.getOrCreate("a");
  registry.use("a");
  EXPECT_FATAL(registry.use("nope"), "No such material: 'nope'.");
  EXPECT_EQ(registry.currentName(), "a");
  EXPECT_EQ(registry.calls.size(), 1u);
}

TEST(GrowableArrayTest, GrowsByDoublingFromFourAndCopiesDeeply) {
  GrowableArray<std::string> items(0);
  EXPECT_EQ(items.capacity(), 0);
  items.append("one");
  EXPECT_EQ(items.capacity(), 4);
  for (int i = 0; i < 4; ++i) items.append("more");
  EXPECT_EQ(items.capacity(), 8);
  EXPECT_EQ(items.count(), 5);

  GrowableArray<std::string> copy(items);
  copy[0] = "changed";
  EXPECT_EQ(items[0], "one");
  EXPECT_EQ(copy.capacity(), 8);
  EXPECT_EQ(copy.count(), 5);
  items = copy;
  EXPECT_EQ(items[0], "changed");
}

class DataFileTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(DataFileTest, FirstReadableExtensionWins) {
  dir.write("logo.png", "p");
  dir.write("logo.jpg", "j");
  dir.write("only.jpg", "j");
  EXPECT_EQ(findDataFile(dir.path(), "logo", {"png", "jpg"}), dir.path() + "/logo.png");
  EXPECT_EQ(findDataFile(dir.path(), "only", {"png", "jpg"}), dir.path() + "/only.jpg");
}

TEST_F(DataFileTest, SubdirectoriesAndEmptyExtensions) {
  ASSERT_TRUE(std::filesystem::create_directories(dir.path() + "/sub"));
  dir.write("sub/cube_c00.png", "p");
  dir.write("bare.", "x");
  EXPECT_EQ(findDataFile(dir.path(), "sub/cube_c00", {"png"}), dir.path() + "/sub/cube_c00.png");
  // An empty slot before a real one is tried as an empty extension.
  EXPECT_EQ(findDataFile(dir.path(), "bare", {"", "png"}), dir.path() + "/bare.");
}

TEST(DataFileMessageTest, ListsEveryExtensionWithATrailingBlank) {
  EXPECT_FATAL(findDataFile("data", "lklogo_missing", {"png", "jpg"}),
               "Could not find file: \"data/lklogo_missing.{png jpg }\"!");
  EXPECT_FATAL(findDataFile("data", "m", {"aml", "", ""}),
               "Could not find file: \"data/m.{aml }\"!");
  EXPECT_FATAL(findDataFile("data", "m", {"", ""}), "Could not find file: \"data/m.{}\"!");
  // A percent sign in a name is text, never a format directive.
  EXPECT_FATAL(findDataFile("data", "100%s", {"png"}),
               "Could not find file: \"data/100%s.{png }\"!");
}

TEST(FatalErrorTest, LongMessagesArriveWhole) {
  std::string log(1500, 'x');
  EXPECT_FATAL(fatalError("Error linking shader '%s':\n%s", "SHD$shadow", log.c_str()),
               "Error linking shader 'SHD$shadow':\n" + log);
}

TEST(FatalErrorDeathTest, DefaultReporterPrintsAndExitsZero) {
  EXPECT_EXIT(
      {
#ifdef _WIN32
        setMessageBoxOwner(nullptr, false);  // a box would wait for a click; stderr stays
#else
        setEnvironment("DISPLAY", "");  // no box can be shown; the text still goes to stderr
#endif
        fatalError("No such %s: '%s'.", "texture", "x");
      },
      ::testing::ExitedWithCode(0), "No such texture: 'x'\\.");
}

// ---- Start-up time marks ----
// No figure is compared with a fixed duration: each is bounded from below by sleeps taken
// inside a span and from above by the wall time around it, which holds on any machine load.

constexpr int kSteps = static_cast<int>(StartupStep::kCount);

// Seconds on the clock the marks use.
double clockNow() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// Sleeps about `ms` and returns the wall seconds it took.
double pause(int ms) {
  const double from = clockNow();
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return clockNow() - from;
}

std::vector<double> charged() {
  std::vector<double> seconds;
  for (int i = 0; i < kSteps; ++i) seconds.push_back(startupSeconds(static_cast<StartupStep>(i)));
  return seconds;
}

TEST(StartupTimesTest, NestedSpansChargeEachStepItsOwnTimeAndNothingOutsideThem) {
  const std::vector<double> before = charged();
  const double start = clockNow();
  double modelOwn = 0.0, images = 0.0, sceneData = 0.0;
  {
    StartupSpan model(StartupStep::kModel);
    modelOwn += pause(20);
    {
      StartupSpan inner(StartupStep::kImages);
      images = pause(30);
    }
    modelOwn += pause(20);  // the model's again, once the inner span has closed
    // A span ended early stays ended: ending it again while another is open changes nothing.
    StartupSpan targets(StartupStep::kTargets);
    targets.end();
    StartupSpan later(StartupStep::kSceneData);
    targets.end();
    sceneData = pause(20);
  }
  const double inside = clockNow() - start;
  const double outside = pause(20);
  { StartupSpan probe(StartupStep::kMusic); }  // charges whatever was active since the last span
  const double wall = clockNow() - start;

  std::vector<double> spent = charged();
  for (int i = 0; i < kSteps; ++i) spent[i] -= before[i];
  auto of = [&spent](StartupStep step) { return spent[static_cast<int>(step)]; };
  const double slack = 1e-9;  // sums of differences of the same clock readings
  EXPECT_GE(of(StartupStep::kImages), images);
  EXPECT_GE(of(StartupStep::kSceneData), sceneData);
  EXPECT_GE(of(StartupStep::kModel), modelOwn);
  // Exclusive: the inner spans' time is not the model's as well.
  EXPECT_LE(of(StartupStep::kModel), inside - images - sceneData + slack);
  // The pause after the last span closed went to no step.
  EXPECT_LE(of(StartupStep::kMusic), wall - inside - outside + slack);
  double total = 0.0;
  for (double s : spent) total += s;
  EXPECT_LE(total, wall - outside + slack);
  for (StartupStep untouched : {StartupStep::kWindow, StartupStep::kMaterials,
                                StartupStep::kLoadingPicture, StartupStep::kFirstFrame}) {
    EXPECT_EQ(of(untouched), 0.0) << startupStepName(untouched);
  }
}

int firstFrameHookCalls = 0;

TEST(StartupTimesTest, TheFirstShowFrameTakesTheTimeSinceTheLastSpanOnceAndRunsTheHookOnce) {
  // Start-up ends once per process.
  if (firstShowFrameClock() != 0.0) GTEST_SKIP() << "a show frame was marked before";
  setFirstShowFrameHook([] { ++firstFrameHookCalls; });
  const double beforeEnd = clockNow();
  { StartupSpan music(StartupStep::kMusic); }
  const double drawing = pause(20);
  const double beforeMark = clockNow();
  markShowFrame();
  const double afterMark = clockNow();

  const double firstFrame = startupSeconds(StartupStep::kFirstFrame);
  EXPECT_GE(firstFrame, drawing);
  EXPECT_LE(firstFrame, afterMark - beforeEnd);
  const double frameClock = firstShowFrameClock();
  EXPECT_GE(frameClock, beforeMark);
  EXPECT_LE(frameClock, afterMark);
  EXPECT_GT(processStartClock(), 0.0);
  EXPECT_LE(processStartClock(), beforeEnd);
  EXPECT_EQ(firstFrameHookCalls, 1);

  // Later frames are no longer start-up.
  pause(5);
  markShowFrame();
  EXPECT_EQ(firstFrameHookCalls, 1);
  EXPECT_EQ(firstShowFrameClock(), frameClock);
  EXPECT_EQ(startupSeconds(StartupStep::kFirstFrame), firstFrame);
  setFirstShowFrameHook(nullptr);
}

TEST(StartupTimesTest, EveryStepHasItsOwnNameAndStepsOutOfRangeReadAsNothing) {
  std::set<std::string> names;
  for (int i = 0; i < kSteps; ++i) names.insert(startupStepName(static_cast<StartupStep>(i)));
  EXPECT_EQ(names.size(), static_cast<size_t>(kSteps));
  EXPECT_EQ(names.count("?"), 0u);
  EXPECT_STREQ(startupStepName(StartupStep::kCount), "?");
  EXPECT_STREQ(startupStepName(static_cast<StartupStep>(-1)), "?");
  EXPECT_EQ(startupSeconds(StartupStep::kCount), 0.0);
  EXPECT_EQ(startupSeconds(static_cast<StartupStep>(-1)), 0.0);
}

}  // namespace
