#include "audio/Backends.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
// Decoded before open() returns: playback never starts ahead of the decoder.
constexpr int64_t kStartFrames = kMixRate;
// Seconds of disagreement beyond which the follower jumps instead of slewing.
constexpr double kSnapSeconds = 0.25;
// Time constant of the pull toward the audio position, seconds.
constexpr double kPullSeconds = 0.3;

int64_t framesFromMs(int32_t ms) { return static_cast<int64_t>(ms) * kMixRate / 1000; }

// The one live device, closed at exit so that the audio thread never reads freed memory
// while global destructors run.
SdlAudioBackend* liveBackend = nullptr;
void closeLiveBackend() {
  if (liveBackend) liveBackend->close();
}
}  // namespace

const float* DecodedMusicBackend::spectrum() {
  if (reportedFrame_ != spectrumFrame_) {
    if (music_) {
      analyser_.analyse(*music_, reportedFrame_, bins_);
    } else {
      std::fill(bins_, bins_ + kSpectrumBins, 0.0f);
    }
    spectrumFrame_ = reportedFrame_;
  }
  return bins_;
}

std::shared_ptr<MusicDecode> DecodedMusicBackend::openMusic(const char* fileName) {
  spectrumFrame_ = -1;
  std::shared_ptr<MusicDecode> decode = startMusicDecode(fileName);
  return decode->waitForFrames(kStartFrames) > 0 ? decode : nullptr;
}

void ManualAudioBackend::open(const char* fileName) { music_ = openMusic(fileName); }

int32_t ManualAudioBackend::timeMs() {
  reportedFrame_ = exact_ ? std::llround(seconds_ * kMixRate) : framesFromMs(timeMs_);
  return timeMs_;
}

double ManualAudioBackend::timeSeconds() {
  const int32_t ms = timeMs();
  return exact_ ? seconds_ : ms * 0.001;
}

void ManualAudioBackend::setTime(double seconds) {
  seconds_ = seconds > 0.0 ? seconds : 0.0;
  exact_ = true;
  timeMs_ = static_cast<int32_t>(std::floor(seconds_ * 1000.0));
}

SdlAudioBackend::SdlAudioBackend() : anchorTime_(Clock::now()), lastQuery_(anchorTime_) {}

SdlAudioBackend::~SdlAudioBackend() { close(); }

void SdlAudioBackend::close() {
  if (device_) {
    SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  if (liveBackend == this) liveBackend = nullptr;
}

void SdlAudioBackend::open(const char* fileName) {
  std::shared_ptr<MusicDecode> music = openMusic(fileName);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    music_ = std::move(music);
  }
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = kMixRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kBlockFrames;
    want.callback = audioCallback;
    want.userdata = this;
    SDL_AudioSpec have;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  }
  if (device_ == 0) {
    std::fprintf(stderr, "lumorakdemo: no sound device (%s); the show runs silently\n",
                 SDL_GetError());
    return;
  }
  static bool registered = false;
  if (!registered) std::atexit(closeLiveBackend);
  registered = true;
  liveBackend = this;
}

void SdlAudioBackend::play() {
  Clock::time_point now = Clock::now();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    resyncAt(static_cast<double>(streamFrame_), now);
  }
  if (device_) SDL_PauseAudioDevice(device_, 0);
}

// Caller holds mutex_. The clock reads `frame` at `now`; the device starts mixing one
// latency further on, so that the audio reaches the ear when the clock gets there.
void SdlAudioBackend::resyncAt(double frame, Clock::time_point now) {
  const int64_t latency = device_ ? kBlockFrames : 0;
  streamFrame_ = static_cast<int64_t>(frame) + latency;
  anchorFrame_ = streamFrame_;
  anchorTime_ = now;
  smoothFrame_ = frame;
  lastQuery_ = now;
  started_ = true;
}

void SdlAudioBackend::audioCallback(void* self, unsigned char* stream, int length) {
  static_cast<SdlAudioBackend*>(self)->mix(reinterpret_cast<int16_t*>(stream),
                                           length / static_cast<int>(2 * sizeof(int16_t)));
}

