// PNG writing for the offline tools, which save thousands of frames: zlib level 1 with the
// "up" filter on every row writes a show frame about four times faster than libpng's
// defaults, for files about 1.4 times larger (bench/png_bench). Unlike write_png, a
// failure comes back with a reason and leaves no file behind.
#pragma once

#include <string>

#include "images/Image.h"

// 8-bit grey, RGB or RGBA, the top row first, written under `temporary` and renamed to
// `path` when whole. zlibLevel -1 and filters -1 (a mask of PNG_FILTER_*) keep libpng's.
bool writePngWith(const std::string& path, const std::string& temporary, const ImageBuffer& image,
                  int zlibLevel, int filters, std::string& error);
// The offline tools' settings: level 1, the up filter.
constexpr int kFastPngLevel = 1;
constexpr int kFastPngFilters = 0x20;  // PNG_FILTER_UP
