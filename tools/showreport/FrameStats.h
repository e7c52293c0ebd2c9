// What a viewer sees in one frame, in a few numbers, and whether the frame shows anything.
//
// A frame "shows something" when the spread between the 1st and the 99.5th percentile of
// its luma is at least kMinSpread of full scale, or when at least kMinDeviantShare of its
// pixels lie kMinDeviation of full scale or more from its median luma. The second rule
// counts a field of sparse, dim points on black (a few thousand one-pixel stars at a
// quarter of full brightness are under half a percent of the pixels, so they never lift
// the 99.5th percentile); a flat, all-white or all-black picture, or a faint ripple within
// kMinDeviation of its median, counts under neither. Luma is Rec. 601 (0.299 R + 0.587 G +
// 0.114 B) on the 8-bit values.
//
// Per scene, SceneSummary counts the frames that show something and finds the longest
// run of blank frames, leaving out spans where a blank picture is part of the design.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr double kMinSpread = 0.15;  // of full scale
constexpr double kLowPercentile = 0.01;
constexpr double kHighPercentile = 0.995;
constexpr double kMinDeviation = 0.05;      // of full scale: 13 of 255 luma levels
constexpr double kMinDeviantShare = 0.002;  // of the pixels
constexpr int kNearBlackLuma = 13;          // at most 5 % of full scale
constexpr int kNearWhiteLuma = 242;         // at least 95 % of full scale

struct FrameStats {
  double spread = 0.0;     // 0..1
  double nearWhite = 0.0;  // share of pixels, 0..1
  double nearBlack = 0.0;
  double deviant = 0.0;    // share of pixels kMinDeviation or more from the median luma, 0..1
  double lit = 0.0;        // share of pixels with a luma of kMinDeviation or more, 0..1
  double brightest = 0.0;  // the highest luma, 0..1
  bool showsSomething() const { return spread >= kMinSpread || deviant >= kMinDeviantShare; }
};

// `rgb`: width * height pixels of 3 bytes, rows packed tightly, in any row order.
FrameStats measureFrame(const uint8_t* rgb, int width, int height);

struct BlankSpan {
  double from = 0.0;  // seconds, first blank frame
  double to = 0.0;    // seconds, end of the last blank frame
  double seconds() const { return to - from; }
};

struct SceneSummary {
  std::string name;
  double start = 0.0;  // seconds
  double end = 0.0;
  int64_t frames = 0;
  int64_t showing = 0;
  int64_t whiteFrames = 0;           // frames at least 95 % near-white
  int64_t blackFrames = 0;           // frames at least 95 % near-black
  BlankSpan longestBlank;            // anywhere in the scene
  BlankSpan longestUndesignedBlank;  // outside the spans allowed to be blank

  double showingShare() const { return frames ? static_cast<double>(showing) / frames : 0.0; }
};

// Folds the frames of one scene, in time order: frame i lies at times[i] and lasts
// frameSeconds; `designedBlank` holds the spans allowed to be blank.
SceneSummary summarise(const std::string& name, double start, double end,
                       const std::vector<std::pair<double, double>>& designedBlank,
                       const std::vector<double>& times, const std::vector<FrameStats>& stats,
                       double frameSeconds);
