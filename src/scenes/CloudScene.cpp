// Cloud scene, 63 to 83.474 s: nineteen grey rectangles in a tumbling group, each sized
// by its own 100 Hz band (a three-dimensional spectrum display), a glow that follows the
// 500-1000 Hz band, and the cloud overlay slowly zooming over everything.
#include <GL/glew.h>

#include <cmath>

#include "app/DemoSystem.h"
#include "render/PostProcess.h"
#include "scenes/SceneAssets.h"
#include "scenes/Scenes.h"
#include "scenes/Timeline.h"

void cloudScene() {
  const float t = FrameTime.time;
  demoSystem.fbos.use("rt0");
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, 0.8f * std::sin(t) - 0.5f);
  glDisable(GL_TEXTURE_2D);
  glRotatef(90.0f * t, 0.3f * std::cos(1.4f * t), 0.2f * std::sin(t), 1.0f);
  // Sprite record 0 is never drawn; records 1..19 follow the bands from the lowest up.
  for (int j = 0; j < kCloudRectangles; ++j) {
    const SpriteRecord& sprite = sprites[j + 1];
    const float v = musicStream.peakInBand(kCloudBands[j].lowHz, kCloudBands[j].highHz);
    glColor3f(sprite.brightness, sprite.brightness, sprite.brightness);
    const float w = v * sprite.widthFactor;
    const float h = v * sprite.heightFactor;
    glPushMatrix();
    glTranslatef(sprite.x, sprite.y, sprite.z);
    glBegin(GL_QUADS);
    texturedQuad(-w, -h, w, h, 0.0f, 0.0f, 1.0f, 1.0f);
    glEnd();
    glPopMatrix();
  }
  demoSystem.fbos.unuse();

  const float g = musicStream.peakInBand(kCloudGlowBand.lowHz, kCloudGlowBand.highHz);
  glow("rt0", "rt1", 2, kCloudGlowGain * g + 1.0f);
  drawScreenQuad("rt1", 1.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  drawScreenQuad("overlay_cloud", std::sin(0.3f * t) + 2.0f);
  glDisable(GL_BLEND);
}
