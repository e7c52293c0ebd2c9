// The schedule of scenes: float-exact boundaries and the end of the show.
#include <gtest/gtest.h>

#include <cmath>

#include "scenes/Scenes.h"
#include "scenes/Timeline.h"

namespace {

TEST(TimelineTest, BoundariesBelongToTheLaterSceneAsFloatsCompareToDoubles) {
  EXPECT_EQ(sceneAt(-5.0f), kOpening);
  EXPECT_EQ(sceneAt(0.0f), kOpening);
  EXPECT_EQ(sceneAt(28.0999985f), kOpening);
  EXPECT_EQ(sceneAt(28.1f), kWord);  // the float nearest 28.1 lies above it
  EXPECT_EQ(sceneAt(62.9999962f), kWord);
  EXPECT_EQ(sceneAt(63.0f), kCloud);
  EXPECT_EQ(sceneAt(83.474f), kCloud);  // 83.4739990 lies below its boundary
  EXPECT_EQ(sceneAt(std::nextafter(83.474f, 1000.0f)), kColumns);
  EXPECT_EQ(sceneAt(104.344f), kTunnel);  // 104.3440018 lies above
  EXPECT_EQ(sceneAt(125.2f), kTunnel);    // 125.1999969 still tunnel
  EXPECT_EQ(sceneAt(125.2000046f), kClosing);
  EXPECT_EQ(sceneAt(145.99f), kClosing);
  EXPECT_EQ(sceneAt(146.0f), kEndOfShow);
}

TEST(WordScheduleTest, WordsAppearInOpenIntervalsAtFloatExactBounds) {
  float scale = 0.0f;
  EXPECT_EQ(wordShownAt(41.687f, 0, 0, scale), nullptr);
  EXPECT_STREQ(wordShownAt(41.7f, 0, 0.5f, scale), "with");
  EXPECT_FLOAT_EQ(scale, 1.1f);  // h + 0.6
  EXPECT_EQ(wordShownAt(42.687f, 0, 0, scale), nullptr);
  EXPECT_STREQ(wordShownAt(42.7f, 0, 0, scale), "as");
  EXPECT_FLOAT_EQ(scale, 0.7f);
  EXPECT_STREQ(wordShownAt(44.52f, 0, 0, scale), "as");
  EXPECT_STREQ(wordShownAt(44.53f, 0, 0, scale), "concept");
  EXPECT_STREQ(wordShownAt(50.0f, 10.0f, 0, scale), "task");
  EXPECT_FLOAT_EQ(scale, 1.0f);  // 0.04 g + 0.6
  EXPECT_STREQ(wordShownAt(58.7f, 0, 0, scale), "his");
  EXPECT_EQ(wordShownAt(58.74f, 0, 0, scale), nullptr);
  EXPECT_EQ(wordShownAt(60.0f, 0, 0, scale), nullptr);
}

TEST(TimelineDeathTest, TheEndExitsWithStatusZeroBeforeDrawing) {
  EXPECT_EXIT(runTimeline(146.0f, 0.016f), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(runTimeline(300.0f, 30.0f), ::testing::ExitedWithCode(0), "");
}

TEST(WordScheduleTest, EachWordShowsFromItsStartAndNotBefore) {
  // Start times in seconds of music; each word ends where the next begins, the last
  // at 58.737 s.
  const struct {
    const char* word;
    double from;
  } kSchedule[] = {{"with", 41.687}, {"as", 42.687},       {"concept", 44.525}, {"must", 46.282},
                   {"task", 49.403}, {"decision", 53.269}, {"his", 55.713},     {nullptr, 58.737}};
  float scale = 0.0f;
  const char* before = nullptr;
  for (const auto& entry : kSchedule) {
    const char* earlier = wordShownAt(static_cast<float>(entry.from - 0.01), 0, 0, scale);
    const char* later = wordShownAt(static_cast<float>(entry.from + 0.01), 0, 0, scale);
    EXPECT_STREQ(earlier, before) << "0.01 s before " << entry.from;
    EXPECT_STREQ(later, entry.word) << "0.01 s after " << entry.from;
    before = entry.word;
  }
}

}  // namespace
