// Loudness statistics of the show's music in the bands its scenes read, measured by the
// show's own sound layer (MusicStream::peakInBand) at 60 frames per second over each
// scene's span, so the numbers are the ones the scenes will see.
#pragma once

#include <string>
#include <vector>

#include "scenes/Schedule.h"

// Limits beyond the level rules that a scene's picture puts on one of its bands; the
// defaults hold every band.
struct BandLimits {
  double maxMedian = 1.0;   // the band must fall back this low between accents
  double minAudible = 0.0;  // share of frames above kAudible, 0..1
  double maxAudible = 1.0;
  double maxStep = 1.0;      // mean absolute change of the band from one frame to the next
  std::string reason;        // why the scene needs them, for the table's notes
  double minMedian = 0.0;    // the band must keep at least this much sounding throughout
  bool neverSilent = false;  // no frame may read exactly 0 (digital silence in the band)
  // Every frame must read within these, where a single frame out of range shows.
  double minLevel = 0.0;
  double maxLevel = 1.0;
};

struct Band {
  int lowHz;
  int highHz;
  BandLimits limits{};
};

// One scene's span (seconds) and the bands it reads; non-empty `windows` limit the sampling
// to where the scene actually reads.
struct SceneBands {
  std::string scene;
  double start;
  double end;
  std::vector<Band> bands;
  std::vector<TimeWindow> windows;
  bool informative = false;  // shown in the table, not held to the level rules
  // False for a quiet stretch of a scene, held only to its own limits.
  bool levelRules = true;
};

struct BandStat {
  std::string scene;
  double start = 0.0;
  double end = 0.0;
  Band band{0, 0};
  double min = 0.0;
  double median = 0.0;
  double p95 = 0.0;
  double max = 0.0;
  double audible = 0.0;  // share of frames above kAudible
  double step = 0.0;     // mean absolute change between consecutive frames
  bool informative = false;
  bool levelRules = true;
};

constexpr double kSampleRateHz = 60.0;  // show frames per second
constexpr double kRequiredP95 = 0.2;    // accents must reach this
constexpr double kSaturated = 0.95;     // a band at this level has lost its dynamics
constexpr double kFlatRatio = 0.85;     // median above this share of p95: no accents
// Above this level a band counts as sounding; the closing scene switches to its glowing
// picture there.
constexpr double kAudible = static_cast<double>(kClosingBlurMin) / kClosingBlurGain;

// The scenes of the show and their bands.
std::vector<SceneBands> showBands();

// Decodes `musicPath` and measures every band of `scenes`; false with `error` when it cannot.
bool measureBands(const std::string& musicPath, const std::vector<SceneBands>& scenes,
                  std::vector<BandStat>& stats, std::string& error);

// Empty when the band meets the level rules and its own limits, otherwise a short reason.
std::string bandProblem(const BandStat& stat);

// Level of the music decoded to float, as a player has it before any conversion to
// integers, so that overs beyond full scale are seen rather than clipped.
struct MasterLevels {
  double truePeakDb = 0.0;  // dBTP, 4x oversampled (see Loudness.h)
  double samplePeakDb = 0.0;
  double loudnessLufs = 0.0;  // integrated
};
// Room for the reconstruction and resampling after the decoder: a true peak above this
// clips in some players and DACs.
constexpr double kMaxTruePeakDb = -1.0;

// Decodes `musicPath` to float and measures it. False with `error` when it cannot.
bool measureMaster(const std::string& musicPath, MasterLevels& levels, std::string& error);

// Nearest-rank percentile (0 < fraction <= 1) of unsorted values; 0 for none.
double percentile(std::vector<float> values, double fraction);
