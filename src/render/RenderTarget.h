// Render targets: framebuffer objects (EXT_framebuffer_object) whose colour or depth
// image is a TextureManager texture.
//
// FboManager ("FBO"): use(name) binds the framebuffer, saves the viewport
// (glPushAttrib(GL_VIEWPORT_BIT)) and sets the requested size; unuse() always returns to
// the back buffer and restores the viewport; use() while another is in use just switches.
//
// Colour targets of equal storage size share one 24-bit depth renderbuffer. Attaching
// clears the target once (colour (0, 0, 0, 0), depth 1.0), keeping the clear values, so a
// scene that never clears its target starts from a known picture. Framebuffer status is
// never queried.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "images/TextureManager.h"
#include "resources/ResourceManager.h"

struct RenderTarget {
  uint32_t framebuffer = 0xFFFFFFFFu;  // none generated yet
  Texture texture;                     // copy taken when the texture is attached
  bool depthOnly = false;

  void attachColor(const std::string& textureName, uint32_t attachment, uint32_t textureTarget);
  void attachDepth(const std::string& textureName);
};

// Storage-size key -> depth renderbuffer name; entries are never deleted.
using DepthRenderbufferTable = std::map<int32_t, uint32_t>;
extern DepthRenderbufferTable depthRenderbuffers;

class FboManager : public UsableResourceManager<RenderTarget> {
 public:
  std::string typeName() const override { return "FBO"; }
  // Stores a copy of `target`; a target already under `name` loses its framebuffer.
  void add(const std::string& name, const RenderTarget& target);

 protected:
  void bind(const std::string& name) override;
  void unbind() override;
};

// DemoSystem's createColorTarget and createDepthTarget (see there).
void makeColorTarget(const std::string& name, int width, int height);
void makeDepthTarget(const std::string& name, int width, int height);
