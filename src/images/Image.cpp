#include "images/Image.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace {

constexpr size_t kFormatTagLength = 3;  // "png", "jpg", "peg": the reader is chosen by these
constexpr int kPngBitDepth = 8;         // write_png only writes 8-bit samples
constexpr int kPngZlibLevel = 1;        // fastest; see write_png

// Null when the array cannot be had; readers then fail instead of throwing.
uint8_t* allocPixels(size_t bytes) { return new (std::nothrow) uint8_t[bytes > 0 ? bytes : 1]; }

bool tagIs(const char* tag, const char* candidate) { return std::strcmp(tag, candidate) == 0; }

}  // namespace

namespace {
// The record is filled only once the whole image has been decoded: after a failure the
// caller's record stays as it was.
void fillRecord(ImageBuffer* image, int width, int height, int channels, int32_t stride,
                uint8_t* pixels) {
  image->width = width;
  image->height = height;
  image->channels = channels;
  image->bytesPerPixel = channels;
  image->stride = stride;
  image->pixels = pixels;
}
}  // namespace

void alloc_image(ImageBuffer* image, int width, int height, int channels) {
  image->width = width;
  image->height = height;
  image->channels = channels;
  image->bytesPerPixel = channels;
  image->stride = width * channels;
  image->pixels = new uint8_t[static_cast<size_t>(image->stride) * height];
}

int read_image(const char* path, ImageBuffer* image, bool flipRows) {
  size_t length = std::strlen(path);
  const char* tag = length >= kFormatTagLength ? path + length - kFormatTagLength : "";
  if (tagIs(tag, "png") || tagIs(tag, "PNG")) return read_png(path, image, flipRows);
  if (tagIs(tag, "jpg") || tagIs(tag, "peg") || tagIs(tag, "JPG") || tagIs(tag, "PEG")) {
    return read_jpeg(path, image, flipRows);
  }
  std::fprintf(stderr, "couldn't recognize format of %s\n", path);
  return -1;
}

int read_png(const char* path, ImageBuffer* image, bool flipRows) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::fprintf(stderr, "can't open %s\n", path);
    return -1;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) {
    std::fclose(file);
    return -1;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    std::fclose(file);
    png_destroy_read_struct(&png, nullptr, nullptr);
    return -1;
  }
  // Nothing below this point may own a C++ object: libpng leaves by longjmp.
  if (setjmp(png_jmpbuf(png))) {
    std::fclose(file);
    png_destroy_read_struct(&png, &info, nullptr);
    return -1;
  }
  png_init_io(png, file);
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);

  int width = static_cast<int>(png_get_image_width(png, info));
  int height = static_cast<int>(png_get_image_height(png, info));
  int channels = png_get_channels(png, info);
  size_t stride = png_get_rowbytes(png, info);
  uint8_t* pixels = allocPixels(stride * height);
  if (!pixels) {
    std::fprintf(stderr, "can't allocate %dx%d image for %s\n", width, height, path);
    std::fclose(file);
    png_destroy_read_struct(&png, &info, nullptr);
    return -1;
  }
  png_bytepp rows = png_get_rows(png, info);
  for (int i = 0; i < height; ++i) {
    int fileRow = flipRows ? height - 1 - i : i;
    std::memcpy(pixels + stride * i, rows[fileRow], stride);
  }

  fillRecord(image, width, height, channels, static_cast<int32_t>(stride), pixels);

  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return 0;
}

