#include "offline/OfflineShow.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "app/Demo.h"
#include "audio/Backends.h"
#include "scenes/LastingState.h"
#include "scenes/Scenes.h"
#include "scenes/Timeline.h"

namespace {
ManualAudioBackend offlineSound;
}  // namespace

bool OfflineShow::start(std::string& error) {
  if (startShow(ShowStart{true, &offlineSound}) != StartFailure::kNone) {
    error = "no OpenGL window could be made";
    return false;
  }
  keepStartUpState();
  return true;
}

ManualAudioBackend& OfflineShow::sound() { return offlineSound; }

void OfflineShow::resetScenes() {
  putStateAsPlaythroughAfter(-1.0f);
  forgetRun();
}

void OfflineShow::renderFrame(double seconds) {
  offlineSound.setTime(seconds);
  ::renderFrame();
  chainFps_ = 0.0;  // not part of a run of frames of any rate
}

void OfflineShow::renderIndexed(const FrameRate& rate, int64_t frame) {
  const bool continued = chainFps_ == rate.fps && chainLast_ + 1 == frame;
  renderFrame(rate.timeOf(frame));
  chainFps_ = rate.fps;
  if (!continued) chainFirst_ = frame;
  chainLast_ = frame;
}

std::vector<int64_t> OfflineShow::historyBefore(const FrameRate& rate, double seconds) const {
  // Frames of the rate strictly before `seconds`: [0, end).
  const int64_t end = rate.firstAtOrAfter(seconds);
  const SceneIndex scene = sceneAt(static_cast<float>(seconds));
  // The first frame of the run that reproduces the picture at `seconds`: from there on
  // every frame draws what a playthrough draws. The schedule says, per scene, what lasts.
  const SceneSchedule& entry = scheduleOf(scene);
  int64_t from = end - 1;
  switch (entry.history) {
    case History::kPreviousFrame: break;
    case History::kFromShowStart: from = 0; break;
    case History::kFromLastBlur: {
      // A frame that blurs redraws "rt0" and "rt1" from scratch; one whose blur is skipped
      // copies the previous picture back. Go back to the last frame that stands alone.
      auto standsAlone = [](double t) {
        offlineSound.setTime(t);
        offlineSound.timeSeconds();
        return wordBlurSpread(static_cast<float>(t)) > 0.0f;
      };
      const int64_t sceneFirst = rate.firstAtOrAfter(entry.start);
      from = 0;  // none in this scene: the picture before it still shows through
      if (standsAlone(seconds)) {
        from = end - 1;
      } else {
        for (int64_t n = end - 1; n >= sceneFirst; --n) {
          if (standsAlone(rate.timeOf(n))) {
            from = n - 1;
            break;
          }
        }
      }
      break;
    }
  }
  from = std::max<int64_t>(from, 0);

  std::vector<int64_t> frames;
  for (int64_t n = from; n < end; ++n) frames.push_back(n);
  return frames;
}

int64_t OfflineShow::renderHistory(const FrameRate& rate, const std::vector<int64_t>& history,
                                   int64_t end, const HistoryWatch& watch) {
  // The history is the run of frames [from, end).
  int64_t from = end - static_cast<int64_t>(history.size());
  // Frames already rendered in order from `from` or earlier carry the same state:
  // continue that run instead of starting again.
  if (chainFps_ == rate.fps && chainFirst_ <= from && chainLast_ + 1 >= from && chainLast_ < end) {
    from = chainLast_ + 1;
  } else {
    // A new run starts from the state a playthrough has there: what the frames rendered
    // last left behind is not what a playthrough brings (a column frame drawn straight
    // after an opening frame came out white).
    forgetRun();
    putStateAsPlaythroughAfter(from > 0 ? static_cast<float>(rate.timeOf(from - 1)) : -1.0f);
  }
  const int64_t total = std::max<int64_t>(end - from, 0);
  for (int64_t n = from; n < end; ++n) {
    renderIndexed(rate, n);
    if (watch && !watch(n - from + 1, total)) return -1;
  }
  return total;
}

int64_t OfflineShow::renderUpTo(const FrameRate& rate, int64_t frame, const HistoryWatch& watch) {
  const double seconds = rate.timeOf(frame);
  const int64_t rendered = renderHistory(rate, historyBefore(rate, seconds), frame, watch);
  if (rendered < 0) return -1;
  renderIndexed(rate, frame);
  return rendered;
}

int64_t OfflineShow::renderAt(const FrameRate& rate, double seconds, const HistoryWatch& watch) {
  const int64_t frame = rate.firstAtOrAfter(seconds);
  if (std::fabs(rate.timeOf(frame) - seconds) < 1e-9) return renderUpTo(rate, frame, watch);
  const int64_t rendered = renderHistory(rate, historyBefore(rate, seconds), frame, watch);
  if (rendered < 0) return -1;
  renderFrame(seconds);  // off the rate's grid: ends the run
  return rendered;
}

size_t OfflineShow::frameBytes(PixelLayout layout) {
  const size_t perPixel = layout == PixelLayout::kRgb ? 3 : 4;
  return static_cast<size_t>(screenWidth) * screenHeight * perPixel;
}

void OfflineShow::readFrame(PixelLayout layout, uint8_t* out) const {
  glReadBuffer(GL_BACK);
  GLint alignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  const GLenum format = layout == PixelLayout::kRgb    ? GL_RGB
                        : layout == PixelLayout::kRgba ? GL_RGBA
                                                       : GL_BGRA;
  glReadPixels(0, 0, screenWidth, screenHeight, format, GL_UNSIGNED_BYTE, out);
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
}
