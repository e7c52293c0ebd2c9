#include "offline/FastPng.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/Cli.h"

static_assert(kFastPngFilters == PNG_FILTER_UP, "the tools' filter is the up filter");

bool writePngWith(const std::string& path, const std::string& temporary, const ImageBuffer& image,
                  int zlibLevel, int filters, std::string& error) {
  if (const char* problem = png_image_problem(image)) {
    return cli::failWith(error, "cannot write " + path + ": " + problem);
  }
  // A path that names something other than a regular file (a pipe, a device) is written
  // in place and never removed.
  std::error_code statusError;
  const std::filesystem::file_status existing = std::filesystem::status(path, statusError);
  const bool inPlace =
      std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing);
  const std::string target = inPlace ? path : temporary;
  std::FILE* file = std::fopen(target.c_str(), "wb");
  if (!file) return cli::failWith(error, "cannot write " + path + ": " + std::strerror(errno));
  const bool written = !png_write_problem(file, image, PngSettings{zlibLevel, filters});
  const bool closed = std::fclose(file) == 0;
  std::error_code failure(closed ? 0 : errno, std::generic_category());
  // Unlike std::rename, this replaces an older file on Windows too.
  if (written && closed && !inPlace) std::filesystem::rename(target, path, failure);
  if (written && !failure) return true;
  error =
      "cannot write " + path + ": " + (!written ? std::string("libpng failed") : failure.message());
  if (!inPlace) std::remove(target.c_str());
  return false;
}
