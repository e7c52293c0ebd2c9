// The sound layer under MusicStream: what the show needs of a sound library, and nothing
// more. Times cross it in whole milliseconds, as a sound library's do, while inside it the
// music is counted in 44.1 kHz sample frames; the spectrum is 512 magnitudes in 0..1,
// entry i standing for i * 44100 / 1024 Hz.
//
// Implementations (audio/Backends.h): SdlAudioBackend plays through SDL2 audio (a silent
// monotonic clock without a sound device); ManualAudioBackend plays nothing and lets tests
// and the offline capture set the position. Both compute the spectrum from the same
// decoded music as a pure function of the position last reported, so they agree.
//
// Calls, in order: open(file), play(), then any of timeMs / setTimeMs / setPaused /
// position / spectrum from the main thread.
#pragma once

#include <cstdint>

constexpr int kMixRate = 44100;
constexpr int kSpectrumBins = 512;
constexpr int kSpectrumWindow = 1024;  // samples per transform, ending at the position

class AudioBackend {
 public:
  virtual ~AudioBackend() = default;

  // Prepares the sound output and opens the music. Failures leave a backend whose clock
  // still runs and whose spectrum is all zero (a missing sound device says so on stderr).
  virtual void open(const char* fileName) = 0;
  virtual void play() = 0;

  // Playing position in milliseconds; stands still while paused.
  virtual int32_t timeMs() = 0;
  // The same position in seconds, for the clock; finer than whole milliseconds where the
  // layer knows it (a video frame's exact time). position() then stands for this reading.
  virtual double timeSeconds() { return timeMs() * 0.001; }
  // Moves the position; ms >= 0. Positions past the end play silence.
  virtual void setTimeMs(int32_t ms) = 0;
  virtual void setPaused(bool paused) = 0;

  // Opaque stamp of the position the spectrum belongs to; compared only for equality.
  virtual int32_t position() = 0;
  // kSpectrumBins magnitudes for position(); valid until the next call.
  virtual const float* spectrum() = 0;
};
