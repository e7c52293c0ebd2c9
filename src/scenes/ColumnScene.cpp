// Column field, 83.474 to 104.344 s: 20 x 20 square columns on a white ground rise and
// fall in a travelling wave, each grey by a second wave; the camera switches every two
// seconds between a wide orbit and a close one. Reads no music.
#include <GL/glew.h>

#include <cmath>

#include "app/DemoSystem.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "scenes/Scenes.h"
#include "scenes/Timeline.h"

namespace {
constexpr int kGrid = 20;

void column(float x0, float y0, float z) {
  const float x1 = x0 + 1.0f;
  const float y1 = y0 + 1.0f;
  // Top and four sides, no bottom face; per corner 0 picks x0, y0, the ground and 1 picks
  // x1, y1, z.
  static const int kCorners[20][3] = {
      {0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1},  // top
      {0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0},  // side at y0
      {0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0},  // side at x0
      {1, 0, 0}, {1, 0, 1}, {1, 1, 1}, {1, 1, 0},  // side at x1
      {0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0},  // side at y1
  };
  for (const auto& c : kCorners) glVertex3f(c[0] ? x1 : x0, c[1] ? y1 : y0, c[2] ? z : 0.0f);
}
}  // namespace

void columnScene() {
  const float t = FrameTime.time;
  demoSystem.fbos.use("rt0");
  glClearColor(1.0f, 1.0f, 1.0f, 0.7f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();

  Camera& camera = renderer.camera;
  const int n = static_cast<int>(t);
  if (n & 2) {
    camera.setPosition(3.0f * std::cos(t), std::sin(t) + 4.0f, 3.0f * std::sin(t));
  } else {
    camera.setPosition(15.0f * std::cos(0.3f * t), 3.0f, 15.2f * std::sin(0.3f * t));
  }
  camera.setTarget(0.0f, 0.1f * std::sin(t) + 1.0f, 0.0f);
  camera.apply();

  glRotatef(90.0f, 1.0f, 0.0f, 0.0f);  // the grid's z becomes the world's up
  // Drawn untextured: the grey alone, not modulated by the last frame's picture.
  glDisable(GL_TEXTURE_2D);
  for (int r = 0; r < kGrid; ++r) {
    for (int c = 0; c < kGrid; ++c) {
      const float m =
          0.5f * (1.0f + std::sin(std::cos(t + 0.4f * r - 0.1f * c) * c * 0.07692308f +
                                  static_cast<float>(std::sin(0.05263157894736842 * r * c + t))));
      const float height = 2.0f * std::sin(7.0f * std::cos(2.0f * t) + r + c + t) *
                           std::cos(c + r * std::sin(2.0f * t + r));
      glColor3f(m, m, m);
      glBegin(GL_QUADS);
      column(static_cast<float>(c - 10), static_cast<float>(r - 10), -height);
      glEnd();
    }
  }
  glEnable(GL_TEXTURE_2D);
  glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
  demoSystem.fbos.unuse();

  glow("rt0", "rt1", 2, 0.85f);
  drawScreenQuad("rt1", 1.0f);
}
