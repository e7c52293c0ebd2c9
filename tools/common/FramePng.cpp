#include "common/FramePng.h"

#include "app/Demo.h"
#include "common/Cli.h"
#include "images/Image.h"
#include "offline/FastPng.h"

bool writeFramePng(const std::string& path, std::vector<uint8_t>& rgb, std::string& error) {
  if (rgb.size() < static_cast<size_t>(screenWidth) * screenHeight * 3) {
    return cli::failWith(error, "cannot write " + path + ": the frame is smaller than the screen");
  }
  ImageBuffer image;
  image.width = screenWidth;
  image.height = screenHeight;
  image.channels = image.bytesPerPixel = 3;
  image.stride = screenWidth * 3;
  image.pixels = rgb.data();
  flip_image(&image, true, false);  // the file wants the top row first
  const bool written = writeFastPng(path, image, error);
  flip_image(&image, true, false);
  return written;
}
