#include "audio/MusicData.h"

#include <fftw3.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/AudioBackend.h"

bool decodeMusicFile(const char* fileName, MusicData& out, std::string& error) {
  out.samples.clear();
  static const bool libraryReady = mpg123_init() == MPG123_OK;
  if (!libraryReady) {
    error = "mpg123 could not be initialised";
    return false;
  }
  int status = MPG123_OK;
  mpg123_handle* handle = mpg123_new(nullptr, &status);
  if (!handle) {
    error = std::string("mpg123: ") + mpg123_plain_strerror(status);
    return false;
  }
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  // Force one output format; mpg123 resamples and upmixes anything else to it.
  mpg123_format_none(handle);
  mpg123_format(handle, kMixRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open(handle, fileName) != MPG123_OK) {
    error = std::string("cannot open ") + fileName + ": " + mpg123_strerror(handle);
    mpg123_delete(handle);
    return false;
  }
  off_t expected = mpg123_length(handle);
  if (expected > 0) out.samples.reserve(static_cast<size_t>(expected) * 2);

  std::vector<unsigned char> block(64 * 1024);
  for (;;) {
    size_t done = 0;
    int result = mpg123_read(handle, block.data(), block.size(), &done);
    size_t count = done / sizeof(int16_t);
    size_t old = out.samples.size();
    out.samples.resize(old + count);
    std::memcpy(out.samples.data() + old, block.data(), count * sizeof(int16_t));
    if (result == MPG123_DONE) break;
    if (result == MPG123_NEW_FORMAT || result == MPG123_OK) continue;
    error = std::string("cannot decode ") + fileName + ": " + mpg123_strerror(handle);
    out.samples.clear();
    break;
  }
  mpg123_close(handle);
  mpg123_delete(handle);
  if (out.samples.empty()) {
    if (error.empty()) error = std::string("no audio in ") + fileName;
    return false;
  }
  if (out.samples.size() % 2) out.samples.pop_back();
  return true;
}

struct SpectrumAnalyser::Impl {
  float* input = nullptr;
  fftwf_complex* output = nullptr;
  fftwf_plan plan = nullptr;
  float window[kSpectrumWindow];
};

SpectrumAnalyser::SpectrumAnalyser() : impl_(new Impl) {
  impl_->input = fftwf_alloc_real(kSpectrumWindow);
  impl_->output = fftwf_alloc_complex(kSpectrumWindow / 2 + 1);
  // FFTW_ESTIMATE: planning must not touch the buffers or take measurable time.
  impl_->plan = fftwf_plan_dft_r2c_1d(kSpectrumWindow, impl_->input, impl_->output, FFTW_ESTIMATE);
  const double pi = 3.14159265358979323846;
  for (int n = 0; n < kSpectrumWindow; ++n) {
    impl_->window[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * pi * n / kSpectrumWindow));
  }
}

SpectrumAnalyser::~SpectrumAnalyser() {
  fftwf_destroy_plan(impl_->plan);
  fftwf_free(impl_->input);
  fftwf_free(impl_->output);
  delete impl_;
}

void SpectrumAnalyser::analyse(const MusicData& music, int64_t endFrame, float* bins) {
  const int64_t frames = music.frameCount();
  const int64_t first = endFrame - kSpectrumWindow;
  bool any = false;
  for (int n = 0; n < kSpectrumWindow; ++n) {
    int64_t f = first + n;
    float mono = 0.0f;
    if (f >= 0 && f < frames) {
      // Mix to mono, full scale = 1.
      mono = (music.samples[2 * f] + music.samples[2 * f + 1]) * (0.5f / 32768.0f);
      any = any || mono != 0.0f;
    }
    impl_->input[n] = mono * impl_->window[n];
  }
  if (!any) {
    std::fill(bins, bins + kSpectrumBins, 0.0f);
    return;
  }
  fftwf_execute(impl_->plan);
  // A sine of amplitude A on a bin centre gives |X| = A * N / 4 under a Hann window.
  const float scale = 4.0f / kSpectrumWindow;
  for (int i = 0; i < kSpectrumBins; ++i) {
    float re = impl_->output[i][0];
    float im = impl_->output[i][1];
    bins[i] = std::min(1.0f, std::sqrt(re * re + im * im) * scale);
  }
}
