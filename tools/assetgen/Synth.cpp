// Signal building blocks of the music generator (see Synth.h).
#include "assetgen/Synth.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <memory>
#include <tuple>
#include <utility>

#include "assetgen/Loudness.h"

namespace {

double harmonicAmplitude(Wave wave, int harmonic) {
  switch (wave) {
    case Wave::Sine: return harmonic == 1 ? 1.0 : 0.0;
    case Wave::Saw: return 1.0 / harmonic;
    case Wave::Square: return harmonic % 2 ? 1.0 / harmonic : 0.0;
    case Wave::Triangle:
      return harmonic % 2 ? ((harmonic / 2) % 2 ? -1.0 : 1.0) / (harmonic * harmonic) : 0.0;
    case Wave::Buzz: return 1.0;
  }
  return 0.0;
}

// The cookbook's alpha and cos w for `hz` (kept below Nyquist) and `q`.
std::pair<double, double> cookbookTerms(double hz, double q) {
  double w = 2.0 * kPi * std::min(hz, kSampleRate * 0.45) / kSampleRate;
  return {std::sin(w) / (2.0 * q), std::cos(w)};
}

struct Comb {
  explicit Comb(size_t length) : line(length, 0.0f) {}
  float process(float x, float feedback, float damping) {
    float out = line[index];
    filtered = out * (1.0f - damping) + filtered * damping;
    line[index] = x + filtered * feedback;
    index = (index + 1) % line.size();
    return out;
  }
  std::vector<float> line;
  size_t index = 0;
  float filtered = 0.0f;
};

struct AllPass {
  explicit AllPass(size_t length) : line(length, 0.0f) {}
  float process(float x) {
    constexpr float kGain = 0.5f;
    float delayed = line[index];
    line[index] = x + delayed * kGain;
    index = (index + 1) % line.size();
    return delayed - x;
  }
  std::vector<float> line;
  size_t index = 0;
};

void reverbChannel(std::vector<float>& samples, size_t spread, float roomSize, float damping) {
  // Delay lengths in samples at 44.1 kHz, mutually prime-ish so the echoes smear.
  static const size_t kCombLengths[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
  static const size_t kAllPassLengths[] = {556, 441, 341, 225};
  constexpr float kInputGain = 0.015f;  // keeps eight summed combs near unity
  std::vector<Comb> combs;
  for (size_t length : kCombLengths) combs.emplace_back(length + spread);
  std::vector<AllPass> allPasses;
  for (size_t length : kAllPassLengths) allPasses.emplace_back(length + spread);
  const float feedback = 0.7f + 0.28f * roomSize;
  for (float& sample : samples) {
    float input = sample * kInputGain;
    float out = 0.0f;
    for (Comb& comb : combs) out += comb.process(input, feedback, damping);
    for (AllPass& allPass : allPasses) out = allPass.process(out);
    sample = out;
  }
}

// In-place radix-2 FFT of a power-of-two length; `inverse` leaves out the 1/n.
void fft(std::vector<std::complex<double>>& data, bool inverse) {
  const size_t n = data.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(data[i], data[j]);
  }
  const double sign = inverse ? 1.0 : -1.0;
  for (size_t length = 2; length <= n; length <<= 1) {
    const size_t half = length / 2;
    // Twiddles from sin and cos directly, not by repeated products, so rounding does not
    // build up over a long transform.
    std::vector<std::complex<double>> twiddle(half);
    for (size_t k = 0; k < half; ++k) {
      const double angle = sign * 2.0 * kPi * static_cast<double>(k) / static_cast<double>(length);
      twiddle[k] = {std::cos(angle), std::sin(angle)};
    }
    for (size_t start = 0; start < n; start += length) {
      for (size_t k = 0; k < half; ++k) {
        const std::complex<double> a = data[start + k];
        const std::complex<double> b = data[start + k + half] * twiddle[k];
        data[start + k] = a + b;
        data[start + k + half] = a - b;
      }
    }
  }
}

// 1 for `away` up to 0, falling along a raised cosine to 0 at `width` and beyond.
double raisedCosineFall(double away, double width) {
  if (away >= width) return 0.0;
  if (away <= 0.0) return 1.0;
  return 0.5 + 0.5 * std::cos(kPi * away / width);
}

}  // namespace

