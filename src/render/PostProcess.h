// Post-processing passes on named textures and render targets.
//
// drawQuadInFront: a texture on the rectangle (x0, y0)-(x1, y1), texture coordinates
//   (0, 0)-(maxS, maxT), one unit in front of the eye and scaled about the view axis.
//   Lighting and the model-view matrix are restored; texturing is left enabled.
// drawScreenQuad: a texture over the whole 4:3 view (start-up projection), scaled about
//   the centre.
// blur: n passes ping-ponging between D and "rt.blur", each d/4 of the sum of four diagonal
//   taps (b, c texels of S apart, x 1.5 per pass); odd n end in D, even in "rt.blur".
// glow: T = S + k copies of S blurred: of blur's six passes the fifth lands in "rt.glow" and
//   is the one added, the sixth in "rt.blur". Blur and glow leave depth testing on, blending off.
#pragma once

#include <string>

// Texture coordinates (s0, t0)-(s1, t1) on the rectangle (x0, y0)-(x1, y1), corners
// counter-clockwise from (x0, y0); between glBegin(GL_QUADS) and glEnd().
void texturedQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1);
void drawQuadInFront(unsigned int glTexture, float scale, float x0, float y0, float x1, float y1,
                     float maxS, float maxT);
void drawScreenQuad(const std::string& textureName, float scale);
void blur(const std::string& source, const std::string& destination, int passes,
          float verticalFactor, float horizontalFactor, float weight);
void glow(const std::string& source, const std::string& target, int additions, float weight);
