// The show's material files (see Materials.h). The material reader takes any line holding
// a marker word (vertex or fragment marker, texture-line prefix) for that marker, so the
// shader comments below never spell those words.
#include "assetgen/Materials.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "cli/Cli.h"

namespace {

// Debug view: the eye-space normal as a colour (x, y, z from -1..1 to 0..1).
constexpr const char* kShowNormals = R"(%VERTEX_SHADER
#version 110
// Normal in eye space, per vertex; the fragment renormalises after interpolation.
varying vec3 normal;

void main() {
  normal = normalize(gl_NormalMatrix * gl_Normal);
  gl_Position = ftransform();
}
%FRAGMENT_SHADER
#version 110
varying vec3 normal;

void main() {
  gl_FragColor = vec4(normalize(normal) * 0.5 + 0.5, 1.0);
}
)";

// Debug view: distance from the eye as grey, white at the eye, black at depthRange units.
constexpr const char* kShowDepth = R"(%VERTEX_SHADER
#version 110
// Eye-space distance along the view axis, in scene units.
varying float eyeDepth;

void main() {
  eyeDepth = -(gl_ModelViewMatrix * gl_Vertex).z;
  gl_Position = ftransform();
}
%FRAGMENT_SHADER
#version 110
// The scenes fit in about 20 units; linear, unlike the depth buffer.
const float depthRange = 20.0;
varying float eyeDepth;

void main() {
  float grey = 1.0 - clamp(eyeDepth / depthRange, 0.0, 1.0);
  gl_FragColor = vec4(grey, grey, grey, 1.0);
}
)";

// Shadow mapping for the tunnel scene. The scene points the sampler at its depth texture
// each frame; the file names an existing picture so that loading finds a texture.
constexpr const char* kShadow = R"(%TEX2D shadow = overlay_cloud
%VERTEX_SHADER
#version 110
// The texture matrix holds bias * light projection * light view, and the vertices are
// world coordinates (the model-view matrix holds only the camera), so it takes a vertex
// straight to shadow-map coordinates: s, t and the depth to compare in r, over q.
varying vec4 shadowCoord;

void main() {
  shadowCoord = gl_TextureMatrix[0] * gl_Vertex;
  gl_FrontColor = gl_Color;
  gl_Position = ftransform();
}
%FRAGMENT_SHADER
#version 110
uniform sampler2DShadow shadow;
varying vec4 shadowCoord;
// Brightness of a fragment the light cannot see, as a share of its colour.
const float shadowedLevel = 0.5;

void main() {
  // Only points inside the light's view can be in its shadow. Behind the light (q <= 0)
  // the projection is meaningless, and outside 0..1 the lookup would wrap round to the
  // depths of the map's other edge: count both as lit.
  float lit = 1.0;
  if (shadowCoord.q > 0.0) {
    vec3 p = shadowCoord.xyz / shadowCoord.q;
    if (all(greaterThanEqual(p, vec3(0.0))) && all(lessThanEqual(p, vec3(1.0)))) {
      lit = shadow2DProj(shadow, shadowCoord).r;
    }
  }
  gl_FragColor = vec4(gl_Color.rgb * mix(shadowedLevel, 1.0, lit), gl_Color.a);
}
)";

}  // namespace

bool writeMaterials(const std::string& materialsDir, std::string& error) {
  if (mkdir(materialsDir.c_str(), 0755) != 0 && errno != EEXIST) {
    return cli::failWith(error, "cannot create " + materialsDir + ": " + std::strerror(errno));
  }
  return cli::writeTextWhole(materialsDir + "/show_normals.mat", kShowNormals, error) &&
         cli::writeTextWhole(materialsDir + "/show_depth.mat", kShowDepth, error) &&
         cli::writeTextWhole(materialsDir + "/shadow.mat", kShadow, error);
}
