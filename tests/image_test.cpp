// PNG and JPEG reading, PNG writing and flipping, on fixtures made at test time.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zlib.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "PngFixture.h"
#include "TestSupport.h"
#include "images/Image.h"

// AddressSanitizer reserves terabytes of address space and ends the process when an
// allocation fails.
#if defined(__SANITIZE_ADDRESS__)
#define LUMORAK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMORAK_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// CMYK when `components` is 4; `adobeMarker` false leaves out the APP14 marker that
// libjpeg writes for CMYK by default.
void writeJpeg(const std::string& path, int width, int height, int components, const Bytes& pixels,
               bool adobeMarker = true) {
  jpeg_compress_struct encoder;
  jpeg_error_mgr errors;
  encoder.err = jpeg_std_error(&errors);
  jpeg_create_compress(&encoder);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  jpeg_stdio_dest(&encoder, file);
  encoder.image_width = width;
  encoder.image_height = height;
  encoder.input_components = components;
  encoder.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&encoder);
  encoder.write_Adobe_marker = adobeMarker;
  jpeg_set_quality(&encoder, 100, TRUE);
  jpeg_start_compress(&encoder, TRUE);
  while (encoder.next_scanline < encoder.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(pixels.data()) + encoder.next_scanline * width * components;
    jpeg_write_scanlines(&encoder, &row, 1);
  }
  jpeg_finish_compress(&encoder);
  jpeg_destroy_compress(&encoder);
  std::fclose(file);
}

// Reads `path`, taking ownership of the pixels; the returned record is {} on failure.
struct Read {
  int result;
  ImageBuffer image;
  std::unique_ptr<uint8_t[]> owner;
  Bytes row(int y) const {
    return Bytes(image.pixels + y * image.stride, image.pixels + (y + 1) * image.stride);
  }
};
Read readFile(const std::string& path, bool flipRows) {
  Read read{};
  read.result = read_image(path.c_str(), &read.image, flipRows);
  read.owner.reset(read.image.pixels);
  return read;
}

Bytes sequence(size_t count) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(1 + i * 7);
  return bytes;
}

// width, height, channels, bytesPerPixel, stride
std::vector<int> layout(const ImageBuffer& image) {
  return {image.width, image.height, image.channels, image.bytesPerPixel, image.stride};
}

TEST(PngTest, RoundTripsEveryWrittenLayoutWithAndWithoutFlip) {
  TempDir dir;
  const int width = 5, height = 3;  // odd width: rows are not 4-byte aligned
  for (int channels : {1, 3, 4}) {
    const int rowBytes = width * channels;
    Bytes pixels = sequence(rowBytes * height);
    std::string path = dir.file("c" + std::to_string(channels) + ".png");
    write_png(path.c_str(),
              ImageBuffer{width, height, channels, channels, rowBytes, pixels.data()});
    for (bool flip : {false, true}) {
      SCOPED_TRACE(testing::Message() << channels << " channels, flip " << flip);
      Read read = readFile(path, flip);
      ASSERT_EQ(read.result, 0);
      EXPECT_EQ(layout(read.image),
                (std::vector<int>{width, height, channels, channels, rowBytes}));
      for (int y = 0; y < height; ++y) {
        auto fileRow = pixels.begin() + (flip ? height - 1 - y : y) * rowBytes;
        EXPECT_EQ(read.row(y), Bytes(fileRow, fileRow + rowBytes));
      }
    }
  }
}

