// MusicStream: the one streamed piece of music, and DemoClock: the show's clock.
//
// The music is the master clock, and there is no other timer. DemoClock::update() reads
// the position once per frame; time() and delta() then stay fixed for the frame, while
// seeks made during it add up. Units: seconds; whole milliseconds to and from the sound
// layer.
//
// Calls: setBackend() (optional; without it open() plays through SDL), open(), play(),
// then update() once per frame and any of the rest.
#pragma once

#include <cstdint>

#include "audio/AudioBackend.h"

class MusicStream {
 public:
  // Replaces the sound layer (not owned) and drops the spectrum copy.
  void setBackend(AudioBackend* backend) {
    backend_ = backend;
    haveSpectrum_ = false;
  }
  AudioBackend* backend() const { return backend_; }

  void open(const char* fileName);
  void play();
  double time();             // playing position, seconds
  void seek(float seconds);  // negative targets land at 0
  void setPaused(bool paused);
  bool isPaused() const { return paused_; }

  // Loudest spectrum magnitude (0..1) in [lowHz, highHz); 0 for an empty band.
  float peakInBand(int lowHz, int highHz);

  // Bin range scanned for a band: low <= i < high. Both frequencies within 0..22050.
  // Single-precision products, truncated; the music generator aims its voices at these.
  static void bandToBins(int lowHz, int highHz, int& lowBin, int& highBin) {
    constexpr float binsPerHz = static_cast<float>(kSpectrumWindow) / kMixRate;
    lowBin = static_cast<int>(static_cast<float>(lowHz) * binsPerHz);
    highBin = static_cast<int>(static_cast<float>(highHz) * binsPerHz);
  }

  // Called with each band peakInBand() is asked for, before it answers (tests see which
  // bands a frame reads). Null removes it.
  using BandObserver = void (*)(void* context, int lowHz, int highHz);
  void setBandObserver(BandObserver observer, void* context) {
    bandObserver_ = observer;
    bandObserverContext_ = context;
  }

 private:
  AudioBackend* backend_ = nullptr;
  BandObserver bandObserver_ = nullptr;
  void* bandObserverContext_ = nullptr;
  bool paused_ = false;
  float spectrum_[kSpectrumBins] = {};
  int32_t spectrumPosition_ = 65535;
  // Whether spectrum_ holds a copy at all: 65535 is also a real position (frames).
  bool haveSpectrum_ = false;
};

extern MusicStream musicStream;  // defined in app/Globals.cpp

class DemoClock {
 public:
  explicit DemoClock(MusicStream& music) : music_(music) {}

  void update();  // also ends any pending seek
  float time() const { return time_; }
  float delta() const { return delta_; }
  // Moves the music to `seconds` (negative lands at 0); time() follows at the next update.
  void seek(float seconds);
  // Moves by `seconds` from where the next frame will be: the target of a seek made since
  // the last update, else time(). So several seeks within one frame add up.
  void seekBy(double seconds);
  bool isPaused() const { return paused_; }
  void setPaused(bool paused);

 private:
  MusicStream& music_;
  float time_ = 0.0f;
  float delta_ = 0.0f;
  bool paused_ = false;
  // The latest seek's target since update(), seconds >= 0: the music's position rounds to
  // frames and moves on before the next update.
  bool seekPending_ = false;
  float seekTarget_ = 0.0f;
};