const WaveTable& WaveTable::get(Wave wave, double fundamentalHz, double ceilingHz) {
  using Key = std::tuple<int, int64_t, int64_t>;
  static std::map<Key, std::unique_ptr<WaveTable>> cache;
  // Keys in hundredths of a hertz: notes of the score never come that close together.
  Key key{static_cast<int>(wave), std::llround(fundamentalHz * 100.0),
          std::llround(ceilingHz * 100.0)};
  auto found = cache.find(key);
  if (found != cache.end()) return *found->second;

  static std::vector<double> sine;
  if (sine.empty()) {
    sine.resize(kSize);
    for (int i = 0; i < kSize; ++i) sine[i] = std::sin(2.0 * kPi * i / kSize);
  }
  auto table = std::make_unique<WaveTable>();
  const int harmonics = std::clamp(static_cast<int>(ceilingHz / fundamentalHz), 1, kSize / 2 - 1);
  // Rich recipes get Schroeder phases (h (h - 1) / 2H cycles for harmonic h): the same
  // spectrum with a flat envelope instead of one sharp peak per cycle, so far less peak level.
  const bool spreadPhases = wave == Wave::Saw || wave == Wave::Buzz;
  std::vector<double> sum(kSize, 0.0);
  for (int h = 1; h <= harmonics; ++h) {
    double amplitude = harmonicAmplitude(wave, h);
    if (amplitude == 0.0) continue;
    int64_t offset = 0;
    if (spreadPhases) offset = static_cast<int64_t>(h) * (h - 1) * kSize / (2 * harmonics) % kSize;
    for (int i = 0; i < kSize; ++i) {
      sum[i] += amplitude * sine[(static_cast<int64_t>(h) * i + offset) % kSize];
    }
  }
  table->samples_.assign(sum.begin(), sum.end());  // to float
  table->samples_.push_back(table->samples_[0]);
  return *cache.emplace(key, std::move(table)).first->second;
}

void Biquad::set(double b0, double b1, double b2, double a0, double a1, double a2) {
  b0_ = static_cast<float>(b0 / a0);
  b1_ = static_cast<float>(b1 / a0);
  b2_ = static_cast<float>(b2 / a0);
  a1_ = static_cast<float>(a1 / a0);
  a2_ = static_cast<float>(a2 / a0);
}