void SdlAudioBackend::mix(int16_t* out, int frames) {
  Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  if (paused_) {
    std::memset(out, 0, static_cast<size_t>(frames) * 2 * sizeof(int16_t));
    return;
  }
  const int64_t start = streamFrame_;
  // Past the end of the music the clock runs on over silence. A stretch the decoder has
  // not reached (a seek far ahead just after start) is waited for. A block that crosses
  // the loop's end is read in two pieces, so the wrap falls on the exact sample.
  for (int done = 0; done < frames;) {
    const int64_t at = loop_.wrap(start + done);
    int count = frames - done;
    if (loop_.active() && at < loop_.end) {
      count = static_cast<int>(std::min<int64_t>(count, loop_.end - at));
    }
    if (music_) {
      music_->read(at, count, out + 2 * done);
    } else {
      std::memset(out + 2 * done, 0, static_cast<size_t>(count) * 2 * sizeof(int16_t));
    }
    done += count;
  }
  streamFrame_ = start + frames;
  anchorFrame_ = start;
  anchorTime_ = now;
  mixed_ += frames;
}

int64_t SdlAudioBackend::mixedFrames() {
  std::lock_guard<std::mutex> lock(mutex_);
  return mixed_;
}

double SdlAudioBackend::devicePositionSeconds() {
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!device_ || paused_) return static_cast<double>(streamFrame_) / kMixRate;
  return loop_.wrap(deviceFrameAt(now)) / kMixRate;
}

double MusicLoop::wrap(double frame) const {
  if (!active() || frame < static_cast<double>(end)) return frame;
  const double length = static_cast<double>(end - first);
  return static_cast<double>(first) + std::fmod(frame - static_cast<double>(first), length);
}

void SdlAudioBackend::setLoop(const MusicLoop& loop) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Laps already played of the old loop are taken off the unwrapped counters, so the new
  // loop starts from where the listener is, not from an old lap count.
  if (loop_.active() && smoothFrame_ >= static_cast<double>(loop_.end)) {
    const int64_t length = loop_.end - loop_.first;
    const int64_t laps =
        static_cast<int64_t>((smoothFrame_ - static_cast<double>(loop_.first)) / length);
    streamFrame_ -= laps * length;
    anchorFrame_ -= laps * length;
    smoothFrame_ -= static_cast<double>(laps * length);
  }
  loop_ = loop;
}

// The frame heard at `now`: the latest block's first frame, less one block of latency,
// plus the time since. Caller holds mutex_.
double SdlAudioBackend::deviceFrameAt(Clock::time_point now) const {
  const double elapsed = std::chrono::duration<double>(now - anchorTime_).count();
  const double latency = device_ ? kBlockFrames : 0;
  double ahead = elapsed * kMixRate;
  // A stalled audio thread must not let the estimate run away from what was mixed.
  if (device_) ahead = std::min(ahead, 2.0 * kBlockFrames);
  return static_cast<double>(anchorFrame_) - latency + ahead;
}

// Advances the smooth position to `now`. Caller holds mutex_.
double SdlAudioBackend::followAt(Clock::time_point now) {
  if (!started_ || paused_) return smoothFrame_;
  const double target = deviceFrameAt(now);

  const double dt = std::max(0.0, std::chrono::duration<double>(now - lastQuery_).count());
  double predicted = smoothFrame_ + dt * kMixRate;
  const double error = target - predicted;
  if (std::fabs(error) > kSnapSeconds * kMixRate) {
    predicted = target;
  } else {
    predicted += error * (1.0 - std::exp(-dt / kPullSeconds));
  }
  smoothFrame_ = std::max(smoothFrame_, predicted);  // never backwards between seeks
  lastQuery_ = now;
  return smoothFrame_;
}

int32_t SdlAudioBackend::timeMs() {
  Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  const double frame = loop_.wrap(followAt(now));
  reportedFrame_ = static_cast<int64_t>(frame);
  return static_cast<int32_t>(std::floor(frame * 1000.0 / kMixRate));
}

void SdlAudioBackend::setTimeMs(int32_t ms) {
  Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  resyncAt(static_cast<double>(framesFromMs(std::max(ms, 0))), now);
}

void SdlAudioBackend::setPaused(bool paused) {
  Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  if (paused == paused_) return;
  if (paused) {
    // Freeze where the picture is; resume restarts the audio from there.
    double frame = followAt(now);
    paused_ = true;
    streamFrame_ = static_cast<int64_t>(frame);
  } else {
    paused_ = false;
    resyncAt(smoothFrame_, now);
  }
}
