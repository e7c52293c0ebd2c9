// The show report's frame classifier on synthetic pictures, and its per-scene summary.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "showreport/FrameStats.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

std::vector<uint8_t> flat(uint8_t level) {
  return std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight * 3, level);
}

TEST(FrameStatsTest, FlatWhiteAndBlackPicturesShowNothing) {
  for (uint8_t level : {0, 128, 255}) {
    const FrameStats stats = measureFrame(flat(level).data(), kWidth, kHeight);
    EXPECT_FALSE(stats.showsSomething()) << "level " << int(level);
    EXPECT_DOUBLE_EQ(stats.spread, 0.0);
    EXPECT_DOUBLE_EQ(stats.deviant, 0.0);
  }
  EXPECT_DOUBLE_EQ(measureFrame(flat(255).data(), kWidth, kHeight).nearWhite, 1.0);
  EXPECT_DOUBLE_EQ(measureFrame(flat(0).data(), kWidth, kHeight).nearBlack, 1.0);
  EXPECT_DOUBLE_EQ(measureFrame(flat(128).data(), kWidth, kHeight).nearBlack, 0.0);
}

TEST(FrameStatsTest, AFewThousandPointsOnBlackShowSomething) {
  // 5000 white pixels are 0.64 % of the frame: above the top half percent.
  auto picture = flat(0);
  std::mt19937 random(7);
  for (int i = 0; i < 5000; ++i) {
    const size_t pixel = random() % (kWidth * kHeight);
    picture[3 * pixel] = picture[3 * pixel + 1] = picture[3 * pixel + 2] = 255;
  }
  const FrameStats stats = measureFrame(picture.data(), kWidth, kHeight);
  EXPECT_TRUE(stats.showsSomething());
  EXPECT_GT(stats.nearBlack, 0.99);
  // A couple of hundred stray pixels are not a picture.
  auto specks = flat(0);
  for (int i = 0; i < 200; ++i) specks[3 * (i * 997)] = 255;
  EXPECT_FALSE(measureFrame(specks.data(), kWidth, kHeight).showsSomething());
}

TEST(FrameStatsTest, TexturedPictureShowsSomethingAndFaintOneDoesNot) {
  auto picture = flat(0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const size_t i = (static_cast<size_t>(y) * kWidth + x) * 3;
      picture[i] = static_cast<uint8_t>((x ^ y) & 0xff);  // red only: luma weight 0.299
      picture[i + 1] = static_cast<uint8_t>((x + y) & 0x7f);
    }
  }
  EXPECT_TRUE(measureFrame(picture.data(), kWidth, kHeight).showsSomething());
  // Grey 120 with a +/-12 ripple: a spread of 24/255, under 0.15 of full scale, and no
  // pixel 13 levels (0.05 of full scale) from the median.
  auto faint = flat(120);
  for (size_t i = 0; i < faint.size(); i += 3) {
    faint[i] = faint[i + 1] = faint[i + 2] = static_cast<uint8_t>(108 + (i / 3) % 25);
  }
  const FrameStats stats = measureFrame(faint.data(), kWidth, kHeight);
  EXPECT_NEAR(stats.spread, 24.0 / 255.0, 1.5 / 255.0);
  EXPECT_DOUBLE_EQ(stats.deviant, 0.0);
  EXPECT_FALSE(stats.showsSomething());
}

// `count` distinct pixels of grey `level` on black, spread over the frame.
std::vector<uint8_t> starField(int count, uint8_t level) {
  auto picture = flat(0);
  const size_t pixels = static_cast<size_t>(kWidth) * kHeight;
  for (int i = 0; i < count; ++i) {
    const size_t pixel = static_cast<size_t>(i) * 4999 % pixels;  // 4999 is prime: distinct
    picture[3 * pixel] = picture[3 * pixel + 1] = picture[3 * pixel + 2] = level;
  }
  return picture;
}

// One-pixel stars, too few to lift the 99.5th percentile: they count by the share of pixels
// 13 levels or more from the median, from 0.2 % of the frame (1573 of 786432 pixels) up.
TEST(FrameStatsTest, SparseDimStarsOnBlackShowSomethingFromATwoHundredthOfTheFrame) {
  const FrameStats stars = measureFrame(starField(2400, 64).data(), kWidth, kHeight);
  EXPECT_DOUBLE_EQ(stars.spread, 0.0) << "the percentile rule alone misses them";
  EXPECT_NEAR(stars.deviant, 2400.0 / (kWidth * kHeight), 1e-9);
  EXPECT_TRUE(stars.showsSomething());
  EXPECT_TRUE(measureFrame(starField(1573, 255).data(), kWidth, kHeight).showsSomething());
  EXPECT_FALSE(measureFrame(starField(1572, 255).data(), kWidth, kHeight).showsSomething());
  // 13 levels above black is 0.05 of full scale rounded up; 12 is not enough.
  EXPECT_TRUE(measureFrame(starField(2400, 13).data(), kWidth, kHeight).showsSomething());
  EXPECT_FALSE(measureFrame(starField(2400, 12).data(), kWidth, kHeight).showsSomething());
  // Noise of up to 12 levels on black: every pixel stays within 12 of the median.
  auto noise = flat(0);
  std::mt19937 random(11);
  for (size_t i = 0; i < noise.size(); i += 3) {
    noise[i] = noise[i + 1] = noise[i + 2] = static_cast<uint8_t>(random() % 13);
  }
  const FrameStats faint = measureFrame(noise.data(), kWidth, kHeight);
  EXPECT_LT(faint.deviant, kMinDeviantShare);
  EXPECT_FALSE(faint.showsSomething());
  EXPECT_NEAR(faint.brightest, 12 / 255.0, 1e-12);
  EXPECT_DOUBLE_EQ(faint.lit, 0.0);
  // The star field's own measures: its brightest star and the share it lights.
  EXPECT_NEAR(stars.brightest, 64 / 255.0, 1e-12);
  EXPECT_NEAR(stars.lit, 2400.0 / (kWidth * kHeight), 1e-9);
}

TEST(FrameStatsTest, SummaryFindsTheLongestBlankStretchOutsideTheDesignedOne) {
  // Ten frames a second over 0-10 s: blank at 2.0-2.4 s and from 8 s to the end.
  std::vector<double> times;
  std::vector<FrameStats> stats;
  for (int i = 0; i < 100; ++i) {
    times.push_back(i / 10.0);
    FrameStats f;
    const bool blank = (i >= 20 && i < 25) || i >= 80;
    f.spread = blank ? 0.0 : 0.5;
    f.nearWhite = blank ? 1.0 : 0.1;
    stats.push_back(f);
  }
  const SceneSummary s = summarise("test", 0.0, 10.0, {{8.0, 10.0}}, times, stats, 0.1);
  EXPECT_EQ(s.frames, 100);
  EXPECT_EQ(s.showing, 75);
  EXPECT_EQ(s.whiteFrames, 25);
  EXPECT_NEAR(s.longestBlank.from, 8.0, 1e-9);
  EXPECT_NEAR(s.longestBlank.seconds(), 2.0, 1e-9);
  EXPECT_NEAR(s.longestUndesignedBlank.from, 2.0, 1e-9);
  EXPECT_NEAR(s.longestUndesignedBlank.seconds(), 0.5, 1e-9);
}

}  // namespace
