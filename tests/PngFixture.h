// PNG fixtures written with libpng itself, for layouts that write_png never produces
// (palette, grey and alpha, 16-bit and packed sub-byte samples).
#pragma once

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

// `rows` holds `height` rows of equal length, in the file's own sample layout.
inline bool writeRawPng(const std::string& path, int width, int height, int bitDepth,
                        int colourType, const std::vector<uint8_t>& rows, int paletteSize = 0,
                        int interlace = PNG_INTERLACE_NONE) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, bitDepth, colourType, interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette(paletteSize, png_color{90, 0, 0});
  if (paletteSize > 0) png_set_PLTE(png, info, palette.data(), paletteSize);
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < height; ++y) png_write_row(png, rows.data() + y * (rows.size() / height));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  return true;
}
