// The show's music: an original piece at one steady tempo, rendered from a fixed score.
// Six sections follow the show's scenes, each putting energy where its scene listens (see
// Music.cpp); the piece runs past the show's end, so the last scene never reaches its end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "assetgen/Synth.h"
#include "scenes/Schedule.h"

constexpr double kTempoBpm = 92.0;
constexpr double kBeatSeconds = 60.0 / kTempoBpm;
constexpr double kMusicSeconds = 152.0;

// Section starts in seconds, one per scene of the show's schedule, then the show's end.
constexpr double kSectionStarts[] = {
    sceneStart(kOpening), sceneStart(kWord),    sceneStart(kCloud),    sceneStart(kColumns),
    sceneStart(kTunnel),  sceneStart(kClosing), sceneStart(kEndOfShow)};
// Six sections and the tail after the show.
constexpr size_t kSections = sizeof kSectionStarts / sizeof kSectionStarts[0];

// The limiter holds the mix's true peak at -2 dBTP: MP3 encoding adds about 0.6 dB of
// overshoot, and the decoded file must stay at or below -1 dBTP. A 1.5 ms look-ahead and a
// 20 ms release turn a band down only around the peak itself.
constexpr float kTruePeakCeiling = 0.794f;
constexpr double kLimiterLookaheadSeconds = 0.0015;
constexpr double kLimiterReleaseSeconds = 0.02;
// Samples above this level (1 dB under the ceiling) count as the limiter's work.
constexpr float kLimiterKnee = 0.708f;

// Renders the whole piece; `seed` (kMusicSeed for data/deruz.mp3) feeds the noise.
constexpr uint64_t kMusicSeed = 0x4c756d6f72616bULL;
StereoBuffer renderMusic(uint64_t seed);

// Level summary of a rendered piece, for the generator's log.
struct MixReport {
  float peak = 0.0f;
  float truePeak = 0.0f;  // linear, see Loudness.h
  float rms = 0.0f;
  size_t limitedSamples = 0;  // samples above kLimiterKnee
  float sectionPeak[kSections] = {};
  size_t sectionLimited[kSections] = {};
};
MixReport inspectMix(const StereoBuffer& music);
