// Developer keys and mouse, driven through the deterministic sound layer, and the window
// layer: its table from SDL keys to the Windows virtual-key codes the controls switch on,
// and the screen saver kept off once a window exists.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Capture.h"
#include "app/Controls.h"
#include "app/Demo.h"
#include "app/Globals.h"
#include "app/Window.h"
#include "audio/Backends.h"

namespace {

ManualAudioBackend* manualBackend() {
  static ManualAudioBackend* backend = [] {
    auto* b = new ManualAudioBackend();
    musicStream.setBackend(b);
    musicStream.open("no-music-in-this-test.mp3");  // silence: no file is needed here
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

struct KeyCase {
  int sdl;
  int virtualKey;  // Windows code; -1 for a key the show does not know
};

// Every key the same with NumLock on and off, except the keypad's digits and point (below).
// Letters and digits: their upper-case and digit characters; F1 to F12: 112 to 123.
const std::vector<KeyCase> kCharacterAndFunctionKeys = {
    {SDLK_a, 'A'},  {SDLK_p, 'P'},   {SDLK_z, 'Z'},   {SDLK_0, '0'},  {SDLK_9, '9'},
    {SDLK_F1, 112}, {SDLK_F10, 121}, {SDLK_F11, 122}, {SDLK_F12, 123}};
// Navigation, editing, modifiers (either Shift or Ctrl gives the one code) and locks.
const std::vector<KeyCase> kControlKeys = {
    {SDLK_PAGEUP, 33},     {SDLK_PAGEDOWN, 34}, {SDLK_END, 35},         {SDLK_HOME, 36},
    {SDLK_LEFT, 37},       {SDLK_UP, 38},       {SDLK_RIGHT, 39},       {SDLK_DOWN, 40},
    {SDLK_INSERT, 45},     {SDLK_DELETE, 46},   {SDLK_BACKSPACE, 8},    {SDLK_TAB, 9},
    {SDLK_RETURN, 13},     {SDLK_KP_ENTER, 13}, {SDLK_LSHIFT, 16},      {SDLK_RSHIFT, 16},
    {SDLK_LCTRL, 17},      {SDLK_RCTRL, 17},    {SDLK_PAUSE, 19},       {SDLK_CAPSLOCK, 20},
    {SDLK_ESCAPE, 27},     {SDLK_SPACE, 32},    {SDLK_PRINTSCREEN, 44}, {SDLK_NUMLOCKCLEAR, 144},
    {SDLK_SCROLLLOCK, 145}};
// The keypad's operators, and punctuation at the US layout's codes.
const std::vector<KeyCase> kSymbolKeys = {
    {SDLK_KP_MULTIPLY, 106}, {SDLK_KP_PLUS, 107},      {SDLK_KP_MINUS, 109},
    {SDLK_KP_DIVIDE, 111},   {SDLK_SEMICOLON, 186},    {SDLK_EQUALS, 187},
    {SDLK_COMMA, 188},       {SDLK_MINUS, 189},        {SDLK_PERIOD, 190},
    {SDLK_SLASH, 191},       {SDLK_BACKQUOTE, 192},    {SDLK_LEFTBRACKET, 219},
    {SDLK_BACKSLASH, 220},   {SDLK_RIGHTBRACKET, 221}, {SDLK_QUOTE, 222}};
// Keys the show does not know: past F12, Alt, the system keys, a shifted character whose
// ASCII code is a virtual key (! is 33, Page Up's), and no key at all.
const std::vector<KeyCase> kUnknownKeys = {
    {SDLK_F13, -1},  {SDLK_LALT, -1},    {SDLK_RALT, -1},      {SDLK_LGUI, -1},
    {SDLK_MENU, -1}, {SDLK_EXCLAIM, -1}, {SDLK_KP_EQUALS, -1}, {SDLK_UNKNOWN, -1}};

// The keypad's digits and point: the numeric codes with NumLock on, the navigation keys
// without (5 has none: it stays the digit).
struct KeypadCase {
  int sdl;
  int withNumLock;
  int withoutNumLock;
};
const KeypadCase kKeypadTable[] = {
    {SDLK_KP_0, 96, 45},  {SDLK_KP_1, 97, 35},   {SDLK_KP_2, 98, 40},      {SDLK_KP_3, 99, 34},
    {SDLK_KP_4, 100, 37}, {SDLK_KP_5, 101, 101}, {SDLK_KP_6, 102, 39},     {SDLK_KP_7, 103, 36},
    {SDLK_KP_8, 104, 38}, {SDLK_KP_9, 105, 33},  {SDLK_KP_PERIOD, 110, 46}};

TEST(VirtualKeyTest, SdlKeysGiveTheirWindowsCodesWhateverNumLockSays) {
  for (const auto& group : {kCharacterAndFunctionKeys, kControlKeys, kSymbolKeys, kUnknownKeys}) {
    for (const KeyCase& key : group) {
      EXPECT_EQ(virtualKeyFromSdl(key.sdl, true), key.virtualKey) << SDL_GetKeyName(key.sdl);
      EXPECT_EQ(virtualKeyFromSdl(key.sdl, false), key.virtualKey)
          << SDL_GetKeyName(key.sdl) << ", no NumLock";
    }
  }
}

TEST(VirtualKeyTest, TheKeypadNavigatesWithoutNumLock) {
  for (const KeypadCase& key : kKeypadTable) {
    EXPECT_EQ(virtualKeyFromSdl(key.sdl, true), key.withNumLock) << SDL_GetKeyName(key.sdl);
    EXPECT_EQ(virtualKeyFromSdl(key.sdl, false), key.withoutNumLock)
        << SDL_GetKeyName(key.sdl) << ", no NumLock";
  }
  EXPECT_EQ(virtualKeyFromSdl(SDLK_KP_1), 97) << "NumLock is on unless told";
}

TEST(WindowDeathTest, TheFirstWindowKeepsTheScreenSaverOffEvenWhenSdlWouldAllowIt) {
  // SDL leaves the screen saver on when SDL_VIDEO_ALLOW_SCREENSAVER says so; the show keeps
  // it off all the same, for the whole run. A fresh process: SDL reads the hint at its start.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setEnvironment("SDL_VIDEO_ALLOW_SCREENSAVER", "1");
        GlWindow window;
        window.hidden = true;
        if (!createGlWindow(window)) std::_Exit(2);
        std::_Exit(SDL_IsScreenSaverEnabled() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