TEST(PngTest, SamplesStayAsTheFileStoresThem) {
  TempDir dir;
  ASSERT_TRUE(writeRawPng(dir.file("pal.png"), 4, 2, 8, PNG_COLOR_TYPE_PALETTE,
                          {0, 1, 2, 3, 3, 2, 1, 0}, 4));
  Read palette = readFile(dir.file("pal.png"), false);
  EXPECT_EQ(layout(palette.image), (std::vector<int>{4, 2, 1, 1, 4}));
  EXPECT_EQ(palette.row(1), (Bytes{3, 2, 1, 0}));  // indices, the palette not applied

  ASSERT_TRUE(writeRawPng(dir.file("ga.png"), 2, 2, 8, PNG_COLOR_TYPE_GRAY_ALPHA, sequence(8)));
  EXPECT_EQ(layout(readFile(dir.file("ga.png"), false).image), (std::vector<int>{2, 2, 2, 2, 4}));

  // Interlaced files come out as whole rows, like the others.
  Bytes greyPixels = sequence(15);
  ASSERT_TRUE(writeRawPng(dir.file("adam7.png"), 5, 3, 8, PNG_COLOR_TYPE_GRAY, greyPixels, 0,
                          PNG_INTERLACE_ADAM7));
  Read adam7 = readFile(dir.file("adam7.png"), true);
  EXPECT_EQ(layout(adam7.image), (std::vector<int>{5, 3, 1, 1, 5}));
  EXPECT_EQ(adam7.row(0), Bytes(greyPixels.begin() + 10, greyPixels.end()));
}

TEST(PngTest, SixteenBitSamplesKeepTheirHighByte) {
  TempDir dir;
  Bytes deepPixels = sequence(36);  // 3 x 2 RGB, two bytes per sample, high byte first
  ASSERT_TRUE(writeRawPng(dir.file("deep.png"), 3, 2, 16, PNG_COLOR_TYPE_RGB, deepPixels));
  Read deep = readFile(dir.file("deep.png"), true);
  EXPECT_EQ(layout(deep.image), (std::vector<int>{3, 2, 3, 3, 9}));
  Bytes highBytes;
  for (size_t i = 18; i < deepPixels.size(); i += 2) highBytes.push_back(deepPixels[i]);
  EXPECT_EQ(deep.row(0), highBytes);

  Bytes deepGreyAlpha = {0x12, 0x34, 0xAB, 0xCD};
  ASSERT_TRUE(
      writeRawPng(dir.file("ga16.png"), 1, 1, 16, PNG_COLOR_TYPE_GRAY_ALPHA, deepGreyAlpha));
  Read greyAlpha = readFile(dir.file("ga16.png"), false);
  EXPECT_EQ(layout(greyAlpha.image), (std::vector<int>{1, 1, 2, 2, 2}));
  EXPECT_EQ(greyAlpha.row(0), (Bytes{0x12, 0xAB}));
}

