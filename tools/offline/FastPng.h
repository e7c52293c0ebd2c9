// PNG writing for the offline tools, which save thousands of frames: zlib level 1 with the
// "up" filter on every row writes a 1024 x 768 show frame about four times faster than
// libpng's defaults (zlib's default level, adaptive filters), for files about 1.4 times
// larger (bench/png_bench). The show's own F11 captures keep write_png and its defaults.
//
// Unlike write_png, these report failure to the caller, with a reason, and leave no file
// behind on one.
#pragma once

#include <string>

#include "images/Image.h"

// 8-bit grey, RGB or RGBA (1, 3 or 4 channels), rows stride bytes apart, the first row at
// the top of the picture. zlibLevel -1 and filters -1 keep libpng's defaults; filters is
// a mask of PNG_FILTER_* values.
bool writePngWith(const std::string& path, const ImageBuffer& image, int zlibLevel, int filters,
                  std::string& error);
// The offline tools' settings: level 1, the up filter.
bool writeFastPng(const std::string& path, const ImageBuffer& image, std::string& error);
