// The texture manager against a real GL: sizes, filters and mipmaps, formats from
// channels, padding of odd-sized pictures, reloading, cube maps and the fatal paths.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "GlTestSupport.h"
#include "PngFixture.h"
#include "TestSupport.h"
#include "images/Image.h"
#include "images/TextureManager.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Ints = std::vector<int>;

// Runs each test inside a fresh directory holding "data/", the manager's only source.
class TextureTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    ASSERT_NE(getcwd(previousDir_, sizeof previousDir_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    ASSERT_TRUE(std::filesystem::create_directory("data"));
  }
  void TearDown() override { ASSERT_EQ(chdir(previousDir_), 0); }

  // Writes data/<base>.png; pixel(x, y) gives the components of column x of file row y.
  static void writePng(const std::string& base, int width, int height, int channels,
                       const std::function<Bytes(int, int)>& pixel) {
    Bytes pixels;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        Bytes components = pixel(x, y);
        pixels.insert(pixels.end(), components.begin(), components.end());
      }
    }
    ImageBuffer image{width, height, channels, channels, width * channels, pixels.data()};
    write_png(("data/" + base + ".png").c_str(), image);
  }

  // width, height, sourceWidth, sourceHeight; binds the texture on GL_TEXTURE_2D.
  Ints bindSizes(const std::string& name) {
    const Texture& texture = textures.get(name);
    glBindTexture(GL_TEXTURE_2D, texture.glName);
    return {texture.width, texture.height, texture.sourceWidth, texture.sourceHeight};
  }
  static GLint level(GLenum target, int lod, GLenum pname) {
    GLint value = 0;
    glGetTexLevelParameteriv(target, lod, pname, &value);
    return value;
  }
  // All of level 0 of the texture bound to `target`, tightly packed, bottom row first.
  static Bytes readBack(GLenum target, GLenum format, int components) {
    Bytes pixels(level(target, 0, GL_TEXTURE_WIDTH) * level(target, 0, GL_TEXTURE_HEIGHT) *
                 components);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
  }

  TextureManager textures;

 private:
  TempDir dir_;
  char previousDir_[4096] = {};
};

TEST_F(TextureTest, StorageIsRoundedUpToPowersOfTwo) {
  Ints rounded;
  for (int size : {0, 1, 3, 512, 513}) rounded.push_back(TextureManager::roundUpToPowerOfTwo(size));
  EXPECT_EQ(rounded, (Ints{0, 1, 4, 512, 1024}));

  textures.create("rt", 1024, 768, nullptr, GL_RGBA8, GL_RGBA);
  EXPECT_EQ(bindSizes("rt"), (Ints{1024, 1024, 1024, 768}));
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT), 1024);
}

TEST_F(TextureTest, OnlyFileTexturesGetMipmaps) {
  GLint minFilter = 0;
  textures.setFilters(GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR);
  textures.create("rt", 64, 64, nullptr, GL_RGBA8, GL_RGBA);
  bindSizes("rt");
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  EXPECT_EQ(minFilter, GL_LINEAR);
  EXPECT_EQ(level(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH), 0);

  writePng("pic", 8, 8, 3, [](int, int) { return Bytes{10, 20, 30}; });
  textures.loadTexture("pic", -1, -1);
  bindSizes("pic");
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST);
  EXPECT_EQ(level(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH), 4);
}

TEST_F(TextureTest, AnisotropyBelowOneIsNotSentToGl) {
  // GL refuses a maximum anisotropy below 1 (the setting's 0.0): the driver's default stays
  // either way, and the parameter is not sent, so no GL error is left behind.
  while (glGetError() != GL_NO_ERROR) {
  }
  textures.create("plain", 4, 4, nullptr, GL_RGBA8, GL_RGBA);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, ReloadingANameKeepsItsGlNameAndReplacesThePicture) {
  writePng("a", 4, 4, 3, [](int, int) { return Bytes{255, 0, 0}; });
  textures.loadTexture("a", -1, -1);
  const GLuint glName = textures.get("a").glName;

  writePng("a", 1, 1, 4, [](int, int) { return Bytes{0, 255, 0, 128}; });
  textures.loadTexture("a", -1, -1);
  EXPECT_EQ(textures.get("a").glName, glName);
  EXPECT_EQ(bindSizes("a"), (Ints{1, 1, 1, 1}));
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA8);
  EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGBA, 4), (Bytes{0, 255, 0, 128}));
}

TEST_F(TextureTest, OneChannelPicturesBecomeAlphaTextures) {
  writePng("mask", 2, 2, 1, [](int x, int y) { return Bytes{uint8_t(10 * x + 100 * y)}; });
  textures.loadTexture("mask", -1, -1);
  bindSizes("mask");
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_ALPHA8);
  // Rows of 2 bytes: misread unless uploads are byte-aligned. File row 1 comes first.
  EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_ALPHA, 1), (Bytes{100, 110, 0, 10}));
}

