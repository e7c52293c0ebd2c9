#include "scenes/SceneAssets.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/DemoSystem.h"
#include "resources/Random.h"

namespace {
constexpr const char* kSceneModel = "dudezurodev";
constexpr float kRandMax = static_cast<float>(kDemoRandMax);
// Each random value is scaled by the single-precision value of its fraction.
constexpr float kStarSpan = 80.0f / kRandMax;
constexpr float kUnitSpan = 2.0f / kRandMax;
constexpr float kFactorSpan = 3.0f / kRandMax;
constexpr float kBrightnessSpan = 0.5f / kRandMax;
constexpr float kDepthSpan = -5.0f / kRandMax;
constexpr float kParticleSpan = 7.0f / kRandMax;

// The scene targets at their start-up sizes; the tunnel enlarges rt0 and rt1 for good.
struct TargetSize {
  const char* name;
  int width, height;
};
constexpr TargetSize kStartUpTargets[] = {{"rt0", 1024, 512},
                                          {"rt1", 1024, 512},
                                          {"rt2", 1024, 512},
                                          {"rt.glow", 256, 128},
                                          {"rt.blur", 256, 256}};

constexpr const char* kSceneImages[] = {"lklogo", "with",     "as",  "concept",      "must",
                                        "task",   "decision", "his", "overlay_cloud"};

// Corners of every particle's quad, in drawing order.
constexpr float kCorners[4][3] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
}  // namespace

void ParticleSystem::init(int particleCount, int tripleCount, Callback callback) {
  count = particleCount;
  triples = tripleCount;
  stride = 3 * triples + 3;
  std::vector<float> data(static_cast<size_t>(count) * 4 * stride, 0.0f);
  for (int p = 0; p < count; ++p) {
    float* first = &data[static_cast<size_t>(p) * 4 * stride];
    callback(first + 3);
    for (int v = 1; v < 4; ++v) std::copy(first, first + stride, first + v * stride);
    for (int v = 0; v < 4; ++v) std::copy(kCorners[v], kCorners[v] + 3, first + v * stride);
  }
  glGenBuffersARB(1, &buffer);
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffer);
  glBufferDataARB(GL_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(data.size() * sizeof(float)),
                  data.data(), GL_STATIC_DRAW_ARB);
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
}

void randomParticle(float* triple) {
  const int k = demoRand() % 9;
  triple[0] = k * 0.6981317008f;  // 2 pi / 9
  triple[1] = std::sin(static_cast<float>(k));
  triple[2] = (demoRand() & 0x7fff) * kParticleSpan;
}

void loadSceneModel() {
  ModelManager& models = demoSystem.models;
  models.loadModel(kSceneModel);
  models.get(kSceneModel).computeNormals();
  models.get(kSceneModel).computeTangents();
  models.get(kSceneModel).createBuffers();
}

void makeStartUpTargets() {
  demoSystem.textures.setFilters(GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR);
  for (const TargetSize& size : kStartUpTargets) {
    demoSystem.textures.create(size.name, size.width, size.height, nullptr, GL_RGBA8, GL_RGBA);
  }
  // One record, a new framebuffer each; the registry stores a copy of it per name.
  RenderTarget target;
  for (const TargetSize& size : kStartUpTargets) {
    glGenFramebuffersEXT(1, &target.framebuffer);
    target.attachColor(size.name, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D);
    demoSystem.fbos.add(size.name, target);
  }
}

void createSceneTargets() {
  makeStartUpTargets();
  for (const char* name : kSceneImages) demoSystem.textures.loadTexture(name, -1, -1);
}

void initSceneData() {
  particleSystems[0].init(2000, 1, randomParticle);
  particleSystems[0].name = "particle.tunnel";

  for (StarRecord& star : stars) {
    star.x = demoRand() * kStarSpan - 40.0f;
    star.y = demoRand() * kStarSpan - 40.0f;
    star.z = demoRand() * kStarSpan - 40.0f;
  }
  for (SpriteRecord& sprite : sprites) {
    sprite.z = demoRand() * kDepthSpan;
    sprite.y = demoRand() * kUnitSpan - 1.0f;
    sprite.x = demoRand() * kUnitSpan - 1.0f;
    sprite.heightFactor = demoRand() * kFactorSpan - 6.0f;
    sprite.widthFactor = demoRand() * kFactorSpan - 6.0f;
    sprite.unused = 0.0f;
    sprite.brightness = demoRand() * kBrightnessSpan + 0.5f;
  }
}
