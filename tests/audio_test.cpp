// The music clock, seeking, pausing and band loudness, on the deterministic sound layer
// with MP3 fixtures encoded at test time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "Mp3Fixture.h"
#include "TestSupport.h"
#include "audio/Backends.h"
#include "audio/MusicStream.h"

#include <SDL2/SDL.h>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Decoding the same fixtures in every test would dominate the suite: make them once.
class Fixtures : public ::testing::Environment {
 public:
  static TempDir* dir;
  void SetUp() override {
    dir = new TempDir();
    ASSERT_TRUE(writeMp3(dir->file("sine1k.mp3"), 3.0,
                         [](double t) { return 0.8 * std::sin(2 * kPi * 1000.0 * t); }));
    ASSERT_TRUE(writeMp3(dir->file("silence.mp3"), 2.0, [](double) { return 0.0; }));
    // 0.5 s of a 3.5 kHz tone, then 0.5 s of silence, repeated.
    ASSERT_TRUE(writeMp3(dir->file("gated.mp3"), 2.0, [](double t) {
      return std::fmod(t, 1.0) < 0.5 ? 0.5 * std::sin(2 * kPi * 3500.0 * t) : 0.0;
    }));
    // Long enough that reads far ahead right after open find it still decoding; a rising
    // tone gives every position its own spectrum.
    ASSERT_TRUE(writeMp3(dir->file("sweep.mp3"), kSweepSeconds, [](double t) {
      return 0.6 * std::sin(2 * kPi * (200.0 + 60.0 * t) * t);
    }));
    // A tag and no frames: an MP3 that holds no audio.
    std::ofstream tagOnly(dir->file("tag-only.mp3"), std::ios::binary);
    const char kEmptyId3Tag[] = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 16};
    tagOnly.write(kEmptyId3Tag, sizeof kEmptyId3Tag);
    tagOnly.write(std::string(16, '\0').data(), 16);
    std::ofstream(dir->file("zero-bytes.mp3"));
    std::ofstream garbage(dir->file("garbage.mp3"), std::ios::binary);
    for (int i = 0; i < 20000; ++i) garbage.put(static_cast<char>((i * 7919) % 251));
  }
  static constexpr double kSweepSeconds = 30.0;
  void TearDown() override { delete dir; }
};
TempDir* Fixtures::dir = nullptr;
const auto* const fixturesEnvironment = ::testing::AddGlobalTestEnvironment(new Fixtures);

struct Show {
  ManualAudioBackend backend;
  MusicStream music;
  DemoClock clock{music};
  explicit Show(const std::string& file) {
    music.setBackend(&backend);
    music.open(file.c_str());
    music.play();
  }
  void at(int ms) {
    backend.setTimeMs(ms);
    clock.update();
  }
};

TEST(DemoClockTest, FirstUpdateGivesDeltaEqualToTheFirstTime) {
  Show show(Fixtures::dir->file("silence.mp3"));
  show.at(40);
  EXPECT_FLOAT_EQ(show.clock.time(), 0.04f);
  EXPECT_FLOAT_EQ(show.clock.delta(), 0.04f);
}

TEST(DemoClockTest, SeeksClampAtZeroAndTruncateToWholeMilliseconds) {
  Show show(Fixtures::dir->file("silence.mp3"));
  show.at(10700);
  show.clock.seek(static_cast<float>(show.clock.time() - 30.0));
  EXPECT_EQ(show.backend.timeMs(), 0);
  show.at(3200);
  show.clock.seek(static_cast<float>(show.clock.time() + 1.0));
  EXPECT_EQ(show.backend.timeMs(), 4200);
  // The clock's own time follows at the next update, and the delta is the jump.
  EXPECT_FLOAT_EQ(show.clock.time(), 3.2f);
  show.clock.update();
  EXPECT_FLOAT_EQ(show.clock.time(), 4.2f);
  EXPECT_NEAR(show.clock.delta(), 1.0f, 1e-6);
  show.clock.seek(show.clock.time() - 30.0f);
  show.clock.update();
  EXPECT_FLOAT_EQ(show.clock.time(), 0.0f);
  EXPECT_NEAR(show.clock.delta(), -4.2f, 1e-6);
  // Only negative targets clamp: a few milliseconds in is a position like any other.
  show.clock.seek(0.05f);
  EXPECT_EQ(show.backend.timeMs(), 50);
  show.clock.seekBy(0.01);
  EXPECT_EQ(show.backend.timeMs(), 60);
}