void Biquad::lowPass(double hz, double q) {
  const auto [alpha, c] = cookbookTerms(hz, q);
  set((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

void Biquad::highPass(double hz, double q) {
  const auto [alpha, c] = cookbookTerms(hz, q);
  set((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

void Biquad::bandPass(double hz, double q) {
  const auto [alpha, c] = cookbookTerms(hz, q);
  set(alpha, 0.0, -alpha, 1 + alpha, -2 * c, 1 - alpha);
}

float Envelope::at(double t, double gate) const {
  if (t < 0.0) return 0.0f;
  auto held = [this](double u) {
    return u < attack ? u / attack : sustain + (1.0 - sustain) * std::exp(-(u - attack) / decay);
  };
  if (t < gate) return static_cast<float>(held(t));
  return static_cast<float>(held(gate) * std::exp(-(t - gate) / release));
}

void applyReverb(StereoBuffer& buffer, float roomSize, float damping) {
  constexpr size_t kStereoSpread = 23;
  reverbChannel(buffer.left, 0, roomSize, damping);
  reverbChannel(buffer.right, kStereoSpread, roomSize, damping);
}

void applyEcho(StereoBuffer& buffer, double delaySeconds, float feedback) {
  const auto delay = static_cast<size_t>(delaySeconds * kSampleRate);
  const size_t frames = buffer.frames();
  std::vector<float> left(frames, 0.0f), right(frames, 0.0f);
  Biquad toneLeft;
  toneLeft.lowPass(3500.0, 0.7);  // each repeat a little duller
  Biquad toneRight = toneLeft;
  for (size_t i = delay; i < frames; ++i) {
    // Mono input into the left line, which feeds the right line, which feeds the left.
    float in = 0.5f * (buffer.left[i - delay] + buffer.right[i - delay]);
    left[i] = toneLeft.process(in + right[i - delay] * feedback);
    right[i] = toneRight.process(left[i - delay] * feedback);
  }
  buffer.left.swap(left);
  buffer.right.swap(right);
}

void removeBand(StereoBuffer& buffer, double from, double to, double rampSeconds, double lowHz,
                double highHz, double edgeHz) {
  if (!(lowHz <= highHz) || !(from <= to) || buffer.frames() == 0) return;
  edgeHz = std::max(edgeHz, 1.0);
  rampSeconds = std::max(rampSeconds, 0.0);
  const auto frames = static_cast<int64_t>(buffer.frames());
  const int64_t ramp = frameAt(rampSeconds);
  const int64_t first = std::max<int64_t>(0, frameAt(from) - ramp);
  const int64_t end = std::min(frames, frameAt(to) + ramp);  // past the last frame changed
  if (first >= end) return;
  // The band's impulse response fades within a few 1 / edgeHz: transform that much more on
  // either side, so that the wrap-around of the transform stays off the frames changed.
  const auto margin = static_cast<int64_t>(std::ceil(8.0 * kSampleRate / edgeHz));
  const int64_t segment = std::max<int64_t>(0, first - margin);
  const int64_t segmentEnd = std::min(frames, end + margin);
  size_t n = 1;
  while (n < static_cast<size_t>(segmentEnd - segment)) n <<= 1;
  // Both channels in one transform, left as the real part and right as the imaginary: the
  // band's gain is real and even in frequency, so they stay apart.
  std::vector<std::complex<double>> data(n);
  for (int64_t i = segment; i < segmentEnd; ++i) {
    data[i - segment] = {buffer.left[i], buffer.right[i]};
  }
  fft(data, false);
  // Gain of the band itself (1 inside, 0 beyond edgeHz outside); the buffer keeps 1 minus it.
  for (size_t k = 0; k < n; ++k) {
    const double hz =
        static_cast<double>(std::min(k, n - k)) * kSampleRate / static_cast<double>(n);
    data[k] *= raisedCosineFall(std::max(lowHz - hz, hz - highHz), edgeHz) / static_cast<double>(n);
  }
  fft(data, true);
  for (int64_t i = first; i < end; ++i) {
    // Raised-cosine fades over the ramps before `from` and after `to`.
    const double t = static_cast<double>(i) / kSampleRate;
    const double outside = std::max(from - t, t - to);  // seconds, <= 0 inside
    const double weight = raisedCosineFall(outside, rampSeconds);
    buffer.left[i] -= static_cast<float>(weight * data[i - segment].real());
    buffer.right[i] -= static_cast<float>(weight * data[i - segment].imag());
  }
}

void applyCompressor(StereoBuffer& buffer, float threshold, float ratio, double attack,
                     double release) {
  const auto attackStep = static_cast<float>(1.0 - std::exp(-1.0 / (attack * kSampleRate)));
  const auto releaseStep = static_cast<float>(1.0 - std::exp(-1.0 / (release * kSampleRate)));
  float envelope = 0.0f;
  for (size_t i = 0; i < buffer.frames(); ++i) {
    float level = std::max(std::fabs(buffer.left[i]), std::fabs(buffer.right[i]));
    envelope += (level - envelope) * (level > envelope ? attackStep : releaseStep);
    if (envelope <= threshold) continue;
    float gain = (threshold + (envelope - threshold) / ratio) / envelope;
    buffer.left[i] *= gain;
    buffer.right[i] *= gain;
  }
}

size_t applyTruePeakLimiter(StereoBuffer& buffer, float ceiling, double lookahead, double release) {
  const size_t frames = buffer.frames();
  if (frames == 0) return 0;
  std::vector<float> left, right;
  interSamplePeaks(buffer.left, left);
  interSamplePeaks(buffer.right, right);
  // need[i]: the largest gain at frame i that keeps every oversampled point next to it
  // (between i - 1 and i + 1) under the ceiling.
  std::vector<float> need(frames);
  for (size_t i = 0; i < frames; ++i) {
    float peak = std::max(left[i], right[i]);
    if (i > 0) peak = std::max({peak, left[i - 1], right[i - 1]});
    need[i] = peak > ceiling ? ceiling / peak : 1.0f;
  }
  // Smallest need within `reach` frames either side, then its mean over the same width:
  // every value averaged at frame i comes from a window that holds i, so the mean never
  // exceeds need[i], and the gain ramps down over the look-ahead instead of stepping.
  const auto reach = static_cast<size_t>(std::max(1.0, lookahead * kSampleRate));
  std::vector<float> floor(frames);
  for (size_t i = 0; i < frames; ++i) {
    const auto first = need.begin() + (i > reach ? i - reach : 0);
    floor[i] = *std::min_element(first, need.begin() + std::min(frames, i + reach + 1));
  }
  std::vector<float> gain(frames);
  double sum = 0.0;
  // The window of the mean, clamped at the buffer's ends: frames [i - reach, i + reach].
  for (size_t i = 0; i < std::min(reach, frames); ++i) sum += floor[i];
  for (size_t i = 0; i < frames; ++i) {
    if (i + reach < frames) sum += floor[i + reach];
    if (i > reach) sum -= floor[i - reach - 1];
    const size_t first = i > reach ? i - reach : 0;
    const size_t last = std::min(frames - 1, i + reach);
    gain[i] = static_cast<float>(sum / static_cast<double>(last - first + 1));
  }
  const auto releaseStep = static_cast<float>(1.0 - std::exp(-1.0 / (release * kSampleRate)));
  size_t limited = 0;
  float current = 1.0f;
  constexpr float kSettled = 1e-4f;  // -0.001 dB: the release has arrived
  for (size_t i = 0; i < frames; ++i) {
    current = gain[i] < current ? gain[i] : current + (gain[i] - current) * releaseStep;
    if (gain[i] - current < kSettled) current = gain[i];
    // The mean of float values can round a hair above its smallest term.
    current = std::min(current, need[i]);
    limited += current < 1.0f;
    buffer.left[i] *= current;
    buffer.right[i] *= current;
  }
  return limited;
}