TEST(PngTest, UnreadableFilesFailWithoutTouchingTheRecord) {
  TempDir dir;
  ImageBuffer image;
  image.width = 77;
  testing::internal::CaptureStderr();
  EXPECT_EQ(read_image(dir.file("none.png").c_str(), &image, false), -1);
  EXPECT_EQ(read_image(dir.file("none.jpg").c_str(), &image, false), -1);
  EXPECT_EQ(read_image(dir.file("a.Png").c_str(), &image, false), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "can't open " + dir.file("none.png") + "\ncan't open " + dir.file("none.jpg") +
                "\ncouldn't recognize format of " + dir.file("a.Png") + "\n");

  const char cut[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0";  // ends inside the header
  dir.write("cut.png", std::string(cut, sizeof cut - 1));
  testing::internal::CaptureStderr();
  EXPECT_EQ(read_png(dir.file("cut.png").c_str(), &image, false), -1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(image.width, 77);
  EXPECT_EQ(image.pixels, nullptr);
}

TEST(ReadImageTest, APathShorterThanItsEndingIsNotRecognised) {
  // "ng" stands right after a 'p': the ending is taken from the path alone, never before it.
  const char png[] = "png";
  ImageBuffer image;
  testing::internal::CaptureStderr();
  EXPECT_EQ(read_image(png + 1, &image, false), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "couldn't recognize format of ng\n");
}

TEST(PngTest, WriteTakesRowsStrideApartAndRefusesOtherChannelCounts) {
  TempDir dir;
  // Two 2-pixel RGB rows, each followed by 4 bytes that must not reach the file.
  Bytes padded = {1, 2, 3, 4, 5, 6, 99, 99, 99, 99, 7, 8, 9, 10, 11, 12, 99, 99, 99, 99};
  ImageBuffer image{2, 2, 3, 3, 10, padded.data()};
  write_png(dir.file("stride.png").c_str(), image);
  Read read = readFile(dir.file("stride.png"), false);
  ASSERT_EQ(read.result, 0);
  EXPECT_EQ(read.row(0), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(read.row(1), (Bytes{7, 8, 9, 10, 11, 12}));

  image.channels = image.bytesPerPixel = 2;
  testing::internal::CaptureStderr();
  write_png(dir.file("two.png").c_str(), image);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "write_png: unsupported channel count 2\n");
  EXPECT_EQ(std::fopen(dir.file("two.png").c_str(), "rb"), nullptr);
}

TEST(PngTest, WriteRefusesRecordsWhoseRowsRunPastThePixels) {
  // No pixels, or rows of 6 bytes only 4 apart: the last row would end past the array.
  TempDir dir;
  Bytes pixels(8, 1);
  for (ImageBuffer image :
       {ImageBuffer{2, 2, 3, 3, 6, nullptr}, ImageBuffer{2, 2, 3, 3, 4, pixels.data()}}) {
    testing::internal::CaptureStderr();
    write_png(dir.file("bad.png").c_str(), image);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "write_png: invalid image 2x2, stride " + std::to_string(image.stride) + "\n");
    EXPECT_EQ(std::fopen(dir.file("bad.png").c_str(), "rb"), nullptr);
  }
}

TEST(PngTest, WriteReportsALibpngFailureWithItsOwnLine) {
  // A device that takes no bytes: libpng's write fails once its output buffer flushes.
  struct stat info;
  if (stat("/dev/full", &info) != 0) GTEST_SKIP() << "no /dev/full";
  Bytes noise(256 * 256 * 3);  // incompressible: far more than stdio's buffer reaches libpng
  uint32_t state = 1;
  for (uint8_t& v : noise) v = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  testing::internal::CaptureStderr();
  write_png("/dev/full", ImageBuffer{256, 256, 3, 3, 768, noise.data()});
  const std::string said = testing::internal::GetCapturedStderr();
  // libpng's own handler speaks first ("libpng error: Write Error").
  EXPECT_NE(said.find("libpng error"), std::string::npos) << said;
  const std::string line = "write_png: Error 3\n";
  EXPECT_EQ(said.rfind(line) + line.size(), said.size()) << said;
}

TEST(PngTest, WriteSetsNoCompressionSettingsOfItsOwn) {
  // A picture whose rows compress differently under each filter and level: the file must
  // be byte for byte what libpng writes with its defaults.
  TempDir dir;
  const int width = 64;
  const int height = 48;
  Bytes pixels(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 7) ^ (i / 192));
  write_png(dir.file("show.png").c_str(),
            ImageBuffer{width, height, 3, 3, width * 3, pixels.data()});
  ASSERT_TRUE(writeRawPng(dir.file("plain.png"), width, height, 8, PNG_COLOR_TYPE_RGB, pixels));
  auto bytesOf = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(bytesOf(dir.file("show.png")), bytesOf(dir.file("plain.png")));
}

TEST(FlipTest, OddHeightKeepsTheMiddleRowAndHorizontalSwapsWholePixels) {
  Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 3, 2 channels
  ImageBuffer image{2, 3, 2, 2, 4, pixels.data()};
  flip_image(&image, true, false);
  EXPECT_EQ(pixels, (Bytes{9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4}));
  flip_image(&image, false, true);
  EXPECT_EQ(pixels, (Bytes{11, 12, 9, 10, 7, 8, 5, 6, 3, 4, 1, 2}));
}

