#include "images/Image.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace {

constexpr size_t kFormatTagLength = 3;  // "png", "jpg", "peg": the reader is chosen by these
constexpr int kPngBitDepth = 8;         // write_png only writes 8-bit samples
constexpr int kCmykChannels = 4;
constexpr int kRgbChannels = 3;
constexpr int kFullSample = 255;

bool jpegErrorsFail = false;
bool pngCrcChecks = true;

// Null when the array cannot be had; readers then fail instead of throwing.
uint8_t* allocPixels(size_t bytes) { return new (std::nothrow) uint8_t[bytes > 0 ? bytes : 1]; }

bool tagIs(const char* tag, const char* candidate) { return std::strcmp(tag, candidate) == 0; }

int64_t paddedSide(int64_t side) {
  int64_t padded = 1;
  while (padded < side) padded <<= 1;
  return padded;
}

bool refuseSize(const char* path, int64_t width, int64_t height, int maxSide) {
  if (image_size_allowed(width, height, maxSide)) return false;
  std::fprintf(stderr, "image %s is too large: %lldx%lld\n", path, static_cast<long long>(width),
               static_cast<long long>(height));
  return true;
}

// Called only once the whole image is decoded: a failure leaves the caller's record alone.
void fillRecord(ImageBuffer* image, int width, int height, int channels, int32_t stride,
                uint8_t* pixels) {
  *image = ImageBuffer{width, height, channels, channels, stride, pixels};
}

// Frees what a failing reader holds (any of it may be null); returns -1 for it to return.
int failPng(png_structp png, png_infop info, std::FILE* file, uint8_t* pixels, png_bytep* rows) {
  delete[] rows;
  delete[] pixels;
  std::fclose(file);
  png_destroy_read_struct(&png, &info, nullptr);
  return -1;
}

int failJpeg(jpeg_decompress_struct* decoder, std::FILE* file, uint8_t* pixels, uint8_t* row) {
  delete[] row;
  delete[] pixels;
  jpeg_destroy_decompress(decoder);
  std::fclose(file);
  return -1;
}

// libjpeg's standard error manager, but jumping back into read_jpeg under
// set_jpeg_errors_fail(true) where the standard one would exit.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf failed;
  void (*standardExit)(j_common_ptr);
};

void jpegErrorExit(j_common_ptr decoder) {
  JpegErrors* errors = reinterpret_cast<JpegErrors*>(decoder->err);
  if (!jpegErrorsFail) errors->standardExit(decoder);  // prints and exits with 1
  (*decoder->err->output_message)(decoder);
  std::longjmp(errors->failed, 1);
}

// One CMYK scanline to RGB. Adobe writers store the inks inverted (0 is full ink).
void cmykToRgb(const uint8_t* cmyk, uint8_t* rgb, int width, bool inverted) {
  for (int x = 0; x < width; ++x, cmyk += kCmykChannels, rgb += kRgbChannels) {
    int k = inverted ? cmyk[3] : kFullSample - cmyk[3];
    for (int c = 0; c < kRgbChannels; ++c) {
      int ink = inverted ? cmyk[c] : kFullSample - cmyk[c];
      rgb[c] = static_cast<uint8_t>((ink * k + kFullSample / 2) / kFullSample);
    }
  }
}

}  // namespace

bool image_size_allowed(int64_t width, int64_t height, int maxSide) {
  if (width < 0 || height < 0 || width > kMaxImagePixels || height > kMaxImagePixels) return false;
  const int64_t paddedWidth = paddedSide(width);
  const int64_t paddedHeight = paddedSide(height);
  if (maxSide > 0 && (paddedWidth > maxSide || paddedHeight > maxSide)) return false;
  return paddedWidth * paddedHeight <= kMaxImagePixels;
}

void set_jpeg_errors_fail(bool errorsFail) { jpegErrorsFail = errorsFail; }

void set_png_crc_checks(bool crcChecks) { pngCrcChecks = crcChecks; }

void alloc_image(ImageBuffer* image, int width, int height, int channels) {
  fillRecord(image, width, height, channels, width * channels,
             new uint8_t[static_cast<size_t>(width) * channels * height]);
}

