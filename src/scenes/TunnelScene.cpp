// Tunnel scene, 104.344 to 125.2 s: a grey ribbon winds above a floor before a wall, lit by
// a point light with real-time shadows (depth from the light into "shadowmap", then the
// scene through the material "shadow"); three bars grow with three bands. The first frame
// runs the set-up every later frame keeps (setUpTunnelOnce, LastingState.h).
#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>

#include "app/DemoSystem.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "scenes/LastingState.h"
#include "scenes/Scenes.h"
#include "scenes/Schedule.h"

namespace {
float sceneTime = 0.0f;   // seconds, this frame
float sceneDelta = 0.0f;  // seconds since the last frame; nothing here moves by it

constexpr int kRibbonPoints = 300;
constexpr float kRibbonHeight = 0.2f;
const float kLight[3] = {0.0f, 3.0f, 3.0f};

// The light's frustum: shadow pass projection and shadow-map lookup must agree.
void lightProjection() { gluPerspective(90.0, 1.3, 2.0, 8.0); }

void bar(float x0, float x1, float height, float z) {
  glVertex3f(x0, 0.0f, z);
  glVertex3f(x1, 0.0f, z);
  glVertex3f(x1, height, z);
  glVertex3f(x0, height, z);
}
}  // namespace

void drawShadowGeometry() {
  const float t = sceneTime;
  glDisable(GL_TEXTURE_2D);
  glColor3f(0.4f, 0.4f, 0.4f);
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i < kRibbonPoints; ++i) {
    const float x = 2.4f * (std::cos(0.1f * t + 0.008130081f * i) + std::sin(0.013333334f * i + t));
    const float y = 1.0f + 0.2f * std::sin(0.39f * t + 0.0042735045f * i) *
                               (std::cos(0.5f * t + 0.009615385f * i) + std::cos(0.025f * i + t));
    const float z =
        2.0f * std::sin(0.9f * t + 0.0074626864f * i) * std::sin(0.015384615f * i + t) - 1.0f;
    glVertex3f(x, y, z);
    glVertex3f(x, y + kRibbonHeight, z);
  }
  glEnd();

  glColor3f(0.33f, 0.34f, 0.33f);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 1.0f, 0.0f);
  glVertex3f(-9.0f, -0.2f, -9.0f);
  glVertex3f(-9.0f, -0.2f, 9.0f);
  glVertex3f(9.0f, -0.2f, 9.0f);
  glVertex3f(9.0f, -0.2f, -9.0f);
  glEnd();

  glColor3f(0.53f, 0.52f, 0.53f);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 1.0f, 0.0f);
  glVertex3f(-9.0f, -9.0f, -5.0f);
  glVertex3f(-9.0f, 9.0f, -5.0f);
  glVertex3f(9.0f, 9.0f, -5.0f);
  glVertex3f(9.0f, -9.0f, -5.0f);
  glEnd();

  glColor3f(0.73f, 0.73f, 0.73f);
  auto height = [](const SceneBand& band) {
    return 1.8f * musicStream.peakInBand(band.lowHz, band.highHz) + 1.0f;
  };
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  bar(0.0f, 0.5f, height(kTunnelBands[0]), -3.0f);
  bar(0.5f, 1.0f, height(kTunnelBands[1]), -3.0f);
  bar(1.0f, 1.5f, height(kTunnelBands[2]), 0.0f);
  glEnd();

  glEnable(GL_TEXTURE_2D);
  glColor3f(1.0f, 1.0f, 1.0f);
}

void drawShadowedScene() {
  const float t = sceneTime;
  Camera& view = renderer.camera;

  // Shadow pass: depth from the light. The projection is restored before leaving.
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  lightProjection();
  glMatrixMode(GL_MODELVIEW);
  view.setTarget(0.0f, 0.0f, 0.0f);
  view.setPosition(kLight[0], kLight[1], kLight[2]);
  view.apply();
  float lightView[16];
  view.viewMatrix(lightView);
  demoSystem.fbos.use("shadowmap");
  glClear(GL_DEPTH_BUFFER_BIT);
  glPolygonOffset(2.0f, 2.0f);
  glEnable(GL_POLYGON_OFFSET_FILL);
  drawShadowGeometry();
  glDisable(GL_POLYGON_OFFSET_FILL);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  demoSystem.fbos.unuse();

  // Main pass.
  demoSystem.fbos.use("rt0");
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glBindTexture(GL_TEXTURE_2D, demoSystem.textures.get("shadowmap").glName);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, GL_COMPARE_R_TO_TEXTURE_ARB);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC_ARB, GL_LEQUAL);
  // Texture matrix = bias x light projection x light view: world -> shadow-map coordinates.
  static const float kBias[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0.5f, 0.5f, 0.5f, 1};
  glMatrixMode(GL_TEXTURE);
  glLoadMatrixf(kBias);
  lightProjection();
  glMultMatrixf(lightView);
  glMatrixMode(GL_MODELVIEW);

  Material& shadow = demoSystem.materials.get("shadow");
  shadow.setUniformTexture("shadow", "shadowmap");
  demoSystem.materials.use("shadow");
  view.setTarget(0.0f, 0.0f, 0.0f);
  if (static_cast<int>(t) % 2 == 0) {
    view.setPosition(4.0f * std::sin(0.5f * t + 2.0f), std::sin(1.5f * t) + 2.0f,
                     4.0f * std::cos(0.5f * t + 2.0f));
  } else {
    view.setPosition(2.0f * std::sin(0.1f * t + 2.0f), 0.5f * std::sin(1.5f * t) + 1.0f,
                     6.0f * std::cos(0.5f * t + 2.0f));
  }
  view.apply();
  glPointSize(kTunnelPointSize);  // stays for later frames and scenes
  glBegin(GL_POINTS);
  glVertex3f(kLight[0], kLight[1], kLight[2]);
  glEnd();
  drawShadowGeometry();
  demoSystem.materials.unuse();
  demoSystem.fbos.unuse();
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);

  drawScreenQuad("rt0", 1.0f);
}

void tunnelScene(float time, float delta) {
  sceneTime = time;
  sceneDelta = delta;
  glClearColor(0.5f, 0.5f, 0.5f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  setUpTunnelOnce();
  drawShadowedScene();
}
