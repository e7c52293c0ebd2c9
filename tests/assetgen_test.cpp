// Building blocks of the asset generator whose calibration the music relies on: note
// velocities are fundamental amplitudes, filters and envelopes behave as their levels
// assume, the bus compressor leaves quiet passages alone, and the MP3 keeps its timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Mp3Writer.h"
#include "Random.h"
#include "Synth.h"
#include "TestSupport.h"
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
