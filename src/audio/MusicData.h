// Decoded music: the whole file as interleaved 16-bit stereo at kMixRate.
//
// The show's piece is a few minutes long (about 26 MB decoded), so it is decoded once at
// open; that gives sample-exact seeks and a spectrum that is a pure function of the
// position. DOES NOT stream from disk while playing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MusicData {
  std::vector<int16_t> samples;  // L, R, L, R, ...
  int64_t frameCount() const { return static_cast<int64_t>(samples.size() / 2); }
};

// Decodes `fileName` to 44100 Hz 16-bit stereo. On failure returns false and sets
// `error` to a one-line reason; `out` is then empty.
bool decodeMusicFile(const char* fileName, MusicData& out, std::string& error);

// kSpectrumBins magnitudes (0..1) of the kSpectrumWindow mono samples that end at
// `endFrame` (frames before 0 or past the end count as silence). Hann window, scaled so
// that a full-scale sine centred on a bin reads 1 there.
class SpectrumAnalyser {
 public:
  SpectrumAnalyser();
  ~SpectrumAnalyser();
  SpectrumAnalyser(const SpectrumAnalyser&) = delete;
  SpectrumAnalyser& operator=(const SpectrumAnalyser&) = delete;

  void analyse(const MusicData& music, int64_t endFrame, float* bins);

 private:
  struct Impl;
  Impl* impl_;
};
