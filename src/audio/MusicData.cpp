#include "audio/MusicData.h"

#include <fftw3.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "audio/AudioBackend.h"

namespace {
constexpr size_t kBytesPerFrame = 2 * sizeof(int16_t);
constexpr size_t kReadBytes = 64 * 1024;  // per mpg123_read: about 0.37 s of music
// First allocation when the file does not tell its length, and the most a length read
// from a header may make us allocate up front (a header can claim anything).
constexpr int64_t kUnknownLengthFrames = 60LL * kMixRate;
constexpr int64_t kMaxPreallocatedFrames = 20LL * 60 * kMixRate;
// Frames per read() when a whole decode is copied out.
constexpr int kCopyFrames = 1 << 20;

bool libraryReady() {
  static const bool ready = mpg123_init() == MPG123_OK;
  return ready;
}
}  // namespace

#ifdef __EMSCRIPTEN__
// The page has no threads: the whole file decodes here, on its one thread, before the
// constructor returns. Readers then never wait.
MusicDecode::MusicDecode(const std::string& fileName) : fileName_(fileName) { run(); }

MusicDecode::~MusicDecode() = default;
#else
MusicDecode::MusicDecode(const std::string& fileName)
    : fileName_(fileName), thread_([this] { run(); }) {}

MusicDecode::~MusicDecode() {
  stop_.store(true);
  thread_.join();
}
#endif

int64_t MusicDecode::waitForFrames(int64_t frames) const {
  std::unique_lock<std::mutex> lock(mutex_);
  progress_.wait(lock, [&] { return ended_ || decoded_.load() >= frames; });
  return decoded_.load();
}

std::string MusicDecode::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

int MusicDecode::read(int64_t first, int count, int16_t* out) const {
  if (count <= 0) return 0;
  const int64_t end = first + count;
  std::unique_lock<std::mutex> lock(mutex_);
  progress_.wait(lock, [&] { return ended_ || decoded_.load() >= end; });
  const int64_t musicFrom = std::min(std::max<int64_t>(first, 0), end);
  const int64_t musicTo = std::max(musicFrom, std::min(decoded_.load(), end));
  const auto before = static_cast<size_t>(musicFrom - first);
  const auto copied = static_cast<size_t>(musicTo - musicFrom);
  std::fill(out, out + 2 * before, int16_t{0});
  if (copied > 0) {
    std::memcpy(out + 2 * before, samples_.get() + 2 * musicFrom, copied * kBytesPerFrame);
  }
  std::fill(out + 2 * (before + copied), out + 2 * static_cast<size_t>(count), int16_t{0});
  return static_cast<int>(copied);
}

void MusicDecode::publish(int64_t frames) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    decoded_.store(frames, std::memory_order_release);
  }
  progress_.notify_all();
}

void MusicDecode::finish(const std::string& error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    error_ = error;
    if (error_.empty() && decoded_.load() == 0) error_ = "no audio in " + fileName_;
  }
  progress_.notify_all();
}

// Room for at least `minimumFrames`, keeping `keptBytes`; false without memory. Decoder only.
bool MusicDecode::grow(int64_t minimumFrames, size_t keptBytes) {
  const int64_t frames = std::max(minimumFrames, 2 * capacityFrames_);
  std::unique_ptr<int16_t[]> larger(new (std::nothrow) int16_t[static_cast<size_t>(frames) * 2]);
  if (!larger) return false;
  // Readers only read the old buffer, so the copy needs no lock; the swap does.
  if (keptBytes > 0) std::memcpy(larger.get(), samples_.get(), keptBytes);
  std::lock_guard<std::mutex> lock(mutex_);
  samples_.swap(larger);
  capacityFrames_ = frames;
  return true;
}

