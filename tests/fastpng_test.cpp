// The offline tools' PNG writer: the same pixels as write_png gives, in a smaller-effort
// encoding, and a failure the caller hears of, with nothing left behind.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "images/Image.h"
#include "offline/FastPng.h"
#include "offline/FramePng.h"

namespace {

TEST(FastPngTest, WritesThePixelsOfEveryLayoutRowsStrideApart) {
  TempDir dir;
  for (int channels : {1, 3, 4}) {
    const int width = 5;
    const int height = 3;
    const int stride = width * channels + 3;  // padding that must not reach the file
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height, 99);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width * channels; ++x) pixels[y * stride + x] = uint8_t(x * 11 + y * 50);
    }
    const std::string path = dir.file("c" + std::to_string(channels) + ".png");
    std::string error;
    ASSERT_TRUE(writeFastPng(
        path, ImageBuffer{width, height, channels, channels, stride, pixels.data()}, error))
        << error;
    ImageBuffer read{};
    ASSERT_EQ(read_png(path.c_str(), &read, false), 0);
    std::unique_ptr<uint8_t[]> owner(read.pixels);
    ASSERT_EQ(read.channels, channels);
    for (int y = 0; y < height; ++y) {
      EXPECT_EQ(std::vector<uint8_t>(read.pixels + y * read.stride,
                                     read.pixels + y * read.stride + width * channels),
                std::vector<uint8_t>(&pixels[y * stride], &pixels[y * stride] + width * channels))
          << channels << " channels, row " << y;
    }
  }
}

TEST(FastPngTest, FailuresAreReportedWithTheirPathAndLeaveNoFile) {
  TempDir dir;
  std::vector<uint8_t> pixels(12, 7);
  std::string error;
  EXPECT_FALSE(
      writeFastPng(dir.file("missing/a.png"), ImageBuffer{2, 2, 3, 3, 6, pixels.data()}, error));
  EXPECT_EQ(error, "cannot write " + dir.file("missing/a.png") + ": No such file or directory");

  EXPECT_FALSE(writeFastPng(dir.file("two.png"), ImageBuffer{2, 2, 2, 2, 4, pixels.data()}, error));
  EXPECT_EQ(error, "cannot write " + dir.file("two.png") + ": unsupported channel count");
  EXPECT_FALSE(
      writeFastPng(dir.file("short.png"), ImageBuffer{2, 2, 3, 3, 5, pixels.data()}, error));
  struct stat info;
  EXPECT_NE(stat(dir.file("two.png").c_str(), &info), 0);
  EXPECT_NE(stat(dir.file("short.png").c_str(), &info), 0);

  // A full disk: the write fails part-way, is reported, and the device stays a device.
  if (stat("/dev/full", &info) == 0) {
    std::vector<uint8_t> big(256 * 256 * 3);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 2654435761u >> 24);
    testing::internal::CaptureStderr();  // libpng's own "Write Error" line
    EXPECT_FALSE(writeFastPng("/dev/full", ImageBuffer{256, 256, 3, 3, 768, big.data()}, error));
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
  }
  // Nothing is left under a temporary name either.
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + dir.path() + "')\"").c_str()), 0);
}

// GL reads the bottom row first: the file has it last, the caller's buffer is untouched,
// and a buffer short of the picture's size is refused before anything is read from it.
TEST(FastPngTest, BottomUpPixelsAreWrittenTopRowFirst) {
  TempDir dir;
  const int width = 2;
  const int height = 3;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7);
  const std::vector<uint8_t> original = pixels;
  std::string error;
  ASSERT_TRUE(writeBottomUpPng(dir.file("up.png"), pixels, width, height, 4, error)) << error;
  EXPECT_EQ(pixels, original);
  ImageBuffer read{};
  ASSERT_EQ(read_png(dir.file("up.png").c_str(), &read, false), 0);
  std::unique_ptr<uint8_t[]> owner(read.pixels);
  const size_t row = static_cast<size_t>(width) * 4;
  for (int y = 0; y < height; ++y) {
    EXPECT_TRUE(std::equal(read.pixels + y * read.stride, read.pixels + y * read.stride + row,
                           original.begin() + (height - 1 - y) * row))
        << "file row " << y;
  }

  pixels.pop_back();
  EXPECT_FALSE(writeBottomUpPng(dir.file("short.png"), pixels, width, height, 4, error));
  EXPECT_EQ(error,
            "cannot write " + dir.file("short.png") + ": fewer pixels than the picture's size");
  struct stat info;
  EXPECT_NE(stat(dir.file("short.png").c_str(), &info), 0);
}

}  // namespace
