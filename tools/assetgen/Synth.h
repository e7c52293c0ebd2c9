// Signal building blocks of the music generator: wavetable oscillators, biquads,
// envelopes, a stereo buffer and the mix bus's effects. No hidden state (no clocks, no
// global random generators): rendering the same score twice gives identical samples.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

constexpr int kSampleRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// The frame nearest `seconds`.
inline int64_t frameAt(double seconds) { return std::llround(seconds * kSampleRate); }

// Equal temperament, A4 (MIDI 69) = 440 Hz.
inline double midiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Two channels of float samples; full scale is +-1.
struct StereoBuffer {
  std::vector<float> left;
  std::vector<float> right;

  explicit StereoBuffer(size_t frames = 0) : left(frames), right(frames) {}
  size_t frames() const { return left.size(); }
  // Frames outside the buffer are dropped, so a note may ring past the end of the piece.
  void add(int64_t frame, float l, float r) {
    if (frame < 0 || static_cast<size_t>(frame) >= left.size()) return;
    left[frame] += l;
    right[frame] += r;
  }
};

// Harmonic recipes, harmonic 1 always at amplitude 1: a note's loudness at its fundamental
// is its velocity.
enum class Wave { Sine, Saw, Square, Triangle, Buzz };

// One cycle of a waveform with only the harmonics below a ceiling, so it plays at its
// fundamental without aliasing; made once per (recipe, fundamental, ceiling) and kept.
class WaveTable {
 public:
  static constexpr int kSize = 4096;  // samples per cycle

  static const WaveTable& get(Wave wave, double fundamentalHz, double ceilingHz);
  // phase in cycles, 0 <= phase < 1; linear interpolation.
  float at(double phase) const {
    double position = phase * kSize;
    auto index = static_cast<int>(position);
    float fraction = static_cast<float>(position - index);
    return samples_[index] + (samples_[index + 1] - samples_[index]) * fraction;
  }

 private:
  std::vector<float> samples_;  // kSize + 1 entries; the last repeats the first
};

class Oscillator {
 public:
  Oscillator(const WaveTable& table, double hz, double phase = 0.0)
      : table_(&table), phase_(phase), increment_(hz / kSampleRate) {}
  void setFrequency(double hz) { increment_ = hz / kSampleRate; }
  float next() {
    float value = table_->at(phase_);
    phase_ += increment_;
    if (phase_ >= 1.0) phase_ -= 1.0;
    return value;
  }

 private:
  const WaveTable* table_;
  double phase_;
  double increment_;
};

// Second-order filter (RBJ cookbook forms). The band-pass has 0 dB gain at its centre.
class Biquad {
 public:
  void lowPass(double hz, double q);
  void highPass(double hz, double q);
  void bandPass(double hz, double q);
  float process(float x) {
    float y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = std::exchange(x1_, x);
    y2_ = std::exchange(y1_, y);
    return y;
  }

 private:
  void set(double b0, double b1, double b2, double a0, double a1, double a2);
  float b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  float x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// Linear attack, then exponential decay to the sustain level and release once the gate
// closes (seconds; decay and release are time constants).
struct Envelope {
  double attack = 0.005;
  double decay = 0.2;
  double sustain = 0.0;
  double release = 0.05;

  // Level 0..1 at t seconds after the note starts, the gate being open for `gate` seconds.
  float at(double t, double gate) const;
  // Seconds after the gate closes until the level is negligible (below -60 dB).
  double tail() const { return release * 7.0; }
};

// Freeverb-style room: parallel damped combs into series all-passes, the right channel's
// delays slightly longer for width. In place, wet only.
void applyReverb(StereoBuffer& buffer, float roomSize, float damping);

// Ping-pong echo: repeats `delaySeconds` apart, each `feedback` times the last and
// low-passed, alternating sides. In place, wet only.
void applyEcho(StereoBuffer& buffer, double delaySeconds, float feedback);

// Takes lowHz..highHz out of the buffer from `from` to `to` (seconds) with zero phase: the
// stretch is transformed whole, the gain rising back to 1 along a raised cosine over
// `edgeHz` either side of the band. The removal fades in over `rampSeconds` before `from`
// and out as long after `to`. An empty band or a stretch outside the buffer changes
// nothing. In place.
void removeBand(StereoBuffer& buffer, double from, double to, double rampSeconds, double lowHz,
                double highHz, double edgeHz);

// Feed-forward bus compressor: above `threshold` (linear peak) the level grows 1/ratio as
// fast; the detector follows the louder channel with the attack and release time
// constants (seconds). In place.
void applyCompressor(StereoBuffer& buffer, float threshold, float ratio, double attack,
                     double release);

// Look-ahead limiter: the gain falls over about 2 x `lookahead` seconds ahead of every
// peak, so that the output's true peak (see Loudness.h) stays at or below `ceiling`, and
// recovers with the `release` time constant (seconds). One gain for both channels keeps
// the stereo image and the mono sum's spectrum. Returns the frames turned down. In place.
size_t applyTruePeakLimiter(StereoBuffer& buffer, float ceiling, double lookahead, double release);
