// Closing, 125.2 to 146 s: the logo slides across a white picture once more, a little slower,
// under a strong glow; only when the 3-4 kHz band is loud enough is the glowing picture shown
// (blurred), otherwise the plain one. The cloud overlay is added on top.
#include <GL/glew.h>

#include <cmath>

#include "app/DemoSystem.h"
#include "render/PostProcess.h"
#include "scenes/Scenes.h"
#include "scenes/Timeline.h"

void closingScene() {
  const float t = FrameTime.time;
  glClearColor(1.0f, 1.0f, 1.0f, 0.5f);
  demoSystem.fbos.use("rt0");
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -0.85f);
  // About 0.5192 units per second to the left, from 2.78 at the scene's start.
  const float x = static_cast<float>(2.78 - (t - sceneStart(kClosing)) * 0.09614460148 * 5.4);
  drawLogo(x);  // opaque: blending is off here
  demoSystem.fbos.unuse();

  glow("rt0", "rt1", 2, 2.0f);
  const float v =
      kClosingBlurGain * musicStream.peakInBand(kClosingBands[0].lowHz, kClosingBands[0].highHz);
  if (v > kClosingBlurMin) blur("rt1", "rt0", 3, v, v, 1.0f);
  drawScreenQuad("rt0", 1.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  drawScreenQuad("overlay_cloud", std::sin(0.3f * t) + 2.0f);
  glDisable(GL_BLEND);
}
