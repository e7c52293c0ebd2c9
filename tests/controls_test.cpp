// Developer keys and mouse, driven through the deterministic sound layer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TestSupport.h"
#include "app/Capture.h"
#include "app/Controls.h"
#include "app/Demo.h"
#include "app/Globals.h"
#include "audio/Backends.h"

namespace {

ManualAudioBackend* manualBackend() {
  static ManualAudioBackend* backend = [] {
    auto* b = new ManualAudioBackend();
    musicStream.setBackend(b);
    testing::internal::CaptureStderr();  // "music unavailable": no file is needed here
    musicStream.open("no-music-in-this-test.mp3");
    testing::internal::GetCapturedStderr();
    musicStream.play();
    return b;
  }();
  return backend;
}

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manualBackend();
    if (demoSystem.clock.isPaused()) demoSystem.clock.setPaused(false);
    lastBeatTime = 0.0f;
    xSlot = ySlot = 0;
    captureRequested = false;
  }
  // One frame at `ms`: the position the device reports, then the clock's update.
  void frameAt(int ms) {
    manualBackend()->setTimeMs(ms);
    demoSystem.clock.update();
  }
  void frame() { demoSystem.clock.update(); }
  int32_t position() { return manualBackend()->timeMs(); }
};

TEST_F(ControlsTest, SeeksMoveByTheirStepsAndClampAtZero) {
  frameAt(10700);
  onKeyDown(33);  // Page Up
  EXPECT_EQ(position(), 0);
  frameAt(50000);
  onKeyDown(34);  // Page Down
  EXPECT_EQ(position(), 80000);
  frameAt(50000);
  onKeyDown(38);  // Up
  EXPECT_EQ(position(), 55000);
  frameAt(50000);
  onKeyDown(40);  // Down
  EXPECT_EQ(position(), 45000);
  frameAt(50000);
  onKeyDown(37);  // Left
  EXPECT_EQ(position(), 49000);
}

TEST_F(ControlsTest, SeeksWithinOneFrameAddUpUntilTheNextUpdate) {
  frameAt(20000);
  for (int i = 0; i < 3; ++i) onKeyDown(34);  // Page Down
  EXPECT_EQ(position(), 110000);
  // Each step clamps at 0 and the next starts there.
  frameAt(70000);
  for (int i = 0; i < 3; ++i) onKeyDown(33);
  for (int i = 0; i < 3; ++i) onKeyDown(34);
  EXPECT_EQ(position(), 90000);
  // Float seconds from the pending target, truncated to whole milliseconds.
  frameAt(3200);
  onKeyDown(39);
  onKeyDown(39);
  onKeyDown(37);
  EXPECT_EQ(position(), 4200);
  // The update ends the pending seek: the next starts from the frame's time again.
  frameAt(60000);
  EXPECT_FLOAT_EQ(demoSystem.clock.time(), 60.0f);
  onKeyDown(39);
  EXPECT_EQ(position(), 61000);
}

TEST_F(ControlsTest, RightArrowWhilePausedMovesOneSecondAndStaysPaused) {
  frameAt(30000);
  onKeyDown(80);  // P
  frame();
  onKeyDown(39);
  frame();
  EXPECT_TRUE(demoSystem.clock.isPaused());
  EXPECT_FLOAT_EQ(demoSystem.clock.time(), 31.0f);
  frame();
  EXPECT_FLOAT_EQ(demoSystem.clock.delta(), 0.0f);
  onKeyDown(80);
  EXPECT_FALSE(demoSystem.clock.isPaused());
  EXPECT_FALSE(manualBackend()->isPaused());
}

TEST_F(ControlsTest, SeeksWhilePausedAddUpAndShowAtTheNextFrame) {
  frameAt(30000);
  onKeyDown(80);  // P
  frame();
  onKeyDown(39);
  onKeyDown(39);
  onKeyDown(40);  // Down
  frame();
  EXPECT_TRUE(demoSystem.clock.isPaused());
  EXPECT_FLOAT_EQ(demoSystem.clock.time(), 27.0f);
  frame();
  EXPECT_FLOAT_EQ(demoSystem.clock.time(), 27.0f);
  onKeyDown(80);
}