TEST(JpegTest, GreyAndColourDecodeWithTheirComponentCounts) {
  TempDir dir;
  const int side = 16;  // two 8-row blocks: light above, dark below
  Bytes grey(side * side, 240);
  std::fill(grey.begin() + side * side / 2, grey.end(), 20);
  writeJpeg(dir.file("grey.jpeg"), side, side, 1, grey);
  Read top = readFile(dir.file("grey.jpeg"), false);
  EXPECT_EQ(layout(top.image), (std::vector<int>{side, side, 1, 1, side}));
  EXPECT_NEAR(top.image.pixels[0], 240, 3);
  Read flipped = readFile(dir.file("grey.jpeg"), true);
  EXPECT_EQ(flipped.row(0), top.row(side - 1));
  EXPECT_EQ(flipped.row(side - 1), top.row(0));

  Bytes red(side * side * 3);
  for (size_t i = 0; i < red.size(); i += 3) red[i] = 200;
  writeJpeg(dir.file("red.jpg"), side, side, 3, red);
  Read rgb = readFile(dir.file("red.jpg"), false);
  EXPECT_EQ(layout(rgb.image), (std::vector<int>{side, side, 3, 3, side * 3}));
  EXPECT_NEAR(rgb.image.pixels[0], 200, 4);
  EXPECT_NEAR(rgb.image.pixels[1], 0, 4);
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void putU16BigEndian(std::string& bytes, size_t at, unsigned value) {
  bytes[at] = char(value >> 8);
  bytes[at + 1] = char(value & 0xFF);
}

// A 16 x 16 JPEG whose frame header claims width x height.
std::string jpegClaiming(const TempDir& dir, unsigned width, unsigned height) {
  writeJpeg(dir.file("small.jpg"), 16, 16, 1, Bytes(256, 128));
  std::string bytes = fileBytes(dir.file("small.jpg"));
  size_t frame = bytes.find("\xFF\xC0");
  EXPECT_NE(frame, std::string::npos);
  putU16BigEndian(bytes, frame + 5, height);
  putU16BigEndian(bytes, frame + 7, width);
  return bytes;
}

// A 1 x 1 grey PNG whose header claims width x height, with a matching CRC.
std::string pngClaiming(const TempDir& dir, uint32_t width, uint32_t height) {
  ImageBuffer one{1, 1, 1, 1, 1, nullptr};
  uint8_t pixel = 7;
  one.pixels = &pixel;
  write_png(dir.file("one.png").c_str(), one);
  std::string bytes = fileBytes(dir.file("one.png"));
  const size_t type = 12;  // "IHDR" after the signature and the chunk length
  for (int i = 0; i < 4; ++i) {
    bytes[type + 4 + i] = char(width >> (24 - 8 * i));
    bytes[type + 8 + i] = char(height >> (24 - 8 * i));
  }
  const size_t ihdrBytes = 4 + 13;
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + type), ihdrBytes);
  for (int i = 0; i < 4; ++i) bytes[type + ihdrBytes + i] = char(crc >> (24 - 8 * i));
  return bytes;
}

TEST(ImageSizeTest, PaddedStorageMustFitTheSideAndPixelLimits) {
  EXPECT_TRUE(image_size_allowed(8192, 8192, kNoSideLimit));   // exactly 64 Mpixel
  EXPECT_FALSE(image_size_allowed(8193, 8192, kNoSideLimit));  // pads to 16384 x 8192
  EXPECT_TRUE(image_size_allowed(1 << 26, 1, kNoSideLimit));
  EXPECT_FALSE(image_size_allowed((1 << 26) + 1, 1, kNoSideLimit));
  EXPECT_TRUE(image_size_allowed(4096, 3000, 4096));
  EXPECT_FALSE(image_size_allowed(4097, 16, 4096));  // pads to 8192
  EXPECT_FALSE(image_size_allowed(16, 4097, 4096));
}

TEST(ImageSizeTest, OversizedHeadersAreRefusedBeforeDecoding) {
  TempDir dir;
  const struct {
    const char* name;
    std::string bytes;
    int maxSide;
    const char* size;
  } cases[] = {
      {"huge.jpg", jpegClaiming(dir, 65023, 63999), kNoSideLimit, "65023x63999"},
      {"wide.jpg", jpegClaiming(dir, 8193, 8192), kNoSideLimit, "8193x8192"},
      {"side.jpg", jpegClaiming(dir, 16, 16), 8, "16x16"},
      {"huge.png", pngClaiming(dir, 100000, 100000), kNoSideLimit, "100000x100000"},
      {"wide.png", pngClaiming(dir, 8193, 8192), kNoSideLimit, "8193x8192"},
      {"side.png", pngClaiming(dir, 1, 4097), 4096, "1x4097"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write(c.name, c.bytes);
    ImageBuffer image;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_image(dir.file(c.name).c_str(), &image, false, c.maxSide), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "image " + dir.file(c.name) + " is too large: " + c.size + "\n");
    EXPECT_EQ(image.pixels, nullptr);
  }
  // At the limit the picture is read.
  Read atLimit = readFile(dir.file("small.jpg"), false);
  ASSERT_EQ(read_jpeg(dir.file("small.jpg").c_str(), &atLimit.image, false, 16), 0);
  atLimit.owner.reset(atLimit.image.pixels);
}

