// Loudness statistics of the show's music in the bands its scenes read (see BandStats.h).
#include "assetgen/BandStats.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "assetgen/Loudness.h"
#include "audio/Backends.h"
#include "audio/MusicStream.h"
#include "cli/Cli.h"

namespace {
// A number as the table's notes write it: "80", not "80.000000".
std::string shortNumber(double value) { return cli::formatted("%g", value); }

// Every band `scene` reads, from the schedule, in order; band i held to limits[i].
std::vector<Band> bandsOf(SceneIndex scene, const std::vector<BandLimits>& limits = {}) {
  std::vector<Band> bands;
  const SceneSchedule& entry = scheduleOf(scene);
  for (int i = 0; i < entry.bandCount; ++i) {
    bands.push_back({entry.bands[i].lowHz, entry.bands[i].highHz});
  }
  for (size_t i = 0; i < limits.size(); ++i) bands[i].limits = limits[i];
  return bands;
}

// All of `scene`, sampled only inside `windows` when there are any.
SceneBands whole(const char* name, SceneIndex scene, std::vector<Band> bands,
                 std::vector<TimeWindow> windows = {}, bool informative = false) {
  return {name, sceneStart(scene), scheduleOf(scene).end, bands, windows, informative};
}

// A quiet stretch of a scene, held only to its own limits.
SceneBands quiet(const char* name, double start, double end, std::vector<Band> bands) {
  return {name, start, end, bands, {}, false, false};
}

// The word scene's camera band, and its stars' blur band before, while and after the words
// show.
void addWordScene(std::vector<SceneBands>& rows) {
  // 200-400 Hz: the camera angle is t + kWordCameraGain x the band (radians); past 0.15 rad
  // a frame on average its circling looks like jumps.
  BandLimits camera;
  camera.maxStep = 0.15 / kWordCameraGain;
  camera.reason = "the camera angle moves " + shortNumber(kWordCameraGain) +
                  " rad per unit, so 0.15 rad a frame on average";
  // 1-2 kHz: the stars' blur spread is g = kWordBlurGain x the band (texels, times
  // kWordBandModeFactor after kWordBandModeStart); at g = 0.6 they are near black.
  constexpr double kStarsMinSpread = 0.02;
  constexpr double kStarsMaxSpread = 0.2;
  BandLimits starsBefore;
  starsBefore.minLevel = kStarsMinSpread / kWordBlurGain;
  starsBefore.maxLevel = kStarsMaxSpread / kWordBlurGain;
  starsBefore.neverSilent = true;
  starsBefore.reason = "blur spread " + shortNumber(kWordBlurGain) +
                       " x band texels: 0.02-0.2 keeps the one-pixel stars visible points, and 0 "
                       "feeds the last picture back";
  BandLimits starsAfter = starsBefore;
  starsAfter.maxLevel = kStarsMaxSpread / (kWordBlurGain * kWordBandModeFactor);
  starsAfter.reason = "as before the words, the spread being " +
                      shortNumber(kWordBlurGain * kWordBandModeFactor) + " x band texels after " +
                      shortNumber(kWordBandModeStart) + " s";
  BandLimits wordsBright;
  wordsBright.minMedian = 0.15;
  wordsBright.reason = "the words' brightness and size follow " + shortNumber(kWordBrightness) +
                       " x " + shortNumber(kWordBlurGain) +
                       " x band. The whole scene's 1-2 kHz row has no median limit: half of it "
                       "is the quiet stretches";
  auto starBlur = [](const BandLimits& limits) {
    return std::vector<Band>{{kWordBlurBand.lowHz, kWordBlurBand.highHz, limits}};
  };
  rows.push_back(whole("words", kWord, bandsOf(kWord, {camera})));
  rows.push_back(
      whole("words, words shown", kWord, starBlur(wordsBright), {{kFirstWordStart, kLastWordEnd}}));
  rows.push_back(quiet("words, before", sceneStart(kWord), kFirstWordStart, starBlur(starsBefore)));
  rows.push_back(quiet("words, after", kLastWordEnd, scheduleOf(kWord).end, starBlur(starsAfter)));
}

// The cloud: each rectangle from 1 to 1.9 kHz follows its own 100 Hz band of a held chord;
// the glow comes last.
SceneBands cloudScene() {
  // At g = 0.02 (weight 1.3) the picture survives; at 0.23 (4.45) it burns white.
  BandLimits glow;
  glow.maxMedian = 0.02;
  glow.reason = "the glow weight " + shortNumber(kCloudGlowGain) +
                " g + 1 compounds over five blur passes: near 1 between accents";
  BandLimits rectangle;
  rectangle.minMedian = 0.05;
  rectangle.reason = "its rectangle moves only while the band sounds";
  constexpr int kFirstSteadyRectangle = 10;  // 1000-1100 Hz
  std::vector<Band> bands = bandsOf(kCloud);
  for (int j = kFirstSteadyRectangle; j < kCloudRectangles; ++j) bands[j].limits = rectangle;
  bands[kCloudRectangles].limits = glow;
  return whole("cloud", kCloud, bands);
}

// The closing: the glowing picture replaces the logo whenever the band is above kAudible;
// from kClosingLogoGone the picture is white anyway.
void addClosingScene(std::vector<SceneBands>& rows) {
  BandLimits flash;
  flash.maxMedian = 0.012;
  flash.reason = "the glowing picture shows above " + shortNumber(kAudible) +
                 ": the logo between the accents. Its share of frames above " +
                 shortNumber(kAudible) +
                 " is held only while the logo is in view (next row): the 15-35 % once asked of "
                 "the whole scene turned 38 of 210 frames at 126-133 s entirely white";
  BandLimits logoInView;
  logoInView.maxMedian = 0.012;
  logoInView.minAudible = 0.03;
  logoInView.maxAudible = 0.08;
  logoInView.reason = "every frame above " + shortNumber(kAudible) +
                      " blurs the picture to white; more than about one in twelve hides the logo";
  rows.push_back(whole("closing", kClosing, bandsOf(kClosing, {flash})));
  rows.push_back(quiet("closing, logo in view", sceneStart(kClosing), kClosingLogoGone,
                       bandsOf(kClosing, {logoInView})));
}
}  // namespace