int read_image(const char* path, ImageBuffer* image, bool flipRows, int maxSide) {
  size_t length = std::strlen(path);
  const char* tag = length >= kFormatTagLength ? path + length - kFormatTagLength : "";
  if (tagIs(tag, "png") || tagIs(tag, "PNG")) return read_png(path, image, flipRows, maxSide);
  if (tagIs(tag, "jpg") || tagIs(tag, "peg") || tagIs(tag, "JPG") || tagIs(tag, "PEG")) {
    return read_jpeg(path, image, flipRows, maxSide);
  }
  std::fprintf(stderr, "couldn't recognize format of %s\n", path);
  return -1;
}

int read_png(const char* path, ImageBuffer* image, bool flipRows, int maxSide) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::fprintf(stderr, "can't open %s\n", path);
    return -1;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) return failPng(png, info, file, nullptr, nullptr);
  // Set after setjmp, so kept in memory for the jump back (volatile).
  uint8_t* volatile pixels = nullptr;
  png_bytep* volatile rows = nullptr;
  // Nothing below this point may own a C++ object: libpng leaves by longjmp.
  if (setjmp(png_jmpbuf(png))) return failPng(png, info, file, pixels, rows);
  png_init_io(png, file);
  if (!pngCrcChecks) {
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
  }
  png_read_info(png, info);

  int width = static_cast<int>(png_get_image_width(png, info));
  int height = static_cast<int>(png_get_image_height(png, info));
  if (refuseSize(path, png_get_image_width(png, info), png_get_image_height(png, info), maxSide)) {
    return failPng(png, info, file, nullptr, nullptr);
  }
  // The one transform: texture uploads take 8-bit samples.
  png_set_strip_16(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  int channels = png_get_channels(png, info);
  size_t stride = png_get_rowbytes(png, info);
  pixels = allocPixels(stride * height);
  rows = new (std::nothrow) png_bytep[height > 0 ? height : 1];
  if (!pixels || !rows) {
    std::fprintf(stderr, "can't allocate %dx%d image for %s\n", width, height, path);
    return failPng(png, info, file, pixels, rows);
  }
  for (int i = 0; i < height; ++i) {
    int bufferRow = flipRows ? height - 1 - i : i;
    rows[i] = pixels + stride * bufferRow;
  }
  png_read_image(png, rows);
  png_read_end(png, info);

  fillRecord(image, width, height, channels, static_cast<int32_t>(stride), pixels);

  delete[] rows;
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return 0;
}

int read_jpeg(const char* path, ImageBuffer* image, bool flipRows, int maxSide) {
  // Warnings (a truncated file, say) only print; errors go to jpegErrorExit.
  jpeg_decompress_struct decoder;
  JpegErrors errors;
  decoder.err = jpeg_std_error(&errors.manager);
  errors.standardExit = errors.manager.error_exit;
  errors.manager.error_exit = jpegErrorExit;
  jpeg_create_decompress(&decoder);

  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::fprintf(stderr, "can't open %s\n", path);
    jpeg_destroy_decompress(&decoder);
    return -1;
  }
  // Set after setjmp, so kept in memory for the jump back (volatile).
  uint8_t* volatile pixels = nullptr;
  uint8_t* volatile cmykRow = nullptr;
  if (setjmp(errors.failed)) return failJpeg(&decoder, file, pixels, cmykRow);
  jpeg_stdio_src(&decoder, file);
  jpeg_read_header(&decoder, TRUE);
  if (refuseSize(path, decoder.image_width, decoder.image_height, maxSide)) {
    return failJpeg(&decoder, file, nullptr, nullptr);
  }
  jpeg_start_decompress(&decoder);

  int width = static_cast<int>(decoder.output_width);
  int height = static_cast<int>(decoder.output_height);
  // libjpeg hands CMYK (and YCCK) over as four inks; textures want RGB.
  const bool cmyk = decoder.out_color_space == JCS_CMYK && decoder.output_components == 4;
  int channels = cmyk ? kRgbChannels : decoder.output_components;
  size_t stride = static_cast<size_t>(width) * channels;
  pixels = allocPixels(stride * height);
  if (cmyk) cmykRow = allocPixels(static_cast<size_t>(width) * kCmykChannels);
  if (!pixels || (cmyk && !cmykRow)) {
    std::fprintf(stderr, "can't allocate %dx%d image for %s\n", width, height, path);
    return failJpeg(&decoder, file, pixels, cmykRow);
  }
  while (decoder.output_scanline < decoder.output_height) {
    uint8_t* target = pixels + stride * decoder.output_scanline;
    JSAMPROW row = cmyk ? cmykRow : target;
    if (jpeg_read_scanlines(&decoder, &row, 1) != 1) break;
    if (cmyk) cmykToRgb(cmykRow, target, width, decoder.saw_Adobe_marker);
  }
  jpeg_finish_decompress(&decoder);
  jpeg_destroy_decompress(&decoder);
  std::fclose(file);
  delete[] cmykRow;

  fillRecord(image, width, height, channels, static_cast<int32_t>(stride), pixels);
  if (flipRows) flip_image(image, true, false);
  return 0;
}

