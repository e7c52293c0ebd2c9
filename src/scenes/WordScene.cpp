// Word scene, 28.1 to 63 s: a camera circles through 2000 points, pushed along by the
// 200-400 Hz band; from 41.687 s seven words appear one after another, growing and
// brightening with the 1-2 kHz band, which also blurs the points. A glow ends each frame.
#include <GL/glew.h>

#include <cmath>

#include "app/DemoSystem.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "scenes/SceneAssets.h"
#include "scenes/Scenes.h"
#include "scenes/Timeline.h"

namespace {
struct Word {
  const char* texture;
  double from;  // seconds, open interval
  double to;
  float gScale;  // screen-quad scale = gScale * g + hScale * h + base
  float hScale;
  float base;
};

// Bounds: single-precision 41.687 plus double offsets; the first two compared as floats.
const double kFirst = static_cast<double>(static_cast<float>(kFirstWordStart));
const Word kWords[] = {
    {"with", kFirst, static_cast<double>(42.687f), 0.0f, 1.0f, 0.6f},
    {"as", static_cast<double>(42.687f), kFirst + 2.838, 0.0f, 1.0f, 0.7f},
    {"concept", kFirst + 2.838, kFirst + 4.595, 0.0f, 1.0f, 0.5f},
    {"must", kFirst + 4.595, kFirst + 7.716, 0.0f, 1.0f, 0.6f},
    {"task", kFirst + 7.716, kFirst + 11.582, 0.04f, 0.0f, 0.6f},
    {"decision", kFirst + 11.582, kFirst + 14.026, 0.025f, 0.0f, 0.6f},
    {"his", kFirst + 14.026, kFirst + 17.05, 0.03f, 0.0f, 0.6f},
};
}  // namespace

const char* wordShownAt(float time, float g, float h, float& scale) {
  const double t = time;
  for (const Word& word : kWords) {
    if (t > word.from && t < word.to) {
      scale = word.gScale * g + word.hScale * h + word.base;
      return word.texture;
    }
  }
  return nullptr;
}

float wordBlurSpread(float time) {
  float g = kWordBlurGain * musicStream.peakInBand(kWordBlurBand.lowHz, kWordBlurBand.highHz);
  if (static_cast<double>(time) > kWordBandModeStart) g *= static_cast<float>(kWordBandModeFactor);
  return g;
}

void wordScene(float start) {
  const float t = FrameTime.time;
  glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
  demoSystem.fbos.use("rt0");

  const float s =
      kWordCameraGain * musicStream.peakInBand(kWordCameraBand.lowHz, kWordCameraBand.highHz);
  const float a = t + s;
  Camera& camera = renderer.camera;
  camera.setPosition(5.0f * std::sin(a), 5.0f * std::cos(a), 0.0f);
  camera.setDirection(std::sin(0.4f * t), std::cos(0.2f * t), std::sin(0.8f * t));
  camera.apply();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glDisable(GL_TEXTURE_2D);
  float k = t - start;
  if (static_cast<double>(t) > kWordBandModeStart) k *= s;
  if (k > 1.0f) k = 1.0f;
  glColor3f(k, k, k);
  glBegin(GL_POINTS);
  for (const StarRecord& star : stars) glVertex3f(star.x, star.y, star.z);
  glEnd();
  glEnable(GL_TEXTURE_2D);
  demoSystem.fbos.unuse();

  const float g = wordBlurSpread(t);
  // A silent band skips the blur: "rt1" then still holds the last final picture, which
  // is copied back below and feeds on itself until the band sounds again.
  if (g > 0.0f) blur("rt0", "rt1", 3, g, g, 1.0f);

  demoSystem.fbos.use("rt0");
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  drawScreenQuad("rt1", 1.0f);  // darkened by k, still the current colour
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  const float h = kWordBrightness * g;
  glColor3f(h + 0.1f, h + 0.1f, h + 0.1f);
  // The schedule's intervals do not overlap: at most one word per frame.
  float scale = 0.0f;
  if (const char* word = wordShownAt(t, g, h, scale)) drawScreenQuad(word, scale);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glColor3f(1.0f, 1.0f, 1.0f);
  demoSystem.fbos.unuse();

  glow("rt0", "rt1", 2, h + 0.5f);
  drawScreenQuad("rt1", 1.0f);
}
