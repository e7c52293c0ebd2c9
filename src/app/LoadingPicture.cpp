#include "app/LoadingPicture.h"

#include <GL/glew.h>

#include <cmath>

#include "app/Globals.h"
#include "app/Window.h"
#include "render/PostProcess.h"
#include "resources/Random.h"
#include "resources/StartupTimes.h"

void showLoadingPicture() {
  StartupSpan span(StartupStep::kLoadingPicture);
  // One draw per picture from the fixed-start generator: the tints repeat run to run.
  const float r = static_cast<float>(demoRand());
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(1.0f, 1.0f, 1.0f);
  glDisable(GL_DEPTH_TEST);
  drawLoadingQuad("loading", 1.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glColor3f((std::sin(3.0f * r) + 1.0f) / 2.0f, (std::sin(4.0f * r) + 1.0f) / 2.0f,
            (std::sin(5.0f * r) + 1.0f) / 2.0f);
  drawLoadingQuad("loading", 1.02f);
  glDisable(GL_BLEND);
  glFlush();
  glEnable(GL_DEPTH_TEST);
  presentFrame();
}

void drawLoadingQuad(const char* textureName, float scale) {
  const Texture& texture = demoSystem.textures.get(textureName);
  const float u = static_cast<float>(texture.sourceWidth) / texture.width;
  const float v = static_cast<float>(texture.height) / texture.width;
  drawQuadInFront(texture.glName, scale, -1.0f, -1.0f, 2.0f * u - 1.0f, 2.0f * u - 1.0f, 1.0f, v);
}
