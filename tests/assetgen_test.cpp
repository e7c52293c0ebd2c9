// Building blocks of the asset generator whose calibration the music relies on: note
// velocities are fundamental amplitudes, filters and envelopes behave as their levels
// assume, the bus compressor leaves quiet passages alone, and the MP3 keeps its timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "TestSupport.h"
#include "assetgen/Loudness.h"
#include "assetgen/Mp3Writer.h"
#include "assetgen/Random.h"
#include "assetgen/Synth.h"
#include "audio/MusicData.h"

namespace {

// Amplitude of harmonic h in one cycle of a table (plain DFT).
double harmonicAmplitude(const WaveTable& table, int h) {
  constexpr int kSamples = 2048;
  double re = 0.0, im = 0.0;
  for (int i = 0; i < kSamples; ++i) {
    double phase = static_cast<double>(i) / kSamples;
    re += table.at(phase) * std::cos(2.0 * kPi * h * phase);
    im += table.at(phase) * std::sin(2.0 * kPi * h * phase);
  }
  return 2.0 * std::hypot(re, im) / kSamples;
}

double peakOf(const WaveTable& table) {
  double peak = 0.0;
  for (int i = 0; i < WaveTable::kSize; ++i) {
    peak = std::max(peak, std::fabs(static_cast<double>(table.at(i / double(WaveTable::kSize)))));
  }
  return peak;
}

TEST(WaveTableTest, FundamentalIsUnitInEveryRecipeAndNothingAboveTheCeiling) {
  constexpr double kFundamental = 110.0, kCeiling = 1000.0;  // harmonics 1..9
  for (Wave wave : {Wave::Sine, Wave::Saw, Wave::Square, Wave::Triangle, Wave::Buzz}) {
    SCOPED_TRACE(static_cast<int>(wave));
    const WaveTable& table = WaveTable::get(wave, kFundamental, kCeiling);
    EXPECT_NEAR(harmonicAmplitude(table, 1), 1.0, 1e-3);
    EXPECT_NEAR(harmonicAmplitude(table, 10), 0.0, 1e-3);
    EXPECT_NEAR(harmonicAmplitude(table, 13), 0.0, 1e-3);
  }
  const WaveTable& saw = WaveTable::get(Wave::Saw, kFundamental, kCeiling);
  EXPECT_NEAR(harmonicAmplitude(saw, 3), 1.0 / 3.0, 1e-3);
  const WaveTable& square = WaveTable::get(Wave::Square, kFundamental, kCeiling);
  EXPECT_NEAR(harmonicAmplitude(square, 2), 0.0, 1e-3);
}

TEST(WaveTableTest, RichWavesSpreadTheirPhasesSoTheirPeakStaysLow) {
  // 40 equal harmonics in phase would peak at 40.
  const WaveTable& buzz = WaveTable::get(Wave::Buzz, 50.0, 2000.0);
  EXPECT_NEAR(harmonicAmplitude(buzz, 40), 1.0, 1e-2);
  EXPECT_LT(peakOf(buzz), 12.0);
}

TEST(BiquadTest, BandPassIsUnityAtItsCentreAndCutsAnOctaveAway) {
  auto gainAt = [](double hz) {
    Biquad filter;
    filter.bandPass(1000.0, 10.0);
    double peak = 0.0;
    for (int i = 0; i < kSampleRate / 2; ++i) {
      float y = filter.process(static_cast<float>(std::sin(2.0 * kPi * hz * i / kSampleRate)));
      if (i > kSampleRate / 4) peak = std::max(peak, std::fabs(static_cast<double>(y)));
    }
    return peak;
  };
  EXPECT_NEAR(gainAt(1000.0), 1.0, 0.01);
  EXPECT_LT(gainAt(2000.0), 0.1);
  EXPECT_LT(gainAt(500.0), 0.1);
}

// Amplitude of a tone of `hz` in samples [first, first + count) (Hann-windowed DFT).
double toneAmplitude(const std::vector<float>& samples, size_t first, size_t count, double hz) {
  double re = 0.0, im = 0.0, weights = 0.0;
  for (size_t n = 0; n < count; ++n) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * n / count);
    const double phase = 2.0 * kPi * hz * static_cast<double>(first + n) / kSampleRate;
    re += w * samples[first + n] * std::cos(phase);
    im += w * samples[first + n] * std::sin(phase);
    weights += w;
  }
  return 2.0 * std::hypot(re, im) / weights;
}

