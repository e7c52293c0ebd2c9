// DemoSystem: the one global object that owns the resource registries and the clock.
// Members are built in this order and destroyed in reverse at exit; destruction makes no
// GL call, so it is safe after the context is gone.
#pragma once

#include <string>

#include "MaterialManager.h"
#include "audio/MusicStream.h"
#include "images/TextureManager.h"
#include "models/Model.h"
#include "render/RenderTarget.h"

class DemoSystem {
 public:
  explicit DemoSystem(MusicStream& music) : clock(music) {}

  TextureManager textures;
  ShaderManager shaders;
  MaterialManager materials;
  ModelManager models;
  FboManager fbos;
  DemoClock clock;

  // Colour target: RGBA8 texture `name` without pixels, framebuffer, shared depth.
  void createColorTarget(const std::string& name, int width, int height);
  // Depth-only target: DEPTH_COMPONENT16 texture `name`, framebuffer, no colour.
  void createDepthTarget(const std::string& name, int width, int height);
};

extern DemoSystem demoSystem;  // defined in app/Globals.cpp
