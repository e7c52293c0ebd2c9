// Image files: PNG and JPEG into memory, PNG back out.
//
// A thin layer over libpng and libjpeg. Readers fill an ImageBuffer whose pixel array the
// caller owns (release with delete[]). PNG samples stay exactly as the file stores them
// (no transforms: palette indices, 16-bit samples and packed sub-byte depths are kept).
// With flipRows the bottom row of the picture comes first, as GL uploads expect.
//
// Messages go to stderr; nothing here ends the program, except libjpeg's own error
// handling on corrupt JPEG data (prints the library's message, exit status 1).
#pragma once

#include <cstdint>

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
int read_image(const char* path, ImageBuffer* image, bool flipRows);
int read_png(const char* path, ImageBuffer* image, bool flipRows);
int read_jpeg(const char* path, ImageBuffer* image, bool flipRows);
// In place; callers ask for one direction at a time.
void flip_image(ImageBuffer* image, bool vertical, bool horizontal);
// 8-bit grey (1), RGB (3) or RGBA (4) PNG; the file's first row is the buffer's first.
void write_png(const char* path, ImageBuffer image);
