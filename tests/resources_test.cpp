// Registries, the growable array, data-file lookup and fatal-error formatting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "resources/DataFile.h"
#include "resources/GrowableArray.h"
#include "resources/ResourceManager.h"

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

}  // namespace