TEST(DemoClockTest, PauseReachesTheSoundLayerAndTimeStandsStill) {
  Show show(Fixtures::dir->file("silence.mp3"));
  show.at(5000);
  show.clock.setPaused(true);
  EXPECT_TRUE(show.clock.isPaused());
  EXPECT_TRUE(show.music.isPaused());
  EXPECT_TRUE(show.backend.isPaused());
  show.clock.update();
  show.clock.update();
  EXPECT_FLOAT_EQ(show.clock.time(), 5.0f);
  EXPECT_FLOAT_EQ(show.clock.delta(), 0.0f);
  show.clock.setPaused(!show.clock.isPaused());
  EXPECT_FALSE(show.backend.isPaused());
}

TEST(PeakInBandTest, BinArithmetic) {
  int low = 0, high = 0;
  MusicStream::bandToBins(3000, 4000, low, high);
  EXPECT_EQ(low, 69);
  EXPECT_EQ(high, 92);  // scans 69..91
  MusicStream::bandToBins(0, 100, low, high);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 2);
  MusicStream::bandToBins(1800, 1900, low, high);
  EXPECT_EQ(low, 41);
  EXPECT_EQ(high, 44);
}

TEST(PeakInBandTest, SineReadsItsLevelInItsBandOnly) {
  Show show(Fixtures::dir->file("sine1k.mp3"));
  show.at(1500);
  float inBand = show.music.peakInBand(900, 1100);
  EXPECT_GT(inBand, 0.6f);  // 0.8 amplitude, less the window's scalloping between bins
  EXPECT_LT(inBand, 0.85f);
  EXPECT_LT(show.music.peakInBand(3000, 4000), 0.01f);
  EXPECT_EQ(show.music.peakInBand(1000, 1000), 0.0f);
  EXPECT_EQ(show.music.peakInBand(1100, 900), 0.0f);
}

