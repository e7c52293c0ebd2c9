// The show report's frame classifier on synthetic pictures, and its per-scene summary.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "FrameStats.h"

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
  // Grey 120 with a +/-15 ripple: a spread of 30/255, just under 0.15 of full scale.
  auto faint = flat(120);
  for (size_t i = 0; i < faint.size(); i += 3) {
    faint[i] = faint[i + 1] = faint[i + 2] = static_cast<uint8_t>(105 + (i / 3) % 31);
  }
  const FrameStats stats = measureFrame(faint.data(), kWidth, kHeight);
  EXPECT_NEAR(stats.spread, 30.0 / 255.0, 1.5 / 255.0);
  EXPECT_FALSE(stats.showsSomething());
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