TEST_F(ControlsTest, BeatTapsPrintIntervalAndTempo) {
  frameAt(1000);
  testing::internal::CaptureStdout();
  onKeyDown(32);
  frameAt(1500);
  onKeyDown(32);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Beat 1.00 delta 1.00 bpm 60\nBeat 1.50 delta 0.50 bpm 120\n");
  EXPECT_STREQ(messageLog.lines[messageLog.lines.count() - 1].text, "Beat 1.50 delta 0.50 bpm 120");
  // A second tap at the same time: infinite tempo, printed as the C library does.
  testing::internal::CaptureStdout();
  onKeyDown(32);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Beat 1.50 delta 0.00 bpm inf\n");
}

TEST_F(ControlsTest, TheLogKeepsNineteenLinesOfAtMostSeventyNineCharacters) {
  testing::internal::CaptureStdout();
  for (int i = 0; i < 25; ++i) printLine("line %d", i);
  printLine("%s", std::string(200, 'x').c_str());
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(messageLog.lines.count(), 19);
  EXPECT_STREQ(messageLog.lines[0].text, "line 7");
  EXPECT_EQ(std::strlen(messageLog.lines[18].text), 79u);
}

TEST_F(ControlsTest, KeysOutsideTheRangeAndUnmappedKeysDoNothing) {
  frameAt(12000);
  for (int code : {0, 13, 26, 123, 200, 255, 66, 90}) onKeyDown(code);  // Enter, F12, B, Z ...
  EXPECT_EQ(position(), 12000);
  EXPECT_FALSE(demoSystem.clock.isPaused());
  EXPECT_FALSE(captureRequested);
  EXPECT_EQ(xSlot, 0);
  EXPECT_EQ(ySlot, 0);
  onKeyDown(122);  // F11
  EXPECT_TRUE(captureRequested);
}

TEST_F(ControlsTest, MouseSlotsStayWithinTheValueBankAndTakeThePointer) {
  onKeyDown(81);  // Q at 0 stays 0
  onKeyDown(65);  // A at 0 stays 0
  EXPECT_EQ(xSlot, 0);
  EXPECT_EQ(ySlot, 0);
  for (int i = 0; i < 200; ++i) onKeyDown(87);  // W
  EXPECT_EQ(xSlot, 127);
  onKeyDown(83);  // S
  EXPECT_EQ(ySlot, 1);
  onMouseMove(1, 512, 384);
  EXPECT_FLOAT_EQ(renderer.mouseValues[127], 0.5f);
  EXPECT_FLOAT_EQ(renderer.mouseValues[1], 0.5f);
  onMouseMove(2, 0, 0);  // right button only: values stay
  EXPECT_FLOAT_EQ(renderer.mouseValues[127], 0.5f);
}

TEST(CaptureNameTest, NumbersHaveFourDigitsOrMore) {
  EXPECT_EQ(captureFileName(0), "shots/shot0000.png");
  EXPECT_EQ(captureFileName(42), "shots/shot0042.png");
  EXPECT_EQ(captureFileName(12345), "shots/shot12345.png");
}

TEST(ControlsDeathTest, EscapeEndsTheShowWithStatusZero) {
  EXPECT_EXIT(onKeyDown(27), ::testing::ExitedWithCode(0), "");
}

TEST_F(ControlsTest, DraggingAlongASliderRowSetsItsVariable) {
  debugVariables.registerVariable("dragged");
  DebugVariable& variable = debugVariables.get("dragged");
  variable.initRange(0.0f, 100.0f, 30.0f);
  // The middle of the slider column (screenWidth - 110 .. - 10), inside the row.
  const int y = variable.row * 25 + 12;
  onMouseMove(0, screenWidth - 60, y);  // nothing held: no change
  EXPECT_FLOAT_EQ(variable.value, 30.0f);
  onMouseMove(1, screenWidth - 60, y);
  EXPECT_NEAR(variable.value, 50.0f, 0.01f);
}

}  // namespace