// Tones below, inside and above a removed band, different in each channel: inside the
// stretch only the band's go, the channels stay apart, and outside it nothing changes.
TEST(RemoveBandTest, TakesOutOnlyTheBandAndOnlyInItsStretch) {
  StereoBuffer buffer(2 * kSampleRate);
  for (size_t i = 0; i < buffer.frames(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    auto tone = [t](double hz) { return std::sin(2.0 * kPi * hz * t); };
    buffer.left[i] = static_cast<float>(0.3 * (tone(300.0) + tone(1500.0) + tone(4000.0)));
    buffer.right[i] = static_cast<float>(0.3 * (tone(900.0) + tone(1200.0)));
  }
  const StereoBuffer original = buffer;
  constexpr double kFrom = 0.8, kTo = 1.2, kRamp = 0.01;
  removeBand(buffer, kFrom, kTo, kRamp, 1000.0, 2000.0, 40.0);

  const size_t first = kSampleRate * 85 / 100, count = kSampleRate * 3 / 10;  // 0.85-1.15 s
  EXPECT_LT(toneAmplitude(buffer.left, first, count, 1500.0), 1e-4);
  EXPECT_LT(toneAmplitude(buffer.right, first, count, 1200.0), 1e-4);
  EXPECT_NEAR(toneAmplitude(buffer.left, first, count, 300.0), 0.3, 1e-3);
  EXPECT_NEAR(toneAmplitude(buffer.left, first, count, 4000.0), 0.3, 1e-3);
  EXPECT_NEAR(toneAmplitude(buffer.right, first, count, 900.0), 0.3, 1e-3);
  EXPECT_LT(toneAmplitude(buffer.right, first, count, 300.0), 1e-4) << "left leaked into right";
  // Untouched before the ramp in and after the ramp out.
  const auto rampIn = static_cast<size_t>((kFrom - kRamp) * kSampleRate) - 1;
  const auto rampOut = static_cast<size_t>((kTo + kRamp) * kSampleRate) + 1;
  for (size_t i = 0; i < buffer.frames(); ++i) {
    if (i > rampIn && i < rampOut) continue;
    ASSERT_EQ(buffer.left[i], original.left[i]) << i;
    ASSERT_EQ(buffer.right[i], original.right[i]) << i;
  }

  // Nothing to do: an empty band, a stretch past the end, an empty buffer.
  StereoBuffer same = original;
  removeBand(same, kFrom, kTo, kRamp, 2000.0, 1000.0, 40.0);
  removeBand(same, 5.0, 6.0, kRamp, 1000.0, 2000.0, 40.0);
  EXPECT_EQ(same.left, original.left);
  EXPECT_EQ(same.right, original.right);
  StereoBuffer empty;
  removeBand(empty, 0.0, 1.0, kRamp, 1000.0, 2000.0, 40.0);
  EXPECT_EQ(empty.frames(), 0u);
}

TEST(EnvelopeTest, AttackDecayToSustainThenRelease) {
  Envelope envelope{0.01, 0.1, 0.5, 0.2};
  EXPECT_EQ(envelope.at(-0.001, 1.0), 0.0f);
  EXPECT_NEAR(envelope.at(0.005, 1.0), 0.5, 1e-6);
  EXPECT_NEAR(envelope.at(0.01, 1.0), 1.0, 1e-6);
  EXPECT_NEAR(envelope.at(0.9, 1.0), 0.5, 1e-3);
  // One release time constant after the gate closes: 1/e of the level at the gate.
  EXPECT_NEAR(envelope.at(1.2, 1.0), envelope.at(1.0, 1.0) / std::exp(1.0), 1e-4);
  EXPECT_LT(envelope.at(1.0 + envelope.tail(), 1.0), 1e-3f);
}

TEST(CompressorTest, QuietPassesUntouchedAndLoudPeaksComeDown) {
  constexpr float kThreshold = 0.6f, kRatio = 3.0f;
  StereoBuffer buffer(kSampleRate);
  for (size_t i = 0; i < buffer.frames(); ++i) {
    float level = i < buffer.frames() / 2 ? 0.4f : 1.0f;
    buffer.left[i] = buffer.right[i] =
        level * static_cast<float>(std::sin(2.0 * kPi * 220.0 * i / kSampleRate));
  }
  StereoBuffer original = buffer;
  applyCompressor(buffer, kThreshold, kRatio, 0.002, 0.15);
  for (size_t i = 0; i < buffer.frames() / 2; ++i) ASSERT_EQ(buffer.left[i], original.left[i]);
  float loudPeak = 0.0f;
  for (size_t i = buffer.frames() * 3 / 4; i < buffer.frames(); ++i) {
    loudPeak = std::max(loudPeak, std::fabs(buffer.left[i]));
  }
  EXPECT_LT(loudPeak, 0.85f);
  EXPECT_GT(loudPeak, kThreshold);
}

// Known answers: a tone at a quarter of the sample rate sampled 45 degrees off its crests
// reads 3 dB low sample by sample, but its true peak is its amplitude; a 997 Hz tone at
// -20 dBFS in both channels reads -20 LUFS (the K-weighting's offset is set for it).
TEST(LoudnessTest, TruePeakFindsPeaksBetweenSamplesAndLoudnessMatchesItsReference) {
  const size_t frames = kSampleRate;
  std::vector<float> quarter(frames), tone(frames), silence(frames, 0.0f);
  for (size_t i = 0; i < frames; ++i) {
    // Faded in and out over 1000 samples: a tone cut off at full level rings at the cut.
    double fade = std::min({1.0, i / 1000.0, (frames - 1 - i) / 1000.0});
    quarter[i] = static_cast<float>(fade * std::sin(kPi / 2.0 * i + kPi / 4.0));
    tone[i] = static_cast<float>(0.1 * std::sin(2.0 * kPi * 997.0 * i / kSampleRate));
  }
  float samplePeak = 0.0f;
  for (float x : quarter) samplePeak = std::max(samplePeak, std::fabs(x));
  EXPECT_NEAR(samplePeak, std::sqrt(0.5), 1e-4);
  EXPECT_NEAR(truePeak(quarter, silence), 1.0, 0.01);
  EXPECT_NEAR(decibels(truePeak(silence, tone)), -20.0, 0.05);
  EXPECT_EQ(truePeak(silence, silence), 0.0);
  EXPECT_EQ(truePeak({}, {}), 0.0);

  EXPECT_NEAR(integratedLoudness(tone, tone, kSampleRate), -20.0, 0.1);
  EXPECT_NEAR(integratedLoudness(tone, silence, kSampleRate), -23.0, 0.1);  // one channel
  EXPECT_EQ(integratedLoudness(silence, silence, kSampleRate), kSilentLufs);
  EXPECT_EQ(integratedLoudness({}, {}, kSampleRate), kSilentLufs);
}

// A hot mix (a bass tone with bursts twice full scale) comes out with its true peak at the
// ceiling, turned down only around the bursts; a quiet one passes unchanged.
TEST(LimiterTest, HoldsTheTruePeakAtTheCeilingAndLeavesQuietPassagesAlone) {
  constexpr float kCeiling = 0.794f;
  StereoBuffer buffer(kSampleRate);
  for (size_t i = 0; i < buffer.frames(); ++i) {
    double t = static_cast<double>(i) / kSampleRate;
    double burst = std::fmod(t, 0.5) < 0.05 ? 1.6 : 0.0;
    buffer.left[i] = static_cast<float>(0.4 * std::sin(2.0 * kPi * 55.0 * t) +
                                        burst * std::sin(2.0 * kPi * 10987.0 * t));
    buffer.right[i] = static_cast<float>(0.4 * std::sin(2.0 * kPi * 55.0 * t));
  }
  const StereoBuffer original = buffer;
  size_t limited = applyTruePeakLimiter(buffer, kCeiling, 0.0015, 0.02);
  EXPECT_LE(truePeak(buffer.left, buffer.right), kCeiling * 1.001);
  EXPECT_GT(truePeak(buffer.left, buffer.right), kCeiling * 0.97) << "turned down too far";
  EXPECT_GT(limited, 0u);
  EXPECT_LT(limited, buffer.frames() / 2);
  // One gain for both channels: the untouched-looking right channel dips with the left.
  const size_t inBurst = kSampleRate / 40;  // 25 ms, inside the first burst
  EXPECT_NEAR(buffer.right[inBurst] / original.right[inBurst],
              buffer.left[inBurst] / original.left[inBurst], 1e-3);
  // Between bursts, after the release (0.35-0.45 s), the signal is as it was.
  for (size_t i = kSampleRate * 35 / 100; i < kSampleRate * 45 / 100; ++i) {
    ASSERT_EQ(buffer.left[i], original.left[i]) << i;
  }

  StereoBuffer quiet(kSampleRate / 2);
  for (size_t i = 0; i < quiet.frames(); ++i) {
    quiet.left[i] = quiet.right[i] =
        static_cast<float>(0.7 * std::sin(2.0 * kPi * 440.0 * i / kSampleRate));
  }
  const StereoBuffer quietOriginal = quiet;
  EXPECT_EQ(applyTruePeakLimiter(quiet, kCeiling, 0.0015, 0.02), 0u);
  EXPECT_EQ(quiet.left, quietOriginal.left);
  StereoBuffer empty;
  EXPECT_EQ(applyTruePeakLimiter(empty, kCeiling, 0.0015, 0.02), 0u);
}

TEST(RandomTest, SameSeedSameSequenceInRange) {
  Pcg32 a(42), b(42), c(43);
  int differences = 0;
  for (int i = 0; i < 1000; ++i) {
    float x = a.uniform();
    ASSERT_EQ(x, b.uniform());
    ASSERT_GE(x, 0.0f);
    ASSERT_LT(x, 1.0f);
    differences += x != c.uniform();
  }
  EXPECT_GT(differences, 990);
}

// The show's clock is the music position: the encoded file must decode to exactly the
// rendered samples' timing, without the encoder's delay in front.
TEST(Mp3WriterTest, DecodedMusicKeepsLengthAndTiming) {
  constexpr double kClickSeconds = 0.5;
  StereoBuffer music(kSampleRate);  // 1 s of silence with one click
  const auto click = static_cast<size_t>(kClickSeconds * kSampleRate);
  for (size_t i = click; i < click + 64; ++i) music.left[i] = music.right[i] = 0.8f;
  TempDir dir;
  std::string error;
  ASSERT_TRUE(writeMp3(dir.file("click.mp3"), music, error)) << error;
  MusicData decoded;
  ASSERT_TRUE(decodeMusicFile(dir.file("click.mp3").c_str(), decoded, error)) << error;
  EXPECT_EQ(decoded.frameCount(), static_cast<int64_t>(music.frames()));
  int64_t loudest = 0;
  for (int64_t f = 0; f < decoded.frameCount(); ++f) {
    if (std::abs(decoded.samples[2 * f]) > std::abs(decoded.samples[2 * loudest])) loudest = f;
  }
  EXPECT_NEAR(static_cast<double>(loudest), static_cast<double>(click + 32), 44.0);  // 1 ms

  EXPECT_FALSE(writeMp3("/nonexistent-directory/x.mp3", music, error));
  EXPECT_NE(error.find("/nonexistent-directory/x.mp3"), std::string::npos);
}

}  // namespace
