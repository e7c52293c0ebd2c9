// Decoded music: 44100 Hz 16-bit stereo, interleaved (L, R, L, R, ...).
//
// MusicDecode decodes a file on a thread of its own (several hundred times real time) into
// one buffer that only grows at its end. A reader asking for frames not decoded yet waits
// for them, so what it gets never depends on the decoder's progress: seeks stay exact and
// the spectrum a pure function of the position. prefetchMusic() starts the show's decode
// at process start, overlapping window creation and loading. The browser build, which has
// no threads, decodes the whole file in the constructor instead.
//
// MusicData and decodeMusicFile() decode a whole file at once, for the tools.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MusicDecode {
 public:
  explicit MusicDecode(const std::string& fileName);  // starts the decoder thread
  ~MusicDecode();                                     // stops it and waits for it

  const std::string& fileName() const { return fileName_; }

  // Waits until `frames` frames are decoded or the decode has ended; returns the frames
  // decoded by then (fewer only when the music is shorter).
  int64_t waitForFrames(int64_t frames) const;
  // Waits for the end of the decode; returns the length of the music in frames.
  int64_t waitForEnd() const { return waitForFrames(INT64_MAX); }
  // Why the decode stopped short (one line); empty while all is well. A file that fails
  // part-way keeps the frames before the failure; decodeMusicFile() counts it as none.
  std::string error() const;

  // Copies the frames [first, first + count) into `out` (2 * count samples), waiting for
  // any not decoded yet; frames before 0 or past the end of the music are silence.
  // Returns how many frames came from the music.
  int read(int64_t first, int count, int16_t* out) const;

 private:
  void run();
  void publish(int64_t frames);
  void finish(const std::string& error);
  bool grow(int64_t minimumFrames, size_t keptBytes);

  const std::string fileName_;
  std::atomic<bool> stop_{false};
  std::atomic<int64_t> decoded_{0};

  // Reallocated by the decoder thread under mutex_, which readers hold while they copy;
  // the decoder writes past decoded_, where nobody reads.
  mutable std::mutex mutex_;
  mutable std::condition_variable progress_;
  std::unique_ptr<int16_t[]> samples_;
  int64_t capacityFrames_ = 0;
  bool ended_ = false;
  std::string error_;

  std::thread thread_;  // last: starts once everything above is built
};

// Starts decoding `fileName` for a later startMusicDecode(); a second prefetch replaces it.
void prefetchMusic(const std::string& fileName);
// The decode of `fileName`: the prefetched one, handed out once, or else a new one.
std::shared_ptr<MusicDecode> startMusicDecode(const std::string& fileName);

struct MusicData {
  std::vector<int16_t> samples;  // L, R, L, R, ...
  int64_t frameCount() const { return static_cast<int64_t>(samples.size() / 2); }
};

// Decodes `fileName` to 44100 Hz 16-bit stereo; false, `out` empty and `error` set on failure.
bool decodeMusicFile(const char* fileName, MusicData& out, std::string& error);

// kSpectrumBins magnitudes (0..1) of the kSpectrumWindow mono samples that end at
// `endFrame` (frames before 0 or past the end count as silence). Hann window, scaled so
// that a full-scale sine centred on a bin reads 1 there. Allocates nothing per call.
class SpectrumAnalyser {
 public:
  SpectrumAnalyser();
  ~SpectrumAnalyser();

  void analyse(const MusicData& music, int64_t endFrame, float* bins);
  // Waits for the window's frames to be decoded.
  void analyse(const MusicDecode& music, int64_t endFrame, float* bins);

 private:
  struct Impl;
  void analyseWindow(float* bins);  // of the stereo frames in impl_->frames
  std::unique_ptr<Impl> impl_;
};
