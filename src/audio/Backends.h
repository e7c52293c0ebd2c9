// The two sound-layer implementations (see AudioBackend.h).
#pragma once

#include <chrono>
#include <memory>
#include <mutex>

#include "audio/AudioBackend.h"
#include "audio/MusicData.h"

// Shared by both: the decoded music (see MusicData.h) and the spectrum of a position,
// cached per frame. open() returns once the first second is decoded.
class DecodedMusicBackend : public AudioBackend {
 public:
  int32_t position() override { return static_cast<int32_t>(reportedFrame_); }
  const float* spectrum() override;

  // The music, or null when there is none.
  const MusicDecode* music() const { return music_.get(); }
  bool musicLoaded() const { return music_ != nullptr; }

 protected:
  // Takes over the prefetched decode of the file or starts one, and waits for its first
  // second. Without readable music returns null, without a word: the show runs silent.
  std::shared_ptr<MusicDecode> openMusic(const char* fileName);

  std::shared_ptr<MusicDecode> music_;
  int64_t reportedFrame_ = 0;  // the frame that the last timeMs() stood for

 private:
  SpectrumAnalyser analyser_;
  int64_t spectrumFrame_ = -1;
  float bins_[kSpectrumBins] = {};
};

// Plays nothing; the caller sets the position, so a frame renders alike on every run.
class ManualAudioBackend : public DecodedMusicBackend {
 public:
  void open(const char* fileName) override;
  void play() override {}
  int32_t timeMs() override;
  double timeSeconds() override;
  void setTimeMs(int32_t ms) override {
    timeMs_ = ms < 0 ? 0 : ms;
    exact_ = false;
  }
  // Sets the position to `seconds` exactly (frame n / fps of a video); the spectrum ends at
  // the nearest sample. Negative times land at 0.
  void setTime(double seconds);
  void setPaused(bool paused) override { paused_ = paused; }
  bool isPaused() const { return paused_; }

 private:
  int32_t timeMs_ = 0;
  double seconds_ = 0.0;  // meaningful when exact_
  bool exact_ = false;    // set by setTime(), cleared by setTimeMs()
  bool paused_ = false;
};

// Frames [first, end) at kMixRate that playback repeats, `first` following `end` at the very
// next sample; playback from before `first` runs into the span. Empty when end <= first.
struct MusicLoop {
  int64_t first = 0;
  int64_t end = 0;

  bool active() const { return end > first; }
  // The music frame that unwrapped playback position `frame` plays.
  int64_t wrap(int64_t frame) const {
    return active() && frame >= end ? first + (frame - first) % (end - first) : frame;
  }
  double wrap(double frame) const;
};

// Real playback through SDL2 audio, with the position smoothed for the frame clock.
//
// The device callback mixes one block (kBlockFrames) at a time and records where the block
// starts and when. Between callbacks the main thread extrapolates from that anchor with a
// monotonic clock, less one block of output latency, and pulls its smooth position gently
// toward it, so per-frame deltas follow the true frame interval. The smooth position never
// runs backwards except on a seek. Without a sound device the follower runs on the clock
// alone. Frames are counted unwrapped; a loop (setLoop) maps them onto the music only
// where samples are read and positions reported, so a wrap never disturbs the smoothing.
class SdlAudioBackend : public DecodedMusicBackend {
 public:
  static constexpr int kBlockFrames = 1024;  // about 23 ms at kMixRate

  SdlAudioBackend();
  ~SdlAudioBackend() override;

  void open(const char* fileName) override;
  void play() override;
  int32_t timeMs() override;
  void setTimeMs(int32_t ms) override;
  void setPaused(bool paused) override;
  // Repeats a span of the music from now on; an empty loop plays straight on. The
  // position reported wraps with the sound, at the same sample.
  void setLoop(const MusicLoop& loop);

  bool hasDevice() const { return device_ != 0; }
  // Frames handed to the device so far; for the benchmark's bookkeeping.
  int64_t mixedFrames();
  // Seconds of music playing now by the latest block, unsmoothed; for the benchmark.
  double devicePositionSeconds();
  // Stops the device thread; safe to call more than once.
  void close();
  // The device callback's work: the next `frames` stereo frames of the stream into `out`.
  // Public so that a test can pull samples while the device stands paused.
  void mix(int16_t* out, int frames);

 private:
  using Clock = std::chrono::steady_clock;
  static void audioCallback(void* self, unsigned char* stream, int length);
  double deviceFrameAt(Clock::time_point now) const;
  double followAt(Clock::time_point now);
  void resyncAt(double frame, Clock::time_point now);

  uint32_t device_ = 0;

  // Shared with the audio thread, as is music_.
  std::mutex mutex_;
  int64_t streamFrame_ = 0;  // next frame to mix
  int64_t anchorFrame_ = 0;  // first frame of the latest block (or the resync point)
  Clock::time_point anchorTime_;
  bool paused_ = false;
  MusicLoop loop_;
  int64_t mixed_ = 0;

  // Main thread only.
  double smoothFrame_ = 0.0;
  Clock::time_point lastQuery_;
  bool started_ = false;
};
