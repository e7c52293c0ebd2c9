// The texture manager against a real GL: sizes, filters and mipmaps, formats from
// channels, padding of odd-sized pictures, reloading, cube maps and the fatal paths.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "GlTestSupport.h"
#include "TestSupport.h"
#include "images/Image.h"
#include "images/TextureManager.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Runs each test inside a fresh directory holding "data/", the manager's only source.
class TextureTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    ASSERT_NE(getcwd(previousDir_, sizeof previousDir_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    ASSERT_EQ(mkdir("data", 0755), 0);
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

  static GLint parameter(GLenum pname) {
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, pname, &value);
    return value;
  }
  static GLint level(GLenum target, int lod, GLenum pname) {
    GLint value = 0;
    glGetTexLevelParameteriv(target, lod, pname, &value);
    return value;
  }
  // Level 0 of the texture bound to `target` (all of it: width x height must be its
  // size), tightly packed, bottom row first.
  static Bytes readBack(GLenum target, GLenum format, int components, int width, int height) {
    Bytes pixels(static_cast<size_t>(width) * height * components);
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
  EXPECT_EQ(TextureManager::roundUpToPowerOfTwo(0), 0);
  EXPECT_EQ(TextureManager::roundUpToPowerOfTwo(1), 1);
  EXPECT_EQ(TextureManager::roundUpToPowerOfTwo(3), 4);
  EXPECT_EQ(TextureManager::roundUpToPowerOfTwo(512), 512);
  EXPECT_EQ(TextureManager::roundUpToPowerOfTwo(513), 1024);

  textures.create("rt", 1024, 768, nullptr, GL_RGBA8, GL_RGBA);
  const Texture& texture = textures.get("rt");
  EXPECT_EQ(texture.width, 1024);
  EXPECT_EQ(texture.height, 1024);
  EXPECT_EQ(texture.sourceWidth, 1024);
  EXPECT_EQ(texture.sourceHeight, 768);
  EXPECT_NE(texture.glName, 0u);
  glBindTexture(GL_TEXTURE_2D, texture.glName);
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT), 1024);
}

TEST_F(TextureTest, OnlyFileTexturesGetMipmaps) {
  textures.setFilters(GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR);
  textures.create("rt", 64, 64, nullptr, GL_RGBA8, GL_RGBA);
  glBindTexture(GL_TEXTURE_2D, textures.get("rt").glName);
  EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(level(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH), 0);

  writePng("pic", 8, 8, 3, [](int, int) { return Bytes{10, 20, 30}; });
  textures.loadTexture("pic", -1, -1);
  glBindTexture(GL_TEXTURE_2D, textures.get("pic").glName);
  EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
  EXPECT_EQ(level(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH), 4);
  EXPECT_EQ(level(GL_TEXTURE_2D, 3, GL_TEXTURE_WIDTH), 1);
}

TEST_F(TextureTest, ReloadingANameKeepsItsGlNameAndReplacesThePicture) {
  writePng("a", 4, 4, 3, [](int, int) { return Bytes{255, 0, 0}; });
  textures.loadTexture("a", -1, -1);
  const GLuint glName = textures.get("a").glName;

  writePng("a", 2, 2, 4, [](int, int) { return Bytes{0, 255, 0, 128}; });
  textures.loadTexture("a", -1, -1);
  const Texture& texture = textures.get("a");
  EXPECT_EQ(texture.glName, glName);
  EXPECT_EQ(texture.width, 2);
  glBindTexture(GL_TEXTURE_2D, glName);
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA8);
  Bytes green = {0, 255, 0, 128};
  for (int i = 1; i < 4; ++i) green.insert(green.end(), green.begin(), green.begin() + 4);
  EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_RGBA, 4, 2, 2), green);
}