TEST(ImageSizeDeathTest, PixelsThatMemoryCannotHoldFailTheReadWithAMessage) {
#if defined(_WIN32) || defined(LUMORAK_ADDRESS_SANITIZER)
  GTEST_SKIP() << "needs an address-space limit the process can live under";
#else
  // 16 MB of grey, within the size limits, with 8 MB of address space to spare: the read
  // fails and says why; the process goes on.
  TempDir dir;
  dir.write("big.png", pngClaiming(dir, 4096, 4096));
  const std::string path = dir.file("big.png");
  EXPECT_EXIT(
      {
        long pages = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        if (!statm || std::fscanf(statm, "%ld", &pages) != 1) std::_Exit(2);
        const rlim_t mapped = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE);
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = mapped + (8 << 20);
        if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
        ImageBuffer image;
        std::_Exit(read_png(path.c_str(), &image, false) == -1 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "can't allocate 4096x4096 image for " + path);
#endif
}

TEST(JpegTest, CmykBecomesRgbWithOrWithoutTheAdobeInversion) {
  TempDir dir;
  const int side = 8;
  // Plain CMYK: full cyan ink, a quarter of black. Adobe files store the inks inverted.
  const uint8_t cyan[] = {255, 0, 0, 64};
  const uint8_t adobeCyan[] = {0, 255, 255, 191};
  const int expected[] = {0, 191, 191};
  for (bool adobe : {false, true}) {
    SCOPED_TRACE(adobe ? "Adobe" : "plain");
    Bytes pixels;
    for (int i = 0; i < side * side; ++i) {
      const uint8_t* ink = adobe ? adobeCyan : cyan;
      pixels.insert(pixels.end(), ink, ink + 4);
    }
    writeJpeg(dir.file("cmyk.jpg"), side, side, 4, pixels, adobe);
    Read read = readFile(dir.file("cmyk.jpg"), false);
    ASSERT_EQ(read.result, 0);
    EXPECT_EQ(layout(read.image), (std::vector<int>{side, side, 3, 3, side * 3}));
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(read.image.pixels[c], expected[c], 3) << c;
  }
}

TEST(JpegTest, CorruptDataFailsWhenErrorsAreSetToFail) {
  TempDir dir;
  dir.write("bad.jpg", "this is no jpeg");
  std::string truncated = jpegClaiming(dir, 16, 16);
  truncated.resize(truncated.find("\xFF\xC0") + 4);  // ends inside the frame header
  dir.write("cut.jpg", truncated);
  set_jpeg_errors_fail(true);
  for (const char* name : {"bad.jpg", "cut.jpg"}) {
    ImageBuffer image;
    image.width = 77;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_image(dir.file(name).c_str(), &image, true), -1) << name;
    EXPECT_NE(testing::internal::GetCapturedStderr(), "") << name;
    EXPECT_EQ(image.width, 77);
    EXPECT_EQ(image.pixels, nullptr);
  }
  set_jpeg_errors_fail(false);
}

TEST(JpegDeathTest, CorruptDataEndsTheProgramWithStatusOne) {
  TempDir dir;
  dir.write("bad.jpg", "this is no jpeg");
  ImageBuffer image;
  EXPECT_EXIT(read_image(dir.file("bad.jpg").c_str(), &image, true), testing::ExitedWithCode(1),
              "Not a JPEG file");
}

}  // namespace
