#include "offline/FramePng.h"

#include "app/Demo.h"
#include "cli/Cli.h"
#include "images/Image.h"
#include "offline/FastPng.h"

bool writeFastPng(const std::string& path, const ImageBuffer& image, std::string& error) {
  const std::string temporary = cli::temporaryNameFor(path);
  cli::addTemporary(temporary);
  const bool written = writePngWith(path, temporary, image, kFastPngLevel, kFastPngFilters, error);
  cli::forgetTemporary(temporary);
  return written;
}

bool writeBottomUpPng(const std::string& path, std::vector<uint8_t>& pixels, int width, int height,
                      int channels, std::string& error) {
  if (pixels.size() < static_cast<size_t>(width) * height * channels) {
    return cli::failWith(error, "cannot write " + path + ": fewer pixels than the picture's size");
  }
  ImageBuffer image{width, height, channels, channels, width * channels, pixels.data()};
  flip_image(&image, true, false);  // the file wants the top row first
  const bool written = writeFastPng(path, image, error);
  flip_image(&image, true, false);
  return written;
}

bool writeFramePng(const std::string& path, std::vector<uint8_t>& rgb, std::string& error) {
  return writeBottomUpPng(path, rgb, screenWidth, screenHeight, 3, error);
}
