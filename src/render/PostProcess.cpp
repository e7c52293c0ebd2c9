#include "render/PostProcess.h"

#include <GL/glew.h>

#include "app/Registries.h"
#include "images/TextureManager.h"
#include "render/RenderTarget.h"

namespace {
// Half-width of the screen quad: a hair over 4/3 so the 4:3 view has no seam at the edge.
constexpr float kQuadHalfWidth = 1.33334f;
// Every pass spreads its taps by half again.
constexpr float kTapGrowth = 1.5f;
}  // namespace

void texturedQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1) {
  glTexCoord2f(s0, t0);
  glVertex2f(x0, y0);
  glTexCoord2f(s1, t0);
  glVertex2f(x1, y0);
  glTexCoord2f(s1, t1);
  glVertex2f(x1, y1);
  glTexCoord2f(s0, t1);
  glVertex2f(x0, y1);
}

void drawQuadInFront(unsigned int glTexture, float scale, float x0, float y0, float x1, float y1,
                     float maxS, float maxT) {
  glPushAttrib(GL_LIGHTING_BIT);
  glDisable(GL_LIGHTING);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -1.0f);
  glScalef(scale, scale, 1.0f);

  glBindTexture(GL_TEXTURE_2D, glTexture);
  glEnable(GL_TEXTURE_2D);  // left enabled for whoever draws next
  glBegin(GL_QUADS);
  texturedQuad(x0, y0, x1, y1, 0.0f, 0.0f, maxS, maxT);
  glEnd();

  glPopMatrix();
  glPopAttrib();
}

void drawScreenQuad(const std::string& textureName, float scale) {
  drawQuadInFront(textureRegistry().get(textureName).glName, scale, -kQuadHalfWidth, -1.0f,
                  kQuadHalfWidth, 1.0f, 1.0f, 1.0f);
}

void blur(const std::string& source, const std::string& destination, int passes,
          float verticalFactor, float horizontalFactor, float weight) {
  static const std::string kPingPong = "rt.blur";
  TextureManager& textures = textureRegistry();
  FboManager& targets = fboRegistry();
  // Offsets are measured in texels of the source for every pass.
  const Texture sourceTexture = textures.get(source);
  const float width = static_cast<float>(sourceTexture.width);
  const float height = static_cast<float>(sourceTexture.height);

  // Save: lighting; projection and model-view matrices (restored below).
  glPushAttrib(GL_LIGHTING_BIT);
  glDisable(GL_LIGHTING);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, width, 0.0, height, -2.0, 2.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();

  // Set up: unlit, untested, alpha-blended taps weighted by a quarter of the weight each.
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBindTexture(GL_TEXTURE_2D, sourceTexture.glName);
  glEnable(GL_TEXTURE_2D);
  glBlendColorEXT(1.0f, 1.0f, 1.0f, weight * 0.25f);

  std::string current = source;
  float b = verticalFactor;
  float c = horizontalFactor;
  for (int pass = 0; pass < passes; ++pass) {
    const bool even = pass % 2 == 0;
    const std::string& writeTo = even ? destination : current;
    const std::string& readFrom = even ? current : destination;
    targets.use(writeTo);
    glBindTexture(GL_TEXTURE_2D, textures.get(readFrom).glName);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const float dx = c / width;
    const float dy = b / height;

    glBlendFunc(GL_CONSTANT_ALPHA_EXT, GL_ZERO);
    // The whole target, its texture shifted by (du, dv).
    auto tap = [width, height](float du, float dv) {
      texturedQuad(0.0f, 0.0f, width, height, du, dv, 1.0f + du, 1.0f + dv);
    };
    glBegin(GL_QUADS);
    tap(dx, dy);
    glEnd();
    glBlendFunc(GL_CONSTANT_ALPHA_EXT, GL_ONE);
    glBegin(GL_QUADS);
    tap(-dx, -dy);
    tap(dx, -dy);
    tap(-dx, dy);
    glEnd();

    b *= kTapGrowth;
    c *= kTapGrowth;
    targets.unuse();
    if (pass == 0) current = kPingPong;
  }

  // Restore; depth test on and blending off whatever they were before.
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}

void glow(const std::string& source, const std::string& target, int additions, float weight) {
  glDisable(GL_DEPTH_TEST);
  glPushAttrib(GL_LIGHTING_BIT);
  glDisable(GL_LIGHTING);
  // Six passes: the fifth pass's result stays in "rt.glow", the one used below.
  blur(source, "rt.glow", 6, 0.75f, 0.75f, weight);

  glColor3f(1.0f, 1.0f, 1.0f);
  fboRegistry().use(target);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_BLEND);
  drawScreenQuad(source, 1.0f);
  glBlendFunc(GL_ONE, GL_ONE);
  glEnable(GL_BLEND);
  for (int i = 0; i < additions; ++i) drawScreenQuad("rt.glow", 1.0f);

  glDisable(GL_BLEND);
  glPopAttrib();
  glEnable(GL_DEPTH_TEST);
  fboRegistry().unuse();
}
