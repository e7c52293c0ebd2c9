// The sound layer under MusicStream: what the show needs of a sound library, and nothing
// more. Positions are whole milliseconds (the library's unit); the spectrum is 512
// magnitudes in 0..1, entry i standing for i * 44100 / 1024 Hz.
//
// Two implementations:
//   - SdlAudioBackend: decodes the MP3 with libmpg123, plays it through SDL2 audio at
//     44100 Hz and reports a smoothed playing position (falls back to a silent monotonic
//     clock when there is no sound device);
//   - ManualAudioBackend: plays nothing; the caller sets the position. Tests and the
//     offline capture drive the show through it.
// Both compute the spectrum as a pure function of the position they last reported, from
// the same decoded music, so they agree on the numbers at the same time.
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

  // Prepares the sound output and opens the music. Failures are reported on stderr and
  // leave a backend whose clock still runs and whose spectrum is all zero.
  virtual void open(const char* fileName) = 0;
  virtual void play() = 0;

  // Playing position in milliseconds; stands still while paused.
  virtual int32_t timeMs() = 0;
  // The same position in seconds, for the clock. A layer that knows it more finely than
  // whole milliseconds (the deterministic one, set to a video frame's exact time) says so
  // here; position() then stands for this reading.
  virtual double timeSeconds() { return timeMs() * 0.001; }
  // Moves the position; ms >= 0. Positions past the end play silence.
  virtual void setTimeMs(int32_t ms) = 0;
  virtual void setPaused(bool paused) = 0;

  // Opaque stamp of the position the spectrum belongs to; compared only for equality.
  virtual int32_t position() = 0;
  // kSpectrumBins magnitudes for position(); valid until the next call.
  virtual const float* spectrum() = 0;
};
