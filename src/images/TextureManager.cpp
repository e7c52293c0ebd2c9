#include <GL/glew.h>

#include "images/TextureManager.h"

#include <GL/glu.h>

#include <cstring>
#include <memory>
#include <vector>

#include "app/Fatal.h"
#include "images/Image.h"
#include "resources/DataFile.h"
#include "resources/StartupTimes.h"

namespace {

constexpr int kChooseFromImage = -1;          // format argument: pick from the image's channels
constexpr float kMinUsefulAnisotropy = 1.0f;  // GL rejects lower values for the parameter
constexpr int kLargestPowerOfTwo = 1 << 30;   // int sizes above this cannot be rounded up

struct CubeFace {
  const char* suffix;
  GLenum target;
};
constexpr CubeFace kCubeFaces[] = {
    {"_c00", GL_TEXTURE_CUBE_MAP_POSITIVE_X}, {"_c01", GL_TEXTURE_CUBE_MAP_NEGATIVE_X},
    {"_c02", GL_TEXTURE_CUBE_MAP_POSITIVE_Y}, {"_c03", GL_TEXTURE_CUBE_MAP_NEGATIVE_Y},
    {"_c04", GL_TEXTURE_CUBE_MAP_POSITIVE_Z}, {"_c05", GL_TEXTURE_CUBE_MAP_NEGATIVE_Z},
};

bool isMipmapFilter(int filter) {
  return filter == GL_NEAREST_MIPMAP_NEAREST || filter == GL_LINEAR_MIPMAP_NEAREST ||
         filter == GL_NEAREST_MIPMAP_LINEAR || filter == GL_LINEAR_MIPMAP_LINEAR;
}

// Without pixels there is nothing to build mipmaps from.
int storageOnlyFilter(int filter) {
  return filter == GL_NEAREST || filter == GL_LINEAR ? filter : GL_LINEAR;
}

// Bytes per pixel of 8-bit pixels in a GL upload format; 0 for formats not handled here.
int componentsOf(int format) {
  switch (format) {
    case GL_ALPHA:
    case GL_LUMINANCE:
    case GL_RED:
    case GL_DEPTH_COMPONENT: return 1;
    case GL_LUMINANCE_ALPHA:
    case GL_RG: return 2;
    case GL_RGB:
    case GL_BGR: return 3;
    case GL_RGBA:
    case GL_BGRA: return 4;
    default: return 0;
  }
}

// One-channel images become alpha textures, not luminance ones.
struct ImageFormats {
  int channels;
  int internalFormat;
  int format;
};
constexpr ImageFormats kImageFormats[] = {
    {1, GL_ALPHA8, GL_ALPHA},
    {3, GL_RGB8, GL_RGB},
    {4, GL_RGBA8, GL_RGBA},
};

const ImageFormats* formatsForChannels(int channels) {
  for (const ImageFormats& formats : kImageFormats) {
    if (formats.channels == channels) return &formats;
  }
  return nullptr;
}

}  // namespace

int TextureManager::roundUpToPowerOfTwo(int size) {
  if (size <= 1 || size > kLargestPowerOfTwo) return size;
  int rounded = 1;
  while (rounded < size) rounded <<= 1;
  return rounded;
}

void TextureManager::setFilters(int minFilter, int magFilter) {
  minFilter_ = minFilter;
  magFilter_ = magFilter;
}