void flip_image(ImageBuffer* image, bool vertical, bool horizontal) {
  const size_t stride = static_cast<size_t>(image->stride);
  if (vertical) {
    for (int i = 0; i < image->height / 2; ++i) {
      uint8_t* top = image->pixels + stride * i;
      std::swap_ranges(top, top + stride, image->pixels + stride * (image->height - 1 - i));
    }
  }
  if (horizontal) {
    const size_t pixelBytes = static_cast<size_t>(image->bytesPerPixel);
    for (int i = 0; i < image->height; ++i) {
      uint8_t* row = image->pixels + stride * i;
      for (int j = 0; j < image->width / 2; ++j) {
        uint8_t* left = row + pixelBytes * j;
        std::swap_ranges(left, left + pixelBytes, row + pixelBytes * (image->width - 1 - j));
      }
    }
  }
}

namespace {
constexpr const char* kUnsupportedChannels = "unsupported channel count";

int pngColourType(int channels) {
  switch (channels) {
    case 1: return PNG_COLOR_TYPE_GRAY;
    case 3: return PNG_COLOR_TYPE_RGB;
    case 4: return PNG_COLOR_TYPE_RGB_ALPHA;
    default: return -1;
  }
}
}  // namespace

const char* png_image_problem(const ImageBuffer& image) {
  if (pngColourType(image.channels) < 0) return kUnsupportedChannels;
  // Rows are read stride bytes apart, width * channels bytes each: a shorter stride or a
  // missing array would read outside the caller's pixels.
  if (!image.pixels || image.width <= 0 || image.height <= 0 ||
      static_cast<int64_t>(image.stride) < static_cast<int64_t>(image.width) * image.channels) {
    return "invalid image";
  }
  return nullptr;
}

// Nothing with a destructor may live here: libpng leaves by longjmp.
const char* png_write_problem(std::FILE* file, const ImageBuffer& image, PngSettings settings) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return "write_png: Error creating write struct\n";
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return "write_png: Error creating info struct\n";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return "write_png: Error 3\n";
  }
  png_init_io(png, file);
  if (settings.zlibLevel >= 0) png_set_compression_level(png, settings.zlibLevel);
  if (settings.filters >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, settings.filters);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), kPngBitDepth, pngColourType(image.channels),
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int i = 0; i < image.height; ++i) {
    png_write_row(png, image.pixels + static_cast<size_t>(image.stride) * i);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return nullptr;
}

void write_png(const char* path, ImageBuffer image) {
  if (const char* problem = png_image_problem(image)) {
    if (problem == kUnsupportedChannels) {
      std::fprintf(stderr, "write_png: unsupported channel count %d\n", image.channels);
    } else {
      std::fprintf(stderr, "write_png: invalid image %dx%d, stride %d\n", image.width, image.height,
                   image.stride);
    }
    return;
  }
  std::FILE* file = std::fopen(path, "wb");
  if (!file) {
    std::fprintf(stderr, "can't open %s\n", path);
    return;
  }
  const char* failure = png_write_problem(file, image, PngSettings{});
  std::fclose(file);
  if (failure) std::fputs(failure, stderr);
}
