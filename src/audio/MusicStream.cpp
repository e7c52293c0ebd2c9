#include "audio/MusicStream.h"

#include <algorithm>

#include "audio/Backends.h"

void MusicStream::open(const char* fileName) {
  if (!backend_) {
    // Never deleted: the audio thread may still run while global destructors do.
    backend_ = new SdlAudioBackend();
  }
  backend_->open(fileName);
}

void MusicStream::play() {
  if (backend_) backend_->play();
}

double MusicStream::time() { return backend_ ? backend_->timeSeconds() : 0.0; }

void MusicStream::seek(float seconds) {
  if (seconds < 0.0f) seconds = 0.0f;
  // Single-precision product, truncated toward zero: 4.2 s asks for 4200 ms.
  float ms = seconds * 1000.0f;
  if (backend_) backend_->setTimeMs(static_cast<int32_t>(ms));
}

void MusicStream::setPaused(bool paused) {
  paused_ = paused;
  if (backend_) backend_->setPaused(paused);
}

float MusicStream::peakInBand(int lowHz, int highHz) {
  if (bandObserver_) bandObserver_(bandObserverContext_, lowHz, highHz);
  if (backend_) {
    int32_t position = backend_->position();
    if (!haveSpectrum_ || position != spectrumPosition_) {
      const float* bins = backend_->spectrum();
      std::copy(bins, bins + kSpectrumBins, spectrum_);
      spectrumPosition_ = position;
      haveSpectrum_ = true;
    }
  }
  int low = 0;
  int high = 0;
  bandToBins(lowHz, highHz, low, high);
  // Keep the scan inside the copy whatever band a caller asks for.
  low = std::max(low, 0);
  high = std::min(high, kSpectrumBins);
  float result = 0.0f;
  for (int i = low; i < high; ++i) {
    if (spectrum_[i] > result) result = spectrum_[i];
  }
  return result;
}

void DemoClock::update() {
  seekPending_ = false;
  float t = static_cast<float>(music_.time());
  delta_ = t - time_;
  time_ = t;
}

void DemoClock::seek(float seconds) {
  if (seconds < 0.0f) seconds = 0.0f;
  seekTarget_ = seconds;
  seekPending_ = true;
  music_.seek(seconds);
}

void DemoClock::seekBy(double seconds) {
  const float from = seekPending_ ? seekTarget_ : time_;
  // Double-precision sum, rounded to float, as one seek from time() has always been.
  seek(static_cast<float>(static_cast<double>(from) + seconds));
}

void DemoClock::setPaused(bool paused) {
  paused_ = paused;
  music_.setPaused(paused);
}
