// PNG writing for the offline tools, which save thousands of frames: zlib level 1 with the
// "up" filter on every row writes a 1024 x 768 show frame about four times faster than
// libpng's defaults (zlib's default level, adaptive filters), for files about 1.4 times
// larger (bench/png_bench). The show's own F11 captures keep write_png and its defaults.
//
// Unlike write_png, this reports failure to the caller, with a reason, and leaves no file
// behind on one. writeFastPng (offline/FramePng.h) writes with the tools' settings.
#pragma once

#include <string>

#include "images/Image.h"

// 8-bit grey, RGB or RGBA (1, 3 or 4 channels), rows stride bytes apart, the first row at
// the top of the picture, written under `temporary` and renamed to `path` when whole (the
// tools name temporaries one way: cli::temporaryNameFor). zlibLevel -1 and filters -1 keep
// libpng's defaults; filters is a mask of PNG_FILTER_* values.
bool writePngWith(const std::string& path, const std::string& temporary, const ImageBuffer& image,
                  int zlibLevel, int filters, std::string& error);
// The offline tools' settings: level 1, the up filter.
constexpr int kFastPngLevel = 1;
constexpr int kFastPngFilters = 0x20;  // PNG_FILTER_UP