TEST_F(TextureTest, OneChannelPicturesBecomeAlphaTextures) {
  writePng("mask", 2, 2, 1, [](int x, int y) { return Bytes{uint8_t(10 * x + 100 * y)}; });
  textures.loadTexture("mask", -1, -1);
  glBindTexture(GL_TEXTURE_2D, textures.get("mask").glName);
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_ALPHA8);
  // Bottom row first: file row 1 comes up first.
  EXPECT_EQ(readBack(GL_TEXTURE_2D, GL_ALPHA, 1, 2, 2), (Bytes{100, 110, 0, 10}));
}

TEST_F(TextureTest, OddSizedPicturesSitLowerLeftInZeroedStorage) {
  // 3 x 3 RGB: odd rows of 9 bytes, stored 4 x 4.
  writePng("odd", 3, 3, 3, [](int x, int y) { return Bytes{uint8_t(1 + x), uint8_t(1 + y), 9}; });
  textures.loadTexture("odd", -1, -1);
  const Texture& texture = textures.get("odd");
  EXPECT_EQ(texture.width, 4);
  EXPECT_EQ(texture.height, 4);
  EXPECT_EQ(texture.sourceWidth, 3);
  EXPECT_EQ(texture.sourceHeight, 3);

  glBindTexture(GL_TEXTURE_2D, texture.glName);
  Bytes stored = readBack(GL_TEXTURE_2D, GL_RGB, 3, 4, 4);
  for (int row = 0; row < 4; ++row) {
    for (int x = 0; x < 4; ++x) {
      SCOPED_TRACE(testing::Message() << "storage row " << row << ", column " << x);
      Bytes expected = {0, 0, 0};
      if (row < 3 && x < 3) expected = {uint8_t(1 + x), uint8_t(3 - row), 9};
      EXPECT_EQ(Bytes(stored.begin() + (row * 4 + x) * 3, stored.begin() + (row * 4 + x + 1) * 3),
                expected);
    }
  }
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
    Bytes pixels = readBack(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, GL_RGB, 3, 4, 4);
    EXPECT_EQ(pixels[0], 40 * face) << "face " << face;
  }

  // The targets are 2D again: the next file lands on GL_TEXTURE_2D.
  writePng("flat", 2, 2, 3, [](int, int) { return Bytes{1, 2, 3}; });
  textures.loadTexture("flat", -1, -1);
  glBindTexture(GL_TEXTURE_2D, textures.get("flat").glName);
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 2);
}

TEST_F(TextureTest, MissingAndUnreadableTexturesAreFatal) {
  EXPECT_FATAL(textures.get("x"), "No such texture: 'x'.");
  EXPECT_FATAL(textures.loadTexture("gone", -1, -1),
               "Could not find file: \"data/gone.{png jpg }\"!");
  EXPECT_FATAL(textures.loadCubeMap("sky", -1, -1),
               "Could not find file: \"data/sky_c00.{png jpg }\"!");

  FILE* junk = std::fopen("data/junk.png", "wb");
  ASSERT_NE(junk, nullptr);
  std::fputs("not a picture", junk);
  std::fclose(junk);
  testing::internal::CaptureStderr();
  EXPECT_FATAL(textures.loadTexture("junk", -1, -1), "Could not read image file 'data/junk.png'.");
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(textures.contains("junk"));
}

// Each refused picture would have made GL read past the end of its pixel array.
TEST_F(TextureTest, PicturesThatDoNotMatchTheUploadAreRefused) {
  // 8 x 2 one-bit grey: one packed byte per row.
  FILE* file = std::fopen("data/bits.png", "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, 8, 2, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  uint8_t row = 0xA5;
  png_write_row(png, &row);
  png_write_row(png, &row);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  EXPECT_FATAL(textures.loadTexture("bits", -1, -1),
               "Image file 'data/bits.png' does not hold 8-bit samples.");

  writePng("rgb", 2, 2, 3, [](int, int) { return Bytes{1, 2, 3}; });
  EXPECT_FATAL(textures.loadTexture("rgb", GL_RGBA8, GL_RGBA),
               "Image file 'data/rgb.png' has 3 channels, which pixel format 0x1908 does not "
               "take.");
  EXPECT_FALSE(textures.contains("bits"));
  EXPECT_FALSE(textures.contains("rgb"));
}

}  // namespace
