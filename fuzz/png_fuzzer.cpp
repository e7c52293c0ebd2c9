// PNG files from arbitrary bytes through read_png, with libpng's CRC checks off so that
// mutated chunks reach the decoder.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "images/Image.h"

namespace {
// Keeps each input cheap: at most 1024 x 1024 padded, 4 MB of pixels. The size check
// itself is the same for every limit.
constexpr int kFuzzMaxSide = 1024;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  installRefusingFatalReporter();
  set_png_crc_checks(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFile file("fuzz.png");
  file.write(data, size);
  ImageBuffer image;
  if (read_png(file.path(), &image, (size & 1) != 0, kFuzzMaxSide) == 0) {
    touchBytes(image.pixels, static_cast<size_t>(image.stride) * image.height);
    delete[] image.pixels;
  }
  return 0;
}
