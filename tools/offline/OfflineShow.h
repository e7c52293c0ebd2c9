// Offline, frame-exact playback of the show: the one seam under every tool that renders
// the show without playing it (lumorak-capture, showreport, the preview, show_bench).
//
// start() brings the show up as the live program does, but on a hidden window (SDL's
// offscreen driver where there is no display) and on the deterministic sound layer. Each
// frame is rendered at an exact music time the caller gives, so the same time gives the
// same picture on every run. Frame n of a rate lies at exactly n / fps seconds.
//
// Some scenes build on earlier frames: the opening never clears "rt0", and the word scene
// feeds its picture back while its 1-2 kHz band is silent. renderUpTo() first renders,
// without output, the fewest earlier frames of the same rate that make a frame equal to the
// one a playthrough from frame 0 draws. Each new run of frames starts from the lasting
// state a playthrough has there (putStateAsPlaythroughAfter, scenes/LastingState.h: start-up's,
// with the tunnel's set-up once its first frame is past). Spans are quickest in ascending order.
//
// DOES NOT: present frames, pump window events, or play sound.
//
// Calls: start() once per process, then renderUpTo()/renderFrame() and readFrame().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "offline/ShowTime.h"

class ManualAudioBackend;

// Rows packed tightly, the bottom row first, as glReadPixels gives them. kBgra is Mesa's
// own layout of the window: on llvmpipe it reads back about ten times faster than kRgb
// and thirty times faster than kRgba, so it is the one for video.
enum class PixelLayout { kRgb, kRgba, kBgra };

// Told after each frame of a history: the frames rendered so far and the history's length.
// Returning false stops the history there; the frame asked for is then not rendered.
using HistoryWatch = std::function<bool(int64_t done, int64_t total)>;

class OfflineShow {
 public:
  // False with a reason when no OpenGL window can be made; data failures are fatal.
  bool start(std::string& error);

  // Renders the frame at exactly `seconds` of music time (no history; see renderUpTo).
  void renderFrame(double seconds);
  // Renders frame `frame` of `rate` after whatever earlier frames it needs. Returns the
  // number of extra frames rendered for history, or -1 when `watch` stopped the history
  // (the frames rendered so far stay a run that the next call continues).
  int64_t renderUpTo(const FrameRate& rate, int64_t frame, const HistoryWatch& watch = {});
  // The same for any time: the history comes from the frames of `rate` before it.
  int64_t renderAt(const FrameRate& rate, double seconds, const HistoryWatch& watch = {});
  // The frames of `rate` a frame at `seconds` needs first, in rendering order.
  std::vector<int64_t> historyBefore(const FrameRate& rate, double seconds) const;

  // The next frame is rendered after its whole history, as in a fresh process.
  void forgetRun() { chainFps_ = 0.0; }
  // Forgets the run and puts the lasting state back as start-up leaves it, the tunnel's
  // set-up undone (renderUpTo() puts it as a playthrough has it whenever it starts a run).
  void resetScenes();

  // The last frame, screenWidth x screenHeight, into `out` (3 or 4 bytes a pixel).
  void readFrame(PixelLayout layout, uint8_t* out) const;
  static size_t frameBytes(PixelLayout layout);

  ManualAudioBackend& sound();

 private:
  void renderIndexed(const FrameRate& rate, int64_t frame);
  int64_t renderHistory(const FrameRate& rate, const std::vector<int64_t>& history, int64_t end,
                        const HistoryWatch& watch);

  // The contiguous run of frames of one rate rendered last, in order: frames after it
  // need no history from before it.
  double chainFps_ = 0.0;
  int64_t chainFirst_ = -1;
  int64_t chainLast_ = -1;
};
