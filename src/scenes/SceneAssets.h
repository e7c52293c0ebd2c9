// Assets the scenes make at start-up, and the scene-owned globals.
//
// Start-up runs, between loading pictures: loadSceneModel(), createSceneTargets(),
// initSceneData(), loadMaterials(). demoRand() has a fixed start and is drawn in a fixed
// order (one value a loading picture, then 4000 for the 2000 particles, 6000 for the 2000
// stars, 120 for the 20 sprites): every run builds the same tables.
#pragma once

#include <cstdint>
#include <string>

struct StarRecord {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};
constexpr int kStarCount = 2000;

struct SpriteRecord {
  float x, y, z;
  float widthFactor, heightFactor;  // negative: half-size per unit of loudness
  float unused;
  float brightness;
};
constexpr int kSpriteCount = 20;

class ParticleSystem {
 public:
  using Callback = void (*)(float* triple);
  std::string name = "[uninitialized]";
  int32_t count = 0;
  int32_t triples = 0;
  int32_t stride = 0;  // floats per vertex: 3 * triples + 3
  uint32_t buffer = 0;

  void init(int particleCount, int tripleCount, Callback callback);
};

extern ParticleSystem particleSystems[2];
extern StarRecord stars[kStarCount];
extern SpriteRecord sprites[kSpriteCount];

void randomParticle(float* triple);
void loadSceneModel();
// makeStartUpTargets(), then the scene images, with the filters it leaves in force.
void createSceneTargets();
// The five scene targets at their start-up sizes (rt0, rt1, rt2 1024 x 512, rt.glow
// 256 x 128, rt.blur 256 x 256), each made and cleared anew: under start-up's texture
// filters the five textures, then a framebuffer for each. Also puts them back offline.
void makeStartUpTargets();
void initSceneData();
