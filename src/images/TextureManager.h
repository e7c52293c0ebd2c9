// TextureManager: the registry of every OpenGL texture, by name ("texture").
//
// A small state machine: every creation uses the filters (and targets) in force. Storage
// sides are rounded up to powers of two, the picture in the lower-left corner of zero
// padding; source / storage size is the texture-coordinate extent that holds it.
// Storage-only textures (no pixels) never get mipmaps. Textures are never deleted.
//
// Calls: setFilters(), then create() / loadTexture() / loadCubeMap(); get() by name.
#pragma once

#include <cstdint>
#include <string>

#include "resources/ResourceManager.h"

struct Texture {
  int32_t width = 1;  // storage, power of two
  int32_t height = 1;
  int32_t sourceWidth = 1;  // as requested
  int32_t sourceHeight = 1;
  uint32_t glName = 0;
};

class TextureManager : public ResourceManager<Texture> {
 public:
  std::string typeName() const override { return "texture"; }

  void setFilters(int minFilter, int magFilter);
  // pixels: 8-bit components covering sourceWidth x sourceHeight, or null for storage.
  void create(const std::string& name, int width, int height, const uint8_t* pixels,
              int internalFormat, int format);
  void loadTexture(const std::string& name, int internalFormat, int format);
  void loadTextureFile(const std::string& name, const std::string& fileBase, int internalFormat,
                       int format);
  void loadCubeMap(const std::string& name, int internalFormat, int format);

  // Smallest power of two >= size (0 and powers of two stay).
  static int roundUpToPowerOfTwo(int size);

  int minFilter() const { return minFilter_; }
  int magFilter() const { return magFilter_; }

 private:
  int wrapS_ = 0x2901;  // GL_REPEAT
  int wrapT_ = 0x2901;
  int wrapR_ = 0x2901;
  int minFilter_ = 0x2601;  // GL_LINEAR
  int magFilter_ = 0x2601;
  float maxAnisotropy_ = 0.0f;  // below 1: the driver's default stays in force
  int bindTarget_ = 0x0DE1;     // GL_TEXTURE_2D
  int imageTarget_ = 0x0DE1;
};