int read_jpeg(const char* path, ImageBuffer* image, bool flipRows) {
  // The standard error manager prints the library's message and exits with status 1 on
  // corrupt data; warnings (a truncated file, say) only print and decoding goes on.
  jpeg_decompress_struct decoder;
  jpeg_error_mgr errors;
  decoder.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&decoder);

  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::fprintf(stderr, "can't open %s\n", path);
    jpeg_destroy_decompress(&decoder);
    return -1;
  }
  jpeg_stdio_src(&decoder, file);
  jpeg_read_header(&decoder, TRUE);
  jpeg_start_decompress(&decoder);

  int width = static_cast<int>(decoder.output_width);
  int height = static_cast<int>(decoder.output_height);
  int channels = decoder.output_components;
  size_t stride = static_cast<size_t>(width) * channels;
  uint8_t* pixels = allocPixels(stride * height);
  if (!pixels) {
    std::fprintf(stderr, "can't allocate %dx%d image for %s\n", width, height, path);
    jpeg_destroy_decompress(&decoder);
    std::fclose(file);
    return -1;
  }
  while (decoder.output_scanline < decoder.output_height) {
    JSAMPROW row = pixels + stride * decoder.output_scanline;
    jpeg_read_scanlines(&decoder, &row, 1);
  }
  jpeg_finish_decompress(&decoder);
  jpeg_destroy_decompress(&decoder);
  std::fclose(file);

  fillRecord(image, width, height, channels, static_cast<int32_t>(stride), pixels);
  if (flipRows) flip_image(image, true, false);
  return 0;
}

void flip_image(ImageBuffer* image, bool vertical, bool horizontal) {
  const size_t stride = static_cast<size_t>(image->stride);
  if (vertical) {
    std::vector<uint8_t> spare(stride);
    for (int i = 0; i < image->height / 2; ++i) {
      uint8_t* top = image->pixels + stride * i;
      uint8_t* bottom = image->pixels + stride * (image->height - 1 - i);
      std::memcpy(spare.data(), top, stride);
      std::memcpy(top, bottom, stride);
      std::memcpy(bottom, spare.data(), stride);
    }
  }
  if (horizontal) {
    const size_t pixelBytes = static_cast<size_t>(image->bytesPerPixel);
    std::vector<uint8_t> spare(pixelBytes);
    for (int i = 0; i < image->height; ++i) {
      uint8_t* row = image->pixels + stride * i;
      for (int j = 0; j < image->width / 2; ++j) {
        uint8_t* left = row + pixelBytes * j;
        uint8_t* right = row + pixelBytes * (image->width - 1 - j);
        std::memcpy(spare.data(), left, pixelBytes);
        std::memcpy(left, right, pixelBytes);
        std::memcpy(right, spare.data(), pixelBytes);
      }
    }
  }
}

void write_png(const char* path, ImageBuffer image) {
  int colourType;
  switch (image.channels) {
    case 1: colourType = PNG_COLOR_TYPE_GRAY; break;
    case 3: colourType = PNG_COLOR_TYPE_RGB; break;
    case 4: colourType = PNG_COLOR_TYPE_RGB_ALPHA; break;
    default:
      std::fprintf(stderr, "write_png: unsupported channel count %d\n", image.channels);
      return;
  }
  // Rows are read stride bytes apart, width * channels bytes each: a shorter stride or a
  // missing array would read outside the caller's pixels.
  if (!image.pixels || image.width < 0 || image.height < 0 ||
      static_cast<int64_t>(image.stride) < static_cast<int64_t>(image.width) * image.channels) {
    std::fprintf(stderr, "write_png: invalid image %dx%d, stride %d\n", image.width, image.height,
                 image.stride);
    return;
  }

  std::FILE* file = std::fopen(path, "wb");
  if (!file) {
    std::fprintf(stderr, "can't open %s\n", path);
    return;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) {
    std::fprintf(stderr, "write_png: Error creating write struct\n");
    std::fclose(file);
    return;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    std::fclose(file);
    png_destroy_write_struct(&png, nullptr);
    std::fprintf(stderr, "write_png: Error creating info struct\n");
    return;
  }
  // Nothing below this point may own a C++ object: libpng leaves by longjmp.
  if (setjmp(png_jmpbuf(png))) {
    std::fclose(file);
    png_destroy_write_struct(&png, &info);
    std::fprintf(stderr, "write_png: Error 3\n");
    return;
  }
  png_init_io(png, file);
  // Frames are saved while the show or a capture runs: zlib level 1 with the "up" filter
  // on every row writes a 1024 x 768 show frame about four times faster than zlib's
  // default with adaptive filters, for files about 1.4 times larger (bench/png_bench).
  png_set_compression_level(png, kPngZlibLevel);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), kPngBitDepth, colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int i = 0; i < image.height; ++i) {
    png_write_row(png, image.pixels + static_cast<size_t>(image.stride) * i);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}
