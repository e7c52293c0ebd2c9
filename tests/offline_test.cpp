// The show rendered offline, frame by frame, as the tools render it: start-up on a hidden
// window, frames at exact times of a rate, with the history each frame builds on.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "TestSupport.h"
#include "app/Demo.h"
#include "offline/OfflineShow.h"

namespace {

OfflineShow& show() {
  static OfflineShow instance;
  static bool started = [] {
    // The default reporter exits with status 0, which ctest would count as a pass.
    setFatalReporter(throwingFatalReporter);
    std::string error;
    return instance.start(error);
  }();
  EXPECT_TRUE(started);
  return instance;
}

std::vector<uint8_t> frame() {
  std::vector<uint8_t> rgb(OfflineShow::frameBytes(PixelLayout::kRgb));
  show().readFrame(PixelLayout::kRgb, rgb.data());
  return rgb;
}

// Shares of pixels darker than a quarter and brighter than 90 % of full scale.
std::pair<double, double> darkAndLight(const std::vector<uint8_t>& rgb) {
  long dark = 0;
  long light = 0;
  for (size_t i = 0; i < rgb.size(); i += 3) {
    const int sum = rgb[i] + rgb[i + 1] + rgb[i + 2];
    dark += sum < 3 * 64;
    light += sum > 3 * 230;
  }
  const double pixels = rgb.size() / 3.0;
  return {dark / pixels, light / pixels};
}

std::array<uint8_t, 3> pixelAt(const std::vector<uint8_t>& rgb, int x, int yFromTop) {
  const size_t i = (static_cast<size_t>(screenHeight - 1 - yFromTop) * screenWidth + x) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

TEST(OfflineShowTest, StartUpLeavesTheColourWhiteForTheFirstFrame) {
  show();
  // The last loading picture's tint would otherwise colour the closing logo of a render
  // that starts there.
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(std::vector<float>(colour, colour + 3), (std::vector<float>{1, 1, 1}));
}

TEST(OfflineShowTest, FrameTimesAreExactMultiplesOfTheFrameInterval) {
  const FrameRate ntsc{60000.0 / 1001.0};
  // Frame 60000 lies at 1001 s exactly; its product in doubles lands a hair above.
  EXPECT_EQ(ntsc.firstAtOrAfter(1001.0), 60000);
  EXPECT_LT(ntsc.timeOf(7792), 130.0);
  EXPECT_GE(ntsc.timeOf(ntsc.firstAtOrAfter(130.0)), 130.0);
  EXPECT_EQ(ntsc.firstAtOrAfter(130.0), 7793);
  // 146 s at 60 fps: 8760 frames, the last at 145.983 s.
  EXPECT_EQ(FrameRate{60}.firstAtOrAfter(146.0), 8760);
}

TEST(OfflineShowTest, OpeningPaintsTrianglesFromTheFirstSecond) {
  // The triangles are depth-tested against the never-cleared "rt0": a target whose depth
  // starts at 0 would hide them, leaving the picture white.
  show().renderUpTo(FrameRate{30}, 30);  // 1 s
  const auto [dark, light] = darkAndLight(frame());
  EXPECT_GT(dark, 0.02);
  EXPECT_GT(light, 0.2);
  // The logo is added over everything, trails included, on top of the triangles: what
  // stays dark is little more than its lettering.
  EXPECT_LT(dark, 0.1);
}

TEST(OfflineShowTest, StarsBeforeTheFirstWordReadAsPoints) {
  // 35 s: no word yet, a faint 1-2 kHz band (a blur of under a texel) and full brightness.
  show().renderUpTo(FrameRate{60}, 35 * 60);
  const auto picture = frame();
  long bright = 0;
  for (size_t i = 0; i < picture.size(); i += 3) bright += picture[i] > 100;
  // About 900 stars in view, each several pixels across after the blur.
  EXPECT_GT(bright, 3000);
  const auto [dark, light] = darkAndLight(picture);
  EXPECT_GT(dark, 0.9);  // points on black, not a grey wash
}

TEST(OfflineShowTest, AFrameAfterItsHistoryEqualsTheSameFrameOfALongerRender) {
  // The word scene at 45 s and the closing at 130 s, each rendered once as part of a
  // longer run and once started on its own, at 10 frames per second.
  const FrameRate rate{10};
  for (auto [runFrom, from, to] : {std::array<int64_t, 3>{430, 450, 453}, {1252, 1300, 1303}}) {
    std::vector<std::vector<uint8_t>> longer;
    show().forgetRun();
    for (int64_t n = runFrom; n < to; ++n) {
      show().renderUpTo(rate, n);
      if (n >= from) longer.push_back(frame());
    }
    show().forgetRun();
    for (int64_t n = from; n < to; ++n) {
      show().renderUpTo(rate, n);
      EXPECT_TRUE(frame() == longer[n - from]) << "frame " << n << " differs";
    }
  }
}

TEST(OfflineShowTest, TunnelWallAboveTheLightsViewIsLit) {
  show().renderUpTo(FrameRate{60}, 110 * 60);
  const auto picture = frame();
  // Near the top the camera sees the wall above y = 4.3, outside the light's frustum: it
  // shows the wall's own grey (0.53), not the shadowed half of it.
  for (int x : {300, 600, 900}) {
    const auto p = pixelAt(picture, x, 20);
    EXPECT_NEAR(p[0], 135, 6) << "at x = " << x;
  }
}

}  // namespace
