// The schedule of scenes: float-exact boundaries and the end of the show.
#include <gtest/gtest.h>

#include <cmath>

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

TEST(TimelineDeathTest, TheEndExitsWithStatusZeroBeforeDrawing) {
  // No GL context exists here: reaching any GL call would crash instead of exiting 0.
  EXPECT_EXIT(runTimeline(146.0f, 0.016f), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(runTimeline(300.0f, 30.0f), ::testing::ExitedWithCode(0), "");
}

}  // namespace