void TextureManager::create(const std::string& name, int width, int height, const uint8_t* pixels,
                            int internalFormat, int format) {
  Texture& texture = getOrCreate(name);
  if (texture.glName == 0) glGenTextures(1, &texture.glName);

  const int storageWidth = roundUpToPowerOfTwo(width);
  const int storageHeight = roundUpToPowerOfTwo(height);
  texture.width = storageWidth;
  texture.height = storageHeight;
  texture.sourceWidth = width;
  texture.sourceHeight = height;

  // GL reads the whole power-of-two storage from the array: a smaller picture goes into the
  // lower-left corner of a zero-filled copy.
  std::vector<uint8_t> padded;
  if (pixels && (storageWidth != width || storageHeight != height) && width > 0 && height > 0) {
    const size_t pixelBytes = static_cast<size_t>(componentsOf(format));
    if (pixelBytes == 0) {
      fatalError("Cannot place texture '%s' in larger storage: unknown pixel format 0x%x.",
                 name.c_str(), static_cast<unsigned>(format));
    }
    const size_t sourceRow = pixelBytes * width;
    const size_t storageRow = pixelBytes * storageWidth;
    padded.assign(storageRow * storageHeight, 0);
    for (int y = 0; y < height; ++y) {
      std::memcpy(padded.data() + storageRow * y, pixels + sourceRow * y, sourceRow);
    }
    pixels = padded.data();
  }

  glBindTexture(bindTarget_, texture.glName);

  const int minFilter = pixels ? minFilter_ : storageOnlyFilter(minFilter_);
  const int magFilter = pixels ? magFilter_ : storageOnlyFilter(magFilter_);
  glTexParameteri(bindTarget_, GL_TEXTURE_MIN_FILTER, minFilter);
  glTexParameteri(bindTarget_, GL_TEXTURE_MAG_FILTER, magFilter);
  glTexParameteri(bindTarget_, GL_TEXTURE_WRAP_S, wrapS_);
  glTexParameteri(bindTarget_, GL_TEXTURE_WRAP_T, wrapT_);
  glTexParameteri(bindTarget_, GL_TEXTURE_WRAP_R, wrapR_);
  if (maxAnisotropy_ >= kMinUsefulAnisotropy) {
    glTexParameterf(bindTarget_, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy_);
  }

  // Tightly packed rows (odd widths of 1- and 3-byte pixels), then the caller's alignment.
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(imageTarget_, 0, internalFormat, storageWidth, storageHeight, 0, format,
               GL_UNSIGNED_BYTE, pixels);
  if (isMipmapFilter(minFilter)) {
    gluBuild2DMipmaps(imageTarget_, internalFormat, storageWidth, storageHeight, format,
                      GL_UNSIGNED_BYTE, pixels);
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void TextureManager::loadTexture(const std::string& name, int internalFormat, int format) {
  loadTextureFile(name, name, internalFormat, format);
}

void TextureManager::loadTextureFile(const std::string& name, const std::string& fileBase,
                                     int internalFormat, int format) {
  StartupSpan span(StartupStep::kImages);
  const std::string path = findDataFile("data", fileBase, {"png", "jpg"});
  const char* file = path.c_str();

  // The reader refuses, before allocating, pictures whose padded storage GL cannot take.
  GLint maxSide = kNoSideLimit;
  glGetIntegerv(
      bindTarget_ == GL_TEXTURE_CUBE_MAP ? GL_MAX_CUBE_MAP_TEXTURE_SIZE : GL_MAX_TEXTURE_SIZE,
      &maxSide);
  ImageBuffer image;
  if (read_image(file, &image, true, maxSide) != 0) {
    fatalError("Could not read image file '%s'.", file);
  }
  std::unique_ptr<uint8_t[]> pixels(image.pixels);

  if (internalFormat == kChooseFromImage || format == kChooseFromImage) {
    const ImageFormats* chosen = formatsForChannels(image.channels);
    if (!chosen) {
      fatalError("No texture format for the %d-channel image file '%s'.", image.channels, file);
    }
    if (internalFormat == kChooseFromImage) internalFormat = chosen->internalFormat;
    if (format == kChooseFromImage) format = chosen->format;
  }

  // create() reads width x height pixels of one byte per component: anything else
  // (16-bit or packed sub-byte samples, a format of another size) would be misread or
  // read past the end of the array.
  if (image.stride != image.width * image.channels) {
    fatalError("Image file '%s' does not hold 8-bit samples.", file);
  }
  if (componentsOf(format) != image.channels) {
    fatalError("Image file '%s' has %d channels, which pixel format 0x%x does not take.", file,
               image.channels, static_cast<unsigned>(format));
  }

  create(name, image.width, image.height, pixels.get(), internalFormat, format);
}

void TextureManager::loadCubeMap(const std::string& name, int internalFormat, int format) {
  // Both targets return to 2D however the faces end, so later loads are plain textures.
  struct RestoreTargets {
    TextureManager& manager;
    ~RestoreTargets() { manager.bindTarget_ = manager.imageTarget_ = GL_TEXTURE_2D; }
  } restore{*this};

  bindTarget_ = GL_TEXTURE_CUBE_MAP;
  for (const CubeFace& face : kCubeFaces) {
    imageTarget_ = static_cast<int>(face.target);
    loadTextureFile(name, name + face.suffix, internalFormat, format);
  }
}
