// One show frame as a PNG file through the tools' fast writer (offline/FastPng.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "images/Image.h"

// With the tools' settings, under cli::temporaryNameFor(path), registered while written.
bool writeFastPng(const std::string& path, const ImageBuffer& image, std::string& error);
// `pixels`: `width` x `height` pixels of `channels` bytes (3 or 4), bottom row first as GL
// reads them back; the file gets the top row first, and `pixels` is left as it was. False
// with a reason (and no file) when the write fails.
bool writeBottomUpPng(const std::string& path, std::vector<uint8_t>& pixels, int width, int height,
                      int channels, std::string& error);
// writeBottomUpPng for a frame as OfflineShow::readFrame(kRgb) gives it.
bool writeFramePng(const std::string& path, std::vector<uint8_t>& rgb, std::string& error);
