#include "offline/OfflineShow.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "app/Demo.h"
#include "app/Globals.h"
#include "app/Window.h"
#include "audio/Backends.h"
#include "render/RenderTarget.h"
#include "scenes/Scenes.h"
#include "scenes/Timeline.h"

namespace {
ManualAudioBackend offlineSound;
bool tunnelHasRun = false;

// The GL state that scenes leave for the next frame, as start-up leaves it: resetScenes()
// puts it back. GL's attribute stack is no help: Mesa 22 skips restoring a group when a
// nested push and pop came between. The matrices are restored in this order, the
// modelview matrix last, as the current one.
constexpr GLenum kSwitches[] = {GL_BLEND,      GL_DEPTH_TEST, GL_LIGHTING, GL_POLYGON_OFFSET_FILL,
                                GL_TEXTURE_2D, GL_CULL_FACE};
constexpr GLenum kMatrices[][2] = {{GL_TEXTURE, GL_TEXTURE_MATRIX},
                                   {GL_PROJECTION, GL_PROJECTION_MATRIX},
                                   {GL_MODELVIEW, GL_MODELVIEW_MATRIX}};
struct LeftState {
  GLfloat colour[4], clearColour[4], blendColour[4];
  GLfloat clearDepth, pointSize, lineWidth, offsetFactor, offsetUnits;
  GLint blendSrc, blendDst, depthFunc, shadeModel, texture2d;
  GLboolean switches[std::size(kSwitches)];
  GLfloat matrices[std::size(kMatrices)][16];
};
LeftState startUpState;

void keepStartUpState() {
  LeftState& s = startUpState;
  glActiveTexture(GL_TEXTURE0);
  glGetFloatv(GL_CURRENT_COLOR, s.colour);
  glGetFloatv(GL_COLOR_CLEAR_VALUE, s.clearColour);
  glGetFloatv(GL_BLEND_COLOR_EXT, s.blendColour);
  glGetFloatv(GL_DEPTH_CLEAR_VALUE, &s.clearDepth);
  glGetFloatv(GL_POINT_SIZE, &s.pointSize);
  glGetFloatv(GL_LINE_WIDTH, &s.lineWidth);
  glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &s.offsetFactor);
  glGetFloatv(GL_POLYGON_OFFSET_UNITS, &s.offsetUnits);
  glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
  glGetIntegerv(GL_BLEND_DST, &s.blendDst);
  glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
  glGetIntegerv(GL_SHADE_MODEL, &s.shadeModel);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture2d);
  for (size_t i = 0; i < std::size(kSwitches); ++i) s.switches[i] = glIsEnabled(kSwitches[i]);
  for (size_t i = 0; i < std::size(kMatrices); ++i) glGetFloatv(kMatrices[i][1], s.matrices[i]);
}

void restoreStartUpState() {
  const LeftState& s = startUpState;
  glActiveTexture(GL_TEXTURE0);
  glColor4fv(s.colour);
  glClearColor(s.clearColour[0], s.clearColour[1], s.clearColour[2], s.clearColour[3]);
  glBlendColorEXT(s.blendColour[0], s.blendColour[1], s.blendColour[2], s.blendColour[3]);
  glClearDepth(s.clearDepth);
  glPointSize(s.pointSize);
  glLineWidth(s.lineWidth);
  glPolygonOffset(s.offsetFactor, s.offsetUnits);
  glBlendFunc(static_cast<GLenum>(s.blendSrc), static_cast<GLenum>(s.blendDst));
  glDepthFunc(static_cast<GLenum>(s.depthFunc));
  glShadeModel(static_cast<GLenum>(s.shadeModel));
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(s.texture2d));
  for (size_t i = 0; i < std::size(kSwitches); ++i) {
    (s.switches[i] ? glEnable : glDisable)(kSwitches[i]);
  }
  for (size_t i = 0; i < std::size(kMatrices); ++i) {
    glMatrixMode(kMatrices[i][0]);
    glLoadMatrixf(s.matrices[i]);
  }
}
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
  resetSceneState();
  restoreStartUpState();
  tunnelHasRun = false;
  forgetRun();
}

void OfflineShow::renderFrame(double seconds) {
  offlineSound.setTime(seconds);
  ::renderFrame();
  if (sceneAt(static_cast<float>(seconds)) == kLastingSetUpScene) tunnelHasRun = true;
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
  auto sceneOf = [&rate](int64_t n) { return sceneAt(static_cast<float>(rate.timeOf(n))); };
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
  // The set-up of kLastingSetUpScene's first frame lasts for every later scene; the set-up
  // itself does not depend on when it runs.
  if (scene > kLastingSetUpScene) {
    int64_t first = std::max<int64_t>(rate.firstAtOrAfter(sceneStart(kLastingSetUpScene)) - 1, 0);
    while (sceneOf(first) != kLastingSetUpScene) ++first;
    if (first < from) frames.push_back(first);
  }
  for (int64_t n = from; n < end; ++n) frames.push_back(n);
  return frames;
}

int64_t OfflineShow::renderHistory(const FrameRate& rate, const std::vector<int64_t>& history,
                                   int64_t end, const HistoryWatch& watch) {
  // The history is a run of frames ending at end - 1, after the tunnel's first frame when
  // that lies further back.
  const bool tunnelFirst =
      !history.empty() && history.front() + static_cast<int64_t>(history.size()) != end;
  int64_t from = end - static_cast<int64_t>(history.size()) + (tunnelFirst ? 1 : 0);
  int64_t rendered = 0;
  // Frames already rendered in order from `from` or earlier carry the same state:
  // continue that run instead of starting again.
  const bool continued =
      chainFps_ == rate.fps && chainFirst_ <= from && chainLast_ + 1 >= from && chainLast_ < end;
  if (continued) {
    from = chainLast_ + 1;
  } else {
    // A new run starts from the state start-up leaves, as in a fresh process: what the
    // frames rendered last left behind is not what a playthrough brings (a column frame
    // drawn straight after an opening frame came out white). Frames after the tunnel get
    // its first frame again below.
    resetScenes();
  }
  const bool tunnelNeeded = !continued && tunnelFirst && !tunnelHasRun;
  const int64_t total = (tunnelNeeded ? 1 : 0) + std::max<int64_t>(end - from, 0);
  auto step = [&](int64_t n) {
    renderIndexed(rate, n);
    ++rendered;
    return !watch || watch(rendered, total);
  };
  if (tunnelNeeded && !step(history.front())) return -1;
  // A run from the first frame starts from "rt0" as it was made: cleared.
  if (!continued && from == 0) clearNewTarget("rt0");
  for (int64_t n = from; n < end; ++n) {
    if (!step(n)) return -1;
  }
  return rendered;
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