TEST(PeakInBandTest, SilenceAndMissingMusicReadZero) {
  Show silent(Fixtures::dir->file("silence.mp3"));
  silent.at(1000);
  for (int low = 0; low < 22000; low += 1000)
    EXPECT_EQ(silent.music.peakInBand(low, low + 1000), 0.0f);

  testing::internal::CaptureStderr();
  Show missing(Fixtures::dir->file("nothing-here.mp3"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // missing music is silent
  missing.at(1000);
  EXPECT_FLOAT_EQ(missing.clock.time(), 1.0f);  // the clock runs all the same
  EXPECT_EQ(missing.music.peakInBand(0, 20000), 0.0f);
}

TEST(PeakInBandTest, SpectrumFollowsThePositionAndIsCachedPerPosition) {
  Show show(Fixtures::dir->file("gated.mp3"));
  show.at(300);  // inside the tone
  const float loud = show.music.peakInBand(3000, 4000);
  EXPECT_GT(loud, 0.3f);
  show.at(800);  // inside the gap: the window of 1024 samples ends here
  EXPECT_LT(show.music.peakInBand(3000, 4000), 0.01f);
  // Paused: the position stands still and the same numbers keep answering.
  show.at(1300);
  show.clock.setPaused(true);
  const float first = show.music.peakInBand(3000, 4000);
  show.clock.update();
  EXPECT_EQ(show.music.peakInBand(3000, 4000), first);
  // Past the end of the music every band is silent.
  show.at(60000);
  EXPECT_EQ(show.music.peakInBand(0, 22000), 0.0f);
}

// A sound layer that stands at one position with one loud bin.
class FixedBackend : public AudioBackend {
 public:
  explicit FixedBackend(int32_t position) : position_(position) { bins_[80] = 0.5f; }
  void open(const char*) override {}
  void play() override {}
  int32_t timeMs() override { return 0; }
  void setTimeMs(int32_t) override {}
  void setPaused(bool) override {}
  int32_t position() override { return position_; }
  const float* spectrum() override { return bins_; }

 private:
  int32_t position_;
  float bins_[kSpectrumBins] = {};
};

TEST(PeakInBandTest, EveryPositionGetsItsCopyAndSwappingLayersDropsIt) {
  // 65535 frames is a real position, not the stamp of an empty copy.
  FixedBackend at65535(65535);
  MusicStream music;
  music.setBackend(&at65535);
  EXPECT_FLOAT_EQ(music.peakInBand(3000, 4000), 0.5f);
  // Another layer at the same position brings its own spectrum.
  MusicStream other;
  other.setBackend(&at65535);
  other.peakInBand(3000, 4000);
  class Quiet : public FixedBackend {
   public:
    Quiet() : FixedBackend(65535) {}
    const float* spectrum() override { return zeros_; }

   private:
    float zeros_[kSpectrumBins] = {};
  } quiet;
  other.setBackend(&quiet);
  EXPECT_EQ(other.peakInBand(3000, 4000), 0.0f);
}

TEST(PeakInBandTest, BandsReachingPastTheSpectrumReadOnlyItsBins) {
  // Below 0 Hz and above 22050 Hz there are no bins: the scan stops at the copy's ends.
  FixedBackend loudAt80(44100);
  MusicStream music;
  music.setBackend(&loudAt80);
  EXPECT_FLOAT_EQ(music.peakInBand(-5000, 40000), 0.5f);
  EXPECT_EQ(music.peakInBand(22050, 90000), 0.0f);
  EXPECT_EQ(music.peakInBand(-90000, 0), 0.0f);
}

// The whole file decoded before anything reads it: what every read must agree with.
MusicData decodedWhole(const std::string& file) {
  MusicData music;
  std::string error;
  EXPECT_TRUE(decodeMusicFile(file.c_str(), music, error)) << error;
  return music;
}

TEST(BackgroundDecodeTest, ReadsFarAheadRightAfterOpenWaitAndMatchTheWholeDecode) {
  const std::string file = Fixtures::dir->file("sweep.mp3");
  const MusicData whole = decodedWhole(file);
  ASSERT_GT(whole.frameCount(), static_cast<int64_t>(29.5 * kMixRate));
  SpectrumAnalyser analyser;
  float expected[kSpectrumBins];
  const int64_t farFrame = static_cast<int64_t>(29.0 * kMixRate) + 123;
  analyser.analyse(whole, farFrame, expected);

  // Spectrum of a far position straight after open, through the sound layer.
  Show show(file);
  show.at(29000);
  const int32_t at = show.backend.position();
  float copy[kSpectrumBins];
  const float* bins = show.backend.spectrum();
  std::copy(bins, bins + kSpectrumBins, copy);
  float direct[kSpectrumBins];
  analyser.analyse(whole, at, direct);
  for (int i = 0; i < kSpectrumBins; ++i) ASSERT_EQ(copy[i], direct[i]) << "bin " << i;
  EXPECT_GT(show.music.peakInBand(0, 22000), 0.1f);

  // Sample-exact reads on a fresh decode: far ahead first, across the end, before 0.
  MusicDecode decode(file);
  std::vector<int16_t> got(2 * 4096);
  ASSERT_EQ(decode.read(farFrame, 4096, got.data()), 4096);
  for (int n = 0; n < 2 * 4096; ++n) ASSERT_EQ(got[n], whole.samples[2 * farFrame + n]) << n;
  const int64_t end = whole.frameCount();
  EXPECT_EQ(decode.read(end - 100, 300, got.data()), 100);
  EXPECT_EQ(got[199], whole.samples[2 * end - 1]);
  EXPECT_TRUE(std::all_of(got.begin() + 200, got.begin() + 600, [](int16_t v) { return v == 0; }));
  EXPECT_EQ(decode.read(-50, 100, got.data()), 50);
  EXPECT_TRUE(std::all_of(got.begin(), got.begin() + 100, [](int16_t v) { return v == 0; }));
  EXPECT_EQ(got[100], whole.samples[0]);
  EXPECT_EQ(decode.waitForEnd(), end);
  EXPECT_EQ(decode.error(), "");
  analyser.analyse(decode, farFrame, copy);
  for (int i = 0; i < kSpectrumBins; ++i) ASSERT_EQ(copy[i], expected[i]) << "bin " << i;
}

TEST(BackgroundDecodeTest, ConcurrentReadersSeeOnlyFinishedSamples) {
  const std::string file = Fixtures::dir->file("sweep.mp3");
  const MusicData whole = decodedWhole(file);
  MusicDecode decode(file);
  constexpr int kReaders = 3;
  constexpr int kBlock = 1024;
  int mismatches[kReaders] = {};
  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r) {
    readers.emplace_back([&, r] {
      std::vector<int16_t> block(2 * kBlock);
      // Each reader walks the music from its own start, close behind the decoder.
      for (int64_t first = r * 997; first < whole.frameCount(); first += 7 * kBlock) {
        decode.read(first, kBlock, block.data());
        const int64_t count = std::min<int64_t>(kBlock, whole.frameCount() - first);
        for (int64_t n = 0; n < 2 * count; ++n) {
          if (block[n] != whole.samples[2 * first + n]) ++mismatches[r];
        }
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
  for (int r = 0; r < kReaders; ++r) EXPECT_EQ(mismatches[r], 0) << "reader " << r;
}

TEST(BackgroundDecodeTest, PrefetchedDecodeIsTakenOverOnceByTheOpen) {
  const std::string file = Fixtures::dir->file("sine1k.mp3");
  prefetchMusic(file);
  std::shared_ptr<MusicDecode> first = startMusicDecode(file);
  std::shared_ptr<MusicDecode> second = startMusicDecode(file);
  EXPECT_NE(first, second);  // handed out once; a later open decodes anew
  EXPECT_EQ(first->waitForEnd(), second->waitForEnd());
  prefetchMusic(Fixtures::dir->file("silence.mp3"));
  std::shared_ptr<MusicDecode> other = startMusicDecode(file);
  EXPECT_EQ(other->fileName(), file);  // another file's prefetch is no answer
}

TEST(BackgroundDecodeTest, NoMusicIsSilentWithoutAWordAndTheClockRuns) {
  const struct {
    const char* file;
    const char* reason;
  } kCases[] = {
      {"tag-only.mp3", "no audio in "},
      {"zero-bytes.mp3", "no audio in "},
      {"garbage.mp3", "no audio in "},
      {"nothing-here.mp3", "cannot open "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const std::string file = Fixtures::dir->file(c.file);
    MusicData music;
    music.samples.assign(10, 1);
    std::string error;
    EXPECT_FALSE(decodeMusicFile(file.c_str(), music, error));
    EXPECT_TRUE(music.samples.empty());
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(error.find(file), std::string::npos) << error;

    testing::internal::CaptureStderr();
    Show show(file);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "");  // unreadable music plays as silence, without a message
    EXPECT_FALSE(show.backend.musicLoaded());
    show.at(1500);
    EXPECT_FLOAT_EQ(show.clock.time(), 1.5f);
    EXPECT_EQ(show.music.peakInBand(0, 22000), 0.0f);
  }
}

TEST(SdlAudioBackendTest, WithoutADeviceTheClockRunsOnAndSeeksExactly) {
  setEnvironment("SDL_AUDIODRIVER", "no-such-driver");
  auto backend = std::make_unique<SdlAudioBackend>();
  testing::internal::CaptureStderr();
  backend->open(Fixtures::dir->file("silence.mp3").c_str());
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(backend->hasDevice());
  EXPECT_NE(said.find("no sound device"), std::string::npos);
  backend->play();
  backend->setTimeMs(20000);
  int32_t first = backend->timeMs();
  EXPECT_GE(first, 20000);
  EXPECT_LT(first, 20500);  // loose: a loaded machine may pause the test between calls
  SDL_Delay(60);
  int32_t later = backend->timeMs();
  EXPECT_GE(later, first + 40);
  backend->setPaused(true);
  int32_t paused = backend->timeMs();
  SDL_Delay(30);
  EXPECT_EQ(backend->timeMs(), paused);
  backend->setPaused(false);
  EXPECT_GE(backend->timeMs(), paused);
  unsetEnvironment("SDL_AUDIODRIVER");
}

}  // namespace
