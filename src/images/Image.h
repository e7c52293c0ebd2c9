// Image files: PNG and JPEG into memory, PNG back out.
//
// Readers fill an ImageBuffer whose pixel array the caller owns (delete[]). PNG samples
// stay as stored (palette indices, packed sub-byte depths), except that 16-bit samples keep
// their high byte. CMYK JPEGs become RGB. With flipRows the bottom row comes first, as GL
// uploads expect.
//
// Textures pad each side to a power of two, so a reader refuses, before allocating the
// pixels, an image whose padded storage would exceed kMaxImagePixels or have a side above
// maxSide (when > 0; the texture manager passes GL_MAX_TEXTURE_SIZE).
//
// Messages go to stderr; nothing here ends the program, except libjpeg on corrupt data
// (its message, exit status 1) unless set_jpeg_errors_fail(true) is in force.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int64_t kMaxImagePixels = int64_t{64} << 20;  // 64 Mpixel of padded storage
constexpr int kNoSideLimit = 0;

struct ImageBuffer {
  int32_t width = 0;
  int32_t height = 0;
  int32_t channels = 0;       // 1 grey/palette index, 2 grey+alpha, 3 RGB, 4 RGBA
  int32_t bytesPerPixel = 0;  // equals channels for every producer here
  int32_t stride = 0;         // bytes from one row to the next
  uint8_t* pixels = nullptr;  // height * stride bytes, owned by the caller
};

// Fills `image` for a new, uninitialised array of width * channels * height bytes.
void alloc_image(ImageBuffer* image, int width, int height, int channels);
// 0 on success, -1 on failure; the reader is picked by the last three characters.
int read_image(const char* path, ImageBuffer* image, bool flipRows, int maxSide = kNoSideLimit);
int read_png(const char* path, ImageBuffer* image, bool flipRows, int maxSide = kNoSideLimit);
int read_jpeg(const char* path, ImageBuffer* image, bool flipRows, int maxSide = kNoSideLimit);
// True when padded power-of-two storage for width x height fits the limits above.
bool image_size_allowed(int64_t width, int64_t height, int maxSide);

// Harness seams, off by default. With errorsFail, read_jpeg returns -1 on corrupt data
// instead of ending the program. With crcChecks off, read_png ignores bad chunk CRCs (and
// zlib's Adler-32), so that generated inputs reach the decoder.
void set_jpeg_errors_fail(bool errorsFail);
void set_png_crc_checks(bool crcChecks);
// In place; callers ask for one direction at a time.
void flip_image(ImageBuffer* image, bool vertical, bool horizontal);
// 8-bit grey (1), RGB (3) or RGBA (4) PNG, first row first; failures go to stderr only.
void write_png(const char* path, ImageBuffer image);

// PNG compression: -1 keeps libpng's default; filters is a mask of PNG_FILTER_* values.
struct PngSettings {
  int zlibLevel = -1;
  int filters = -1;
};
// Why `image` cannot be written as a PNG ("unsupported channel count", "invalid image":
// no pixels, no rows, or a stride shorter than a row), or null.
const char* png_image_problem(const ImageBuffer& image);
// Writes `image` (which png_image_problem() passed) as a PNG into an open file: null, or
// write_png's line for the libpng step that failed.
const char* png_write_problem(std::FILE* file, const ImageBuffer& image, PngSettings settings);
