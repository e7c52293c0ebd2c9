#include "render/Renderer.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "app/Registries.h"
#include "app/Screen.h"
#include "images/TextureManager.h"

void Camera::apply() {
  float m[16];
  viewMatrix(m);
  glLoadMatrixf(m);
}

void Camera::viewMatrix(float out[16]) const {
  float f[3] = {target.x - position.x, target.y - position.y, target.z - position.z};
  const float length = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  if (length > 0.0f) {
    for (float& c : f) c /= length;
  }
  // Side and up are deliberately left unnormalised (see the header).
  const float s[3] = {f[1] * up.z - f[2] * up.y, f[2] * up.x - f[0] * up.z,
                      f[0] * up.y - f[1] * up.x};
  const float u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2],
                      s[0] * f[1] - s[1] * f[0]};
  const float p[3] = {position.x, position.y, position.z};
  // Rows s, u, -f; column 3 is R times -position.
  const float tx = -(s[0] * p[0] + s[1] * p[1] + s[2] * p[2]);
  const float ty = -(u[0] * p[0] + u[1] * p[1] + u[2] * p[2]);
  const float tz = f[0] * p[0] + f[1] * p[1] + f[2] * p[2];
  const float m[16] = {s[0], u[0], -f[0], 0.0f, s[1], u[1], -f[1], 0.0f,
                       s[2], u[2], -f[2], 0.0f, tx,   ty,   tz,    1.0f};
  std::copy(m, m + 16, out);
}

void Renderer::setUp() {
  aspect = 1.3334f;
  for (float& v : mouseValues) v = 0.0f;
  for (int i = 0; i < kLightCount; ++i) {
    lights[i] = Light();
    const float fi = static_cast<float>(i);
    lights[i].position[0] = fi;
    lights[i].position[1] = fi;
    lights[i].position[2] = 4.0f - fi;  // w stays 1: a positional light
  }
  // Shared 1024 x 768 render textures, available to materials by name.
  static const char* const kSharedTextures[] = {"rt0",  "rt1",  "rtt2", "rtt3", "rtt4",
                                                "rtt5", "rtt6", "rtt7", "rtt8", "rt9"};
  for (const char* name : kSharedTextures) {
    textureRegistry().create(name, 1024, 768, nullptr, GL_RGBA8, GL_RGBA);
  }
}

void Renderer::letterbox(float aspectRatio, int width, int height, int out[4]) {
  const bool wide = aspectRatio >= 1.0f;
  const float w = wide ? static_cast<float>(width) : height * aspectRatio;
  const float h = wide ? width / aspectRatio : static_cast<float>(height);
  out[0] = static_cast<int>((width - w) * 0.5f);
  out[1] = static_cast<int>((height - h) * 0.5f);
  out[2] = static_cast<int>(w);
  out[3] = static_cast<int>(h);
}

void Renderer::setAspect(float widthRatio, float heightRatio) {
  aspect = widthRatio / heightRatio;
  int viewport[4];
  letterbox(aspect, screenWidth, screenHeight, viewport);
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void Renderer::applyLights() {
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDisable(GL_LIGHTING);
  for (int i = 0; i < kLightCount; ++i) {
    const Light& light = lights[i];
    const GLenum id = GL_LIGHT0 + i;
    if (!light.enabled) {
      glDisable(id);
      continue;
    }
    // Positions go through the model-view matrix the scene left behind.
    glLightfv(id, GL_AMBIENT, light.ambient);
    glLightfv(id, GL_DIFFUSE, light.diffuse);
    glLightfv(id, GL_POSITION, light.position);
    glLightfv(id, GL_SPECULAR, light.specular);
    glLightfv(id, GL_SPOT_DIRECTION, light.spotDirection);
    glLightf(id, GL_SPOT_EXPONENT, light.spotExponent);
    glLightf(id, GL_SPOT_CUTOFF, light.spotCutoff);
    glEnable(id);
    glEnable(GL_LIGHTING);
  }
}
