// Loudness statistics of the show's music in the bands its scenes read (see BandStats.h).
#include "BandStats.h"

#include <algorithm>
#include <cmath>

#include "audio/Backends.h"
#include "audio/MusicStream.h"

std::vector<SceneBands> showBands() {
  // Word scene: the camera angle is t + 5 x the 200-400 Hz band (radians); past about
  // 0.15 rad a frame on average its circling looks like jumps.
  constexpr double kCameraRadPerUnit = 5.0;
  constexpr double kCameraStepRad = 0.15;
  BandLimits camera;
  camera.maxStep = kCameraStepRad / kCameraRadPerUnit;
  camera.reason = "the camera angle moves 5 rad per unit, so 0.15 rad a frame on average";
  // Cloud scene: glow weight 15 g + 1, compounded over five blur passes. At g = 0.02 (1.3)
  // the picture survives; at g = 0.23 (4.45) every frame burns to white.
  BandLimits glow;
  glow.maxMedian = 0.02;
  glow.reason = "the glow weight 15 g + 1 compounds over five blur passes: near 1 between accents";
  // Closing scene: the glowing picture replaces the logo whenever the band is above
  // kAudible, so it should flash on the accents and leave the logo in view between them.
  BandLimits flash;
  flash.maxMedian = 0.012;
  flash.minAudible = 0.15;
  flash.maxAudible = 0.35;
  flash.reason = "the glowing picture shows above 0.02: flashes on accents, the logo between";
  std::vector<Band> cloud;
  constexpr int kCloudBands = 19;
  constexpr int kCloudBandHz = 100;
  for (int j = 0; j < kCloudBands; ++j) cloud.push_back({kCloudBandHz * j, kCloudBandHz * (j + 1)});
  cloud.push_back({500, 1000, glow});
  // The opening scene blurs by the band only inside these windows, and from 10 s on.
  std::vector<std::pair<double, double>> blurWindows = {
      {2.0, 2.4}, {4.5, 5.2}, {7.0, 7.6}, {10.0, 28.1}};
  return {
      {"opening", 0.0, 28.1, {{3000, 4000}}, {}},
      {"opening, blur windows", 0.0, 28.1, {{3000, 4000}}, blurWindows, true},
      {"words", 28.1, 63.0, {{200, 400, camera}, {1000, 2000}}, {}},
      {"cloud", 63.0, 83.474, cloud, {}},
      {"tunnel", 104.344, 125.2, {{80, 440}, {700, 1200}, {1200, 4000}}, {}},
      {"closing", 125.2, 146.0, {{3000, 4000, flash}}, {}},
  };
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
  if (!backend.musicLoaded()) {
    error = "cannot decode " + musicPath;
    return false;
  }
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
                       [t](const auto& w) { return t > w.first && t < w.second; })) {
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
      BandStat stat;
      stat.scene = scene.scene;
      stat.start = scene.start;
      stat.end = scene.end;
      stat.band = scene.bands[b];
      stat.median = percentile(values[b], 0.5);
      stat.p95 = percentile(values[b], 0.95);
      stat.max = percentile(values[b], 1.0);
      auto audible =
          std::count_if(values[b].begin(), values[b].end(), [](float v) { return v > kAudible; });
      if (!values[b].empty()) stat.audible = static_cast<double>(audible) / values[b].size();
      if (steps) stat.step = stepSum[b] / steps;
      stat.informative = scene.informative;
      stats.push_back(stat);
    }
  }
  return true;
}

std::string bandProblem(const BandStat& stat) {
  if (stat.p95 < kRequiredP95) return "too quiet";
  if (stat.max >= kSaturated) return "saturated";
  if (stat.median > kFlatRatio * stat.p95) return "flat";
  const BandLimits& limits = stat.band.limits;
  if (stat.median > limits.maxMedian) return "not quiet between accents";
  if (stat.audible < limits.minAudible) return "sounds too seldom";
  if (stat.audible > limits.maxAudible) return "sounds too often";
  if (stat.step > limits.maxStep) return "jumpy";
  return "";
}
