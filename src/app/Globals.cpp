// Every global object of the show, defined in one translation unit so that static
// initialisation builds them in exactly this order (and destroys them in reverse).
#include "app/Globals.h"

#include "app/Controls.h"
#include "app/Registries.h"
#include "render/RenderTarget.h"
#include "scenes/SceneAssets.h"
#include "scenes/Timeline.h"

// 1. Scene-owned: the particle buffers, the stars (each (0, 0, 0, 1)) and the sprites.
ParticleSystem particleSystems[2];
StarRecord stars[kStarCount];
SpriteRecord sprites[kSpriteCount];

// 2. The registries and the clock. The clock reads musicStream, which is built after it
//    but before anything can call the clock.
DemoSystem demoSystem(musicStream);

// 3.
DebugVariableManager debugVariables;

// 4. Not opened, not paused, no spectrum copy yet. No clean-up: the audio thread is
//    stopped by an exit handler of the sound layer.
MusicStream musicStream;

// 5. Camera defaults only; setUp() does the rest once GL is up.
Renderer renderer;

// 6. Room for 16 lines to start.
MessageLog messageLog;

// 7. Shared depth renderbuffers of the colour render targets.
DepthRenderbufferTable depthRenderbuffers;

FrameTimeRecord FrameTime;

TextureManager& textureRegistry() { return demoSystem.textures; }
ShaderManager& shaderRegistry() { return demoSystem.shaders; }
MaterialManager& materialRegistry() { return demoSystem.materials; }
FboManager& fboRegistry() { return demoSystem.fbos; }

void DemoSystem::createColorTarget(const std::string& name, int width, int height) {
  makeColorTarget(name, width, height);
}

void DemoSystem::createDepthTarget(const std::string& name, int width, int height) {
  makeDepthTarget(name, width, height);
}