std::vector<SceneBands> showBands() {
  // The opening blurs by its band only inside its windows.
  std::vector<SceneBands> rows = {
      whole("opening", kOpening, bandsOf(kOpening)),
      whole("opening, blur windows", kOpening, bandsOf(kOpening),
            {std::begin(kOpeningBlurWindows), std::end(kOpeningBlurWindows)}, true)};
  addWordScene(rows);
  rows.push_back(cloudScene());
  rows.push_back(whole("tunnel", kTunnel, bandsOf(kTunnel)));
  addClosingScene(rows);
  return rows;
}

double percentile(std::vector<float> values, double fraction) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  auto rank = static_cast<size_t>(std::ceil(fraction * values.size()));
  return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

bool measureBands(const std::string& musicPath, const std::vector<SceneBands>& scenes,
                  std::vector<BandStat>& stats, std::string& error) {
  ManualAudioBackend backend;
  MusicStream music;
  music.setBackend(&backend);
  music.open(musicPath.c_str());
  if (!backend.musicLoaded()) return cli::failWith(error, "cannot decode " + musicPath);
  music.play();
  for (const SceneBands& scene : scenes) {
    std::vector<std::vector<float>> values(scene.bands.size());
    // Frame-to-frame changes, summed only over frames that follow a sampled frame.
    std::vector<double> stepSum(scene.bands.size(), 0.0);
    size_t steps = 0;
    bool previousSampled = false;
    for (int frame = 0;; ++frame) {
      double t = scene.start + frame / kSampleRateHz;
      if (t >= scene.end) break;
      if (!scene.windows.empty() &&
          std::none_of(scene.windows.begin(), scene.windows.end(),
                       [t](const TimeWindow& w) { return t > w.from && t < w.to; })) {
        previousSampled = false;
        continue;
      }
      backend.setTimeMs(static_cast<int32_t>(t * 1000.0));
      music.time();  // the backend reports this position; the spectrum follows it
      for (size_t b = 0; b < scene.bands.size(); ++b) {
        float value = music.peakInBand(scene.bands[b].lowHz, scene.bands[b].highHz);
        if (previousSampled) stepSum[b] += std::fabs(value - values[b].back());
        values[b].push_back(value);
      }
      steps += previousSampled;
      previousSampled = true;
    }
    for (size_t b = 0; b < scene.bands.size(); ++b) {
      const std::vector<float>& v = values[b];
      const double min = v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
      const auto audible = std::count_if(v.begin(), v.end(), [](float x) { return x > kAudible; });
      stats.push_back({scene.scene, scene.start, scene.end, scene.bands[b], min, percentile(v, 0.5),
                       percentile(v, 0.95), percentile(v, 1.0),
                       v.empty() ? 0.0 : static_cast<double>(audible) / v.size(),
                       steps ? stepSum[b] / steps : 0.0, scene.informative, scene.levelRules});
    }
  }
  return true;
}