void MusicDecode::run() {
  if (!libraryReady()) {
    finish("mpg123 could not be initialised");
    return;
  }
  int status = MPG123_OK;
  mpg123_handle* handle = mpg123_new(nullptr, &status);
  if (!handle) {
    finish(std::string("mpg123: ") + mpg123_plain_strerror(status));
    return;
  }
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  // Force one output format; mpg123 resamples and upmixes anything else to it.
  mpg123_format_none(handle);
  mpg123_format(handle, kMixRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open(handle, fileName_.c_str()) != MPG123_OK) {
    const std::string error = "cannot open " + fileName_ + ": " + mpg123_strerror(handle);
    mpg123_delete(handle);
    finish(error);
    return;
  }
  const off_t expected = mpg123_length(handle);
  const int64_t firstFrames =
      expected > 0 ? std::min<int64_t>(expected, kMaxPreallocatedFrames) : kUnknownLengthFrames;
  std::string error;
  // Bytes rather than frames: a read may end inside a frame, whose rest comes next.
  size_t bytes = 0;
  if (!grow(firstFrames + kReadBytes / kBytesPerFrame, 0)) error = "out of memory for " + fileName_;
  while (error.empty() && !stop_.load()) {
    const size_t capacityBytes = static_cast<size_t>(capacityFrames_) * kBytesPerFrame;
    if (capacityBytes - bytes < kReadBytes && !grow(capacityFrames_ + 1, bytes)) {
      error = "out of memory for " + fileName_;
      break;
    }
    size_t done = 0;
    unsigned char* tail = reinterpret_cast<unsigned char*>(samples_.get()) + bytes;
    const int result = mpg123_read(handle, tail, kReadBytes, &done);
    bytes += done;
    if (done > 0) publish(static_cast<int64_t>(bytes / kBytesPerFrame));
    if (result == MPG123_DONE) break;
    if (result == MPG123_NEW_FORMAT || result == MPG123_OK) continue;
    error = "cannot decode " + fileName_ + ": " + mpg123_strerror(handle);
  }
  mpg123_close(handle);
  mpg123_delete(handle);
  finish(error);
}

namespace {
std::shared_ptr<MusicDecode>& prefetched() {
  static std::shared_ptr<MusicDecode> decode;
  return decode;
}
}  // namespace

void prefetchMusic(const std::string& fileName) {
  prefetched() = std::make_shared<MusicDecode>(fileName);
}

std::shared_ptr<MusicDecode> startMusicDecode(const std::string& fileName) {
  std::shared_ptr<MusicDecode>& slot = prefetched();
  if (slot && slot->fileName() == fileName) return std::move(slot);
  return std::make_shared<MusicDecode>(fileName);
}

bool decodeMusicFile(const char* fileName, MusicData& out, std::string& error) {
  out.samples.clear();
  MusicDecode decode(fileName);
  const int64_t frames = decode.waitForEnd();
  // All or nothing: a file that fails part-way is no music at all.
  const std::string reason = decode.error();
  if (!reason.empty()) {
    error = reason;
    return false;
  }
  out.samples.resize(static_cast<size_t>(frames) * 2);
  for (int64_t first = 0; first < frames; first += kCopyFrames) {
    const int count = static_cast<int>(std::min<int64_t>(kCopyFrames, frames - first));
    decode.read(first, count, out.samples.data() + 2 * first);
  }
  return true;
}

struct SpectrumAnalyser::Impl {
  float* input = nullptr;
  fftwf_complex* output = nullptr;
  fftwf_plan plan = nullptr;
  float window[kSpectrumWindow];
  int16_t frames[2 * kSpectrumWindow];  // the stereo frames under the window
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
}

void SpectrumAnalyser::analyse(const MusicData& music, int64_t endFrame, float* bins) {
  const int64_t frames = music.frameCount();
  const int64_t first = endFrame - kSpectrumWindow;
  for (int n = 0; n < kSpectrumWindow; ++n) {
    const int64_t f = first + n;
    const bool inside = f >= 0 && f < frames;
    impl_->frames[2 * n] = inside ? music.samples[2 * f] : 0;
    impl_->frames[2 * n + 1] = inside ? music.samples[2 * f + 1] : 0;
  }
  analyseWindow(bins);
}

void SpectrumAnalyser::analyse(const MusicDecode& music, int64_t endFrame, float* bins) {
  music.read(endFrame - kSpectrumWindow, kSpectrumWindow, impl_->frames);
  analyseWindow(bins);
}

void SpectrumAnalyser::analyseWindow(float* bins) {
  bool any = false;
  for (int n = 0; n < kSpectrumWindow; ++n) {
    // Mix to mono, full scale = 1.
    const float mono = (impl_->frames[2 * n] + impl_->frames[2 * n + 1]) * (0.5f / 32768.0f);
    any = any || mono != 0.0f;
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
