// Opening, 0 to 28.1 s: black spinning triangles paint trails over a never-cleared white
// picture; the logo slides right to left until 13 s, then the model swings through until
// kOpeningModelGone. Inside kOpeningBlurWindows the 3-4 kHz band blurs the picture.
#include <GL/glew.h>

#include <cmath>

#include "app/DemoSystem.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "scenes/Scenes.h"
#include "scenes/Timeline.h"

namespace {
void triangle(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy,
              float cz) {
  glBegin(GL_TRIANGLES);
  glVertex3f(ax, ay, az);
  glVertex3f(bx, by, bz);
  glVertex3f(cx, cy, cz);
  glEnd();
}
}  // namespace

void drawLogo(float centreX) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, demoSystem.textures.get("lklogo").glName);
  glBegin(GL_QUADS);
  texturedQuad(centreX - 4.0f, -1.0f, centreX + 4.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
  glEnd();
}

void drawTriangleFigure() {
  const float t = FrameTime.time;
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -0.85f);
  glDisable(GL_TEXTURE_2D);
  glColor3f(0.0f, 0.0f, 0.0f);
  // Each rotation accumulates on the previous one.
  glRotatef(25.0f * t, 1.0f, 1.0f, 1.0f);
  triangle(-1, -1, 0, 0, 1, 0, 1, -1, 0);
  glRotatef(45.0f * t, 0.7f, 1.0f, 0.6f);
  triangle(-1, -1, 0, 0, 1, 0, 1, -1, 0);
  glRotatef(125.0f * t, 1.0f, 0.34f, 0.2f);
  triangle(-2, -2, 0, 0, 1, 3, 1, -4, 0);
  glRotatef(25.0f * t, 0.3f, 0.34f, 0.2f);
  triangle(-3, -2, 0, 8, -1, 3, 4, -4, 0);
  glColor3f(1.0f, 1.0f, 1.0f);
  glEnable(GL_TEXTURE_2D);
}

void openingScene() {
  const float t = FrameTime.time;
  // Used by the next frame's clear: the back buffer starts white.
  glClearColor(1.0f, 1.0f, 1.0f, 0.5f);
  // "rt0" is not cleared: every frame paints over what the earlier ones left.
  demoSystem.fbos.use("rt0");
  drawTriangleFigure();

  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -0.85f);
  // About 0.6428 units per second to the left.
  const float x = static_cast<float>(2.78 - t * 0.1190334484 * 5.4);
  if (t < 13.0f) {
    drawLogo(x);  // white, as the triangle figure left the colour
  } else if (t < static_cast<float>(kOpeningModelGone)) {
    Camera& camera = renderer.camera;
    camera.setTarget(0.0f, 0.0f, 0.0f);
    camera.setPosition(80.0f * std::sin(std::cos(t) * std::cos(0.4f * t)),
                       34.0f * std::sin(t) * std::cos(0.4f * t), 40.0f);
    camera.apply();
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    glDisable(GL_TEXTURE_2D);
    demoSystem.models.get("dudezurodev").draw();
    glEnable(GL_TEXTURE_2D);
  }
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  demoSystem.fbos.unuse();

  // Bounds compared as floats: 5.2f and 7.6f lie below 5.2 and 7.6, so a frame at exactly
  // those float times would blur if compared as doubles.
  bool inWindow = false;
  for (const TimeWindow& window : kOpeningBlurWindows) {
    inWindow |= t > static_cast<float>(window.from) && t < static_cast<float>(window.to);
  }
  float v = 0.0f;
  if (inWindow) {
    v = 100.0f * musicStream.peakInBand(kOpeningBands[0].lowHz, kOpeningBands[0].highHz);
    if (v > 0.0f) blur("rt0", "rt1", 3, v, v, 1.0f);
  }
  drawScreenQuad(v > 0.0f ? "rt1" : "rt0", 1.0f);
}