std::string bandProblem(const BandStat& stat) {
  if (stat.levelRules) {
    if (stat.p95 < kRequiredP95) return "too quiet";
    if (stat.max >= kSaturated) return "saturated";
    if (stat.median > kFlatRatio * stat.p95) return "flat";
  }
  const BandLimits& limits = stat.band.limits;
  if (stat.median > limits.maxMedian) return "not quiet between accents";
  if (stat.median < limits.minMedian) return "too faint between accents";
  if (limits.neverSilent && stat.min <= 0.0) return "silent in some frames";
  if (stat.min < limits.minLevel) return "too faint in some frames";
  if (stat.max > limits.maxLevel) return "too loud in some frames";
  if (stat.audible < limits.minAudible) return "sounds too seldom";
  if (stat.audible > limits.maxAudible) return "sounds too often";
  if (stat.step > limits.maxStep) return "jumpy";
  return "";
}

namespace {

constexpr long kDecodeRateHz = 44100;

// The whole file as two float channels at 44.1 kHz, unclipped.
bool decodeFloat(const std::string& path, std::vector<float>& left, std::vector<float>& right,
                 std::string& error) {
  left.clear();
  right.clear();
  static const bool libraryReady = mpg123_init() == MPG123_OK;
  if (!libraryReady) return cli::failWith(error, "mpg123 could not be initialised");
  int status = MPG123_OK;
  // mpg123_delete closes the file first.
  std::unique_ptr<mpg123_handle, decltype(&mpg123_delete)> handle(mpg123_new(nullptr, &status),
                                                                  mpg123_delete);
  if (!handle) return cli::failWith(error, std::string("mpg123: ") + mpg123_plain_strerror(status));
  mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  mpg123_format_none(handle.get());
  if (mpg123_format(handle.get(), kDecodeRateHz, MPG123_STEREO, MPG123_ENC_FLOAT_32) != MPG123_OK ||
      mpg123_open(handle.get(), path.c_str()) != MPG123_OK) {
    return cli::failWith(error, "cannot decode " + path + ": " + mpg123_strerror(handle.get()));
  }
  off_t expected = mpg123_length(handle.get());
  if (expected > 0) {
    left.reserve(static_cast<size_t>(expected));
    right.reserve(static_cast<size_t>(expected));
  }
  std::vector<float> block(16 * 1024);  // interleaved left, right
  for (;;) {
    size_t done = 0;
    int result = mpg123_read(handle.get(), block.data(), block.size() * sizeof(float), &done);
    size_t frames = done / (2 * sizeof(float));  // a trailing partial frame is dropped
    for (size_t f = 0; f < frames; ++f) {
      left.push_back(block[2 * f]);
      right.push_back(block[2 * f + 1]);
    }
    if (result == MPG123_DONE) break;
    if (result == MPG123_NEW_FORMAT || result == MPG123_OK) continue;
    return cli::failWith(error, "cannot decode " + path + ": " + mpg123_strerror(handle.get()));
  }
  if (left.empty()) return cli::failWith(error, "no audio in " + path);
  return true;
}

}  // namespace

bool measureMaster(const std::string& musicPath, MasterLevels& levels, std::string& error) {
  std::vector<float> left, right;
  if (!decodeFloat(musicPath, left, right, error)) return false;
  double samplePeak = 0.0;
  for (size_t i = 0; i < left.size(); ++i) {
    samplePeak = std::max({samplePeak, std::fabs(static_cast<double>(left[i])),
                           std::fabs(static_cast<double>(right[i]))});
  }
  levels.samplePeakDb = decibels(samplePeak);
  levels.truePeakDb = decibels(truePeak(left, right));
  levels.loudnessLufs = integratedLoudness(left, right, kDecodeRateHz);
  return true;
}
