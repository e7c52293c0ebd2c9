#include "offline/FastPng.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {
// The body of the write, apart so that nothing with a destructor lives across setjmp.
bool writeRows(std::FILE* file, const ImageBuffer& image, int colourType, int zlibLevel,
               int filters) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  if (zlibLevel >= 0) png_set_compression_level(png, zlibLevel);
  if (filters >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y) {
    png_write_row(png, image.pixels + static_cast<size_t>(image.stride) * y);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}
}  // namespace

bool writePngWith(const std::string& path, const ImageBuffer& image, int zlibLevel, int filters,
                  std::string& error) {
  int colourType = -1;
  switch (image.channels) {
    case 1: colourType = PNG_COLOR_TYPE_GRAY; break;
    case 3: colourType = PNG_COLOR_TYPE_RGB; break;
    case 4: colourType = PNG_COLOR_TYPE_RGB_ALPHA; break;
    default: error = "cannot write " + path + ": unsupported channel count"; return false;
  }
  if (!image.pixels || image.width <= 0 || image.height <= 0 ||
      static_cast<int64_t>(image.stride) < static_cast<int64_t>(image.width) * image.channels) {
    error = "cannot write " + path + ": invalid image";
    return false;
  }
  // Written under a temporary name and renamed when whole, so that an interrupted or
  // failed write never leaves a file that looks complete. A path that names something
  // other than a regular file (a pipe, a device) is written in place and never removed.
  std::error_code statusError;
  const std::filesystem::file_status existing = std::filesystem::status(path, statusError);
  const bool inPlace =
      std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing);
  const std::string target = inPlace ? path : path + ".part";
  std::FILE* file = std::fopen(target.c_str(), "wb");
  if (!file) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = writeRows(file, image, colourType, zlibLevel, filters);
  const bool closed = std::fclose(file) == 0;
  std::error_code failure(closed ? 0 : errno, std::generic_category());
  // std::filesystem::rename replaces an older file of the name on Windows too, where
  // std::rename refuses to.
  if (written && closed && !inPlace) std::filesystem::rename(target, path, failure);
  if (written && !failure) return true;
  error =
      "cannot write " + path + ": " + (!written ? std::string("libpng failed") : failure.message());
  if (!inPlace) std::remove(target.c_str());
  return false;
}

bool writeFastPng(const std::string& path, const ImageBuffer& image, std::string& error) {
  return writePngWith(path, image, 1, PNG_FILTER_UP, error);
}
