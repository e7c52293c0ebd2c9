// Signal building blocks of the music generator (see Synth.h).
#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>

double midiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

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
  table->samples_.assign(kSize + 1, 0.0f);
  const int harmonics = std::clamp(static_cast<int>(ceilingHz / fundamentalHz), 1, kSize / 2 - 1);
  // Rich recipes get Schroeder phases (h (h - 1) / 2H cycles for harmonic h): the same
  // spectrum, but a flat envelope instead of one sharp peak per cycle, so filtered voices
  // keep their loudness in the spectrum with far less peak level in the mix.
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
  for (int i = 0; i < kSize; ++i) table->samples_[i] = static_cast<float>(sum[i]);
  table->samples_[kSize] = table->samples_[0];
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
  double w = 2.0 * kPi * std::min(hz, kSampleRate * 0.45) / kSampleRate;
  double alpha = std::sin(w) / (2.0 * q);
  double c = std::cos(w);
  set((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

void Biquad::highPass(double hz, double q) {
  double w = 2.0 * kPi * std::min(hz, kSampleRate * 0.45) / kSampleRate;
  double alpha = std::sin(w) / (2.0 * q);
  double c = std::cos(w);
  set((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

void Biquad::bandPass(double hz, double q) {
  double w = 2.0 * kPi * std::min(hz, kSampleRate * 0.45) / kSampleRate;
  double alpha = std::sin(w) / (2.0 * q);
  double c = std::cos(w);
  set(alpha, 0.0, -alpha, 1 + alpha, -2 * c, 1 - alpha);
}

float Envelope::at(double t, double gate) const {
  if (t < 0.0) return 0.0f;
  auto held = [this](double u) {
    if (u < attack) return u / attack;
    return sustain + (1.0 - sustain) * std::exp(-(u - attack) / decay);
  };
  if (t < gate) return static_cast<float>(held(t));
  return static_cast<float>(held(gate) * std::exp(-(t - gate) / release));
}

namespace {

class Comb {
 public:
  explicit Comb(size_t length) : line_(length, 0.0f) {}
  float process(float x, float feedback, float damping) {
    float out = line_[index_];
    filtered_ = out * (1.0f - damping) + filtered_ * damping;
    line_[index_] = x + filtered_ * feedback;
    index_ = (index_ + 1) % line_.size();
    return out;
  }

 private:
  std::vector<float> line_;
  size_t index_ = 0;
  float filtered_ = 0.0f;
};

class AllPass {
 public:
  explicit AllPass(size_t length) : line_(length, 0.0f) {}
  float process(float x) {
    constexpr float kGain = 0.5f;
    float delayed = line_[index_];
    line_[index_] = x + delayed * kGain;
    index_ = (index_ + 1) % line_.size();
    return delayed - x;
  }

 private:
  std::vector<float> line_;
  size_t index_ = 0;
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

}  // namespace

void applyReverb(StereoBuffer& buffer, float roomSize, float damping) {
  constexpr size_t kStereoSpread = 23;
  reverbChannel(buffer.left, 0, roomSize, damping);
  reverbChannel(buffer.right, kStereoSpread, roomSize, damping);
}

void applyEcho(StereoBuffer& buffer, double delaySeconds, float feedback) {
  const auto delay = static_cast<size_t>(delaySeconds * kSampleRate);
  const size_t frames = buffer.frames();
  std::vector<float> left(frames, 0.0f), right(frames, 0.0f);
  Biquad toneLeft, toneRight;
  constexpr double kEchoToneHz = 3500.0;  // each repeat a little duller
  toneLeft.lowPass(kEchoToneHz, 0.7);
  toneRight.lowPass(kEchoToneHz, 0.7);
  for (size_t i = delay; i < frames; ++i) {
    // Mono input into the left line, which feeds the right line, which feeds the left.
    float in = 0.5f * (buffer.left[i - delay] + buffer.right[i - delay]);
    left[i] = toneLeft.process(in + right[i - delay] * feedback);
    right[i] = toneRight.process(left[i - delay] * feedback);
  }
  buffer.left.swap(left);
  buffer.right.swap(right);
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
