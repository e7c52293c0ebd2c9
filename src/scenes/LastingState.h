// What frames leave for later frames, in one place (the table heads LastingState.cpp). The
// live show draws frames in order, each on what the ones before left; the offline tools
// draw them out of order and first put that state where a playthrough from frame 0 has it.
//
// Calls: keepStartUpState() once start-up is done, putStateAsPlaythroughAfter() before a
// run of frames; the tunnel scene calls setUpTunnelOnce() on every frame.
#pragma once

#include <vector>

// The GL items of the table, read when made and put back by putBack(); the preview keeps
// them across a reload, so the frame after it draws as it would have.
class LastingGlItems {
 public:
  LastingGlItems();
  void putBack() const;

 private:
  std::vector<float> values_;
};

void keepStartUpState();

// The state a playthrough has once it has drawn its frame at `time` (seconds; negative:
// none yet), as far as later frames keep it: the GL items and the five scene targets as
// start-up leaves them (targets cleared), and the tunnel's set-up if that frame was in the
// tunnel or later. What the frame itself left for the next one is the history's to render.
void putStateAsPlaythroughAfter(float time);

// The tunnel's set-up, run by its first frame and kept by every later one: "rt0" and "rt1"
// enlarged to 1024 x 1024, "shadowmap", the second particle buffer and three debug
// variables. Does nothing once done, until putStateAsPlaythroughAfter() undoes it.
void setUpTunnelOnce();

// Every tunnel frame draws its light at this point size (pixels) and leaves it.
constexpr float kTunnelPointSize = 5.0f;