TEST_F(TextureTest, OddSizedPicturesSitLowerLeftInZeroedStorage) {
  writePng("odd", 3, 3, 3, [](int x, int y) { return Bytes{uint8_t(1 + x), uint8_t(1 + y), 9}; });
  textures.loadTexture("odd", -1, -1);
  EXPECT_EQ(bindSizes("odd"), (Ints{4, 4, 3, 3}));
  Bytes expected;
  for (int row = 0; row < 4; ++row) {
    for (int x = 0; x < 4; ++x) {
      Bytes pixel = row < 3 && x < 3 ? Bytes{uint8_t(1 + x), uint8_t(3 - row), 9} : Bytes(3, 0);
      expected.insert(expected.end(), pixel.begin(), pixel.end());
    }
  }
  EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGB, 3), expected);
}

TEST_F(TextureTest, CubeMapFacesLandOnTheirTargets) {
  for (int face = 0; face < 6; ++face) {
    writePng("sky_c0" + std::to_string(face), 4, 4, 3, [face](int, int) {
      return Bytes{uint8_t(40 * face), 7, 7};
    });
  }
  textures.loadCubeMap("sky", -1, -1);
  glBindTexture(GL_TEXTURE_CUBE_MAP, textures.get("sky").glName);
  for (int face = 0; face < 6; ++face) {
    EXPECT_EQ(readBack(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, GL_RGB, 3)[0], 40 * face);
  }

  // Both targets are 2D again: the next file lands on GL_TEXTURE_2D.
  writePng("flat", 2, 2, 3, [](int, int) { return Bytes{1, 2, 3}; });
  textures.loadTexture("flat", -1, -1);
  bindSizes("flat");
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 2);
}

TEST_F(TextureTest, SixteenBitPicturesLoadWithTheirHighBytes) {
  ASSERT_TRUE(writeRawPng("data/deep.png", 1, 1, 16, PNG_COLOR_TYPE_RGB,
                          {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
  textures.loadTexture("deep", -1, -1);
  EXPECT_EQ(bindSizes("deep"), (Ints{1, 1, 1, 1}));
  EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGB, 3), (Bytes{0x12, 0x56, 0x9A}));
}

TEST_F(TextureTest, PicturesWiderThanGlTakesAreRefusedBeforeDecoding) {
  GLint maxSide = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
  ASSERT_GT(maxSide, 0);
  writePng("wide", maxSide + 1, 1, 1, [](int, int) { return Bytes{1}; });
  testing::internal::CaptureStderr();
  EXPECT_FATAL(textures.loadTexture("wide", -1, -1), "Could not read image file 'data/wide.png'.");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "image data/wide.png is too large: " + std::to_string(maxSide + 1) + "x1\n");
  EXPECT_TRUE(textures.entries().empty());
}

TEST_F(TextureTest, BadNamesAndFilesAreFatalAndCreateNothing) {
  EXPECT_FATAL(textures.get("x"), "No such texture: 'x'.");
  EXPECT_FATAL(textures.loadTexture("gone", -1, -1),
               "Could not find file: \"data/gone.{png jpg }\"!");
  EXPECT_FATAL(textures.loadCubeMap("sky", -1, -1),
               "Could not find file: \"data/sky_c00.{png jpg }\"!");

  std::ofstream("data/junk.png") << "not a picture";
  testing::internal::CaptureStderr();
  EXPECT_FATAL(textures.loadTexture("junk", -1, -1), "Could not read image file 'data/junk.png'.");
  testing::internal::GetCapturedStderr();

  // Each of these would have made GL read past the end of the pixel array.
  ASSERT_TRUE(writeRawPng("data/bits.png", 8, 2, 1, PNG_COLOR_TYPE_GRAY, {0xA5, 0x5A}));
  EXPECT_FATAL(textures.loadTexture("bits", -1, -1),
               "Image file 'data/bits.png' does not hold 8-bit samples.");
  ASSERT_TRUE(writeRawPng("data/ga.png", 1, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {1, 2}));
  EXPECT_FATAL(textures.loadTexture("ga", -1, -1),
               "No texture format for the 2-channel image file 'data/ga.png'.");
  writePng("rgb", 2, 2, 3, [](int, int) { return Bytes{1, 2, 3}; });
  EXPECT_FATAL(textures.loadTexture("rgb", GL_RGBA8, GL_RGBA),
               "Image file 'data/rgb.png' has 3 channels, which pixel format 0x1908 does not "
               "take.");
  EXPECT_TRUE(textures.entries().empty());
}

}  // namespace
