// True peak and integrated loudness (see Loudness.h).
#include "assetgen/Loudness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Interpolation taps on each side of a point between samples: the sinc is cut by a
// Blackman window 12 samples either side, which keeps the reading within about 0.05 dB of
// the continuous peak for tones up to 16 kHz.
constexpr int kHalfTaps = 12;
constexpr int kTaps = 2 * kHalfTaps;
constexpr int kPoints = kTruePeakOversampling - 1;

using Taps = std::array<float, kTaps>;

// Taps for the point `fraction` of the way from sample i to i + 1: tap t weighs sample
// i - kHalfTaps + 1 + t. Each set sums to 1, so a constant passes unchanged.
Taps interpolationTaps(double fraction) {
  Taps taps{};
  double sum = 0.0;
  for (int t = 0; t < kTaps; ++t) {
    double u = fraction + kHalfTaps - 1 - t;  // distance from the point to the sample
    double sinc = u == 0.0 ? 1.0 : std::sin(kPi * u) / (kPi * u);
    double w =
        0.42 + 0.5 * std::cos(kPi * u / kHalfTaps) + 0.08 * std::cos(2.0 * kPi * u / kHalfTaps);
    taps[t] = static_cast<float>(sinc * w);
    sum += taps[t];
  }
  for (float& tap : taps) tap = static_cast<float>(tap / sum);
  return taps;
}

// The taps of each point between two samples.
const auto kAllTaps = [] {
  std::array<Taps, kPoints> taps{};
  for (int p = 0; p < kPoints; ++p) {
    taps[p] = interpolationTaps(static_cast<double>(p + 1) / kTruePeakOversampling);
  }
  return taps;
}();

// Direct-form biquad in double precision; the K-weighting's low shelf sits at 38 Hz,
// where float coefficients would lose the response.
struct Biquad {
  double b0, b1, b2, a1, a2;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double process(double x) {
    double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = std::exchange(x1, x);
    y2 = std::exchange(y1, y);
    return y;
  }
};

// The two stages of the K-weighting (a +4 dB shelf above about 1.7 kHz and a high-pass
// near 38 Hz), their analogue prototypes mapped to `rate` by the bilinear transform.
std::array<Biquad, 2> kWeighting(int rate) {
  constexpr double kShelfHz = 1681.974450955533;
  constexpr double kShelfGainDb = 3.999843853973347;
  constexpr double kShelfQ = 0.7071752369554196;
  constexpr double kHighPassHz = 38.13547087602444;
  constexpr double kHighPassQ = 0.5003270373238773;
  double k = std::tan(kPi * kShelfHz / rate);
  double vh = std::pow(10.0, kShelfGainDb / 20.0);
  double vb = std::pow(vh, 0.4996667741545416);
  double a0 = 1.0 + k / kShelfQ + k * k;
  Biquad shelf{(vh + vb * k / kShelfQ + k * k) / a0, 2.0 * (k * k - vh) / a0,
               (vh - vb * k / kShelfQ + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
               (1.0 - k / kShelfQ + k * k) / a0};
  k = std::tan(kPi * kHighPassHz / rate);
  a0 = 1.0 + k / kHighPassQ + k * k;
  Biquad highPass{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / kHighPassQ + k * k) / a0};
  return {shelf, highPass};
}

}  // namespace

void interSamplePeaks(const std::vector<float>& x, std::vector<float>& peaks) {
  const auto n = static_cast<int64_t>(x.size());
  peaks.assign(x.size(), 0.0f);
  for (int64_t i = 0; i < n; ++i) peaks[i] = std::fabs(x[i]);
  // Blocks of outputs, each point computed tap by tap over the block so that the inner
  // loop runs over independent outputs.
  constexpr int64_t kBlock = 4096;
  std::vector<float> padded(kBlock + kTaps);
  std::vector<float> acc(kBlock);
  for (int64_t start = 0; start < n; start += kBlock) {
    const int64_t count = std::min(kBlock, n - start);
    // padded[j] is x[start - kHalfTaps + 1 + j], silence outside x.
    for (int64_t j = 0; j < count + kTaps; ++j) {
      int64_t source = start - kHalfTaps + 1 + j;
      padded[j] = source >= 0 && source < n ? x[source] : 0.0f;
    }
    for (const Taps& taps : kAllTaps) {
      std::fill(acc.begin(), acc.begin() + count, 0.0f);
      for (int t = 0; t < kTaps; ++t) {
        for (int64_t i = 0; i < count; ++i) acc[i] += taps[t] * padded[t + i];
      }
      for (int64_t i = 0; i < count; ++i) {
        peaks[start + i] = std::max(peaks[start + i], std::fabs(acc[i]));
      }
    }
  }
}

double truePeak(const std::vector<float>& left, const std::vector<float>& right) {
  double peak = 0.0;
  std::vector<float> peaks;
  for (const std::vector<float>* channel : {&left, &right}) {
    interSamplePeaks(*channel, peaks);
    for (float p : peaks) peak = std::max(peak, static_cast<double>(p));
  }
  return peak;
}

double decibels(double linear) {
  return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

double integratedLoudness(const std::vector<float>& left, const std::vector<float>& right,
                          int sampleRateHz) {
  constexpr double kBlockSeconds = 0.4;
  constexpr int kStepsPerBlock = 4;  // blocks overlap by 75 %
  constexpr double kOffsetDb = -0.691;
  constexpr double kRelativeGateDb = -10.0;
  const size_t frames = std::min(left.size(), right.size());
  const auto step = static_cast<size_t>(std::lround(kBlockSeconds * sampleRateHz / kStepsPerBlock));
  if (step == 0) return kSilentLufs;
  // Sum of both channels' K-weighted squares over each 100 ms step.
  std::vector<double> stepEnergy;
  std::array<std::array<Biquad, 2>, 2> filters = {kWeighting(sampleRateHz),
                                                  kWeighting(sampleRateHz)};
  double sum = 0.0;
  for (size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < 2; ++c) {
      double y = c == 0 ? left[i] : right[i];
      for (Biquad& stage : filters[c]) y = stage.process(y);
      sum += y * y;
    }
    if ((i + 1) % step == 0) stepEnergy.push_back(std::exchange(sum, 0.0));
  }
  auto loudnessOf = [](double meanSquare) { return kOffsetDb + 10.0 * std::log10(meanSquare); };
  std::vector<double> blocks;  // mean square per block
  for (size_t b = 0; b + kStepsPerBlock <= stepEnergy.size(); ++b) {
    double energy =
        std::accumulate(stepEnergy.begin() + b, stepEnergy.begin() + b + kStepsPerBlock, 0.0);
    double meanSquare = energy / (static_cast<double>(step) * kStepsPerBlock);
    if (meanSquare > 0.0 && loudnessOf(meanSquare) > kSilentLufs) blocks.push_back(meanSquare);
  }
  if (blocks.empty()) return kSilentLufs;
  const double mean = std::accumulate(blocks.begin(), blocks.end(), 0.0) / blocks.size();
  const double gate = loudnessOf(mean) + kRelativeGateDb;
  // The blocks above the relative gate, in their order, to the front.
  const auto loud = std::stable_partition(blocks.begin(), blocks.end(),
                                          [&](double b) { return loudnessOf(b) > gate; });
  if (loud == blocks.begin()) return kSilentLufs;
  return loudnessOf(std::accumulate(blocks.begin(), loud, 0.0) / (loud - blocks.begin()));
}
