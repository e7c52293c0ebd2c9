// JPEG files from arbitrary bytes through read_jpeg; corrupt data fails the input
// instead of ending the process.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "images/Image.h"

namespace {
// Keeps each input cheap: libjpeg decodes the whole claimed size even from a few bytes.
constexpr int kFuzzMaxSide = 1024;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  installRefusingFatalReporter();
  set_jpeg_errors_fail(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFile file("fuzz.jpg");
  file.write(data, size);
  ImageBuffer image;
  if (read_jpeg(file.path(), &image, (size & 1) != 0, kFuzzMaxSide) == 0) {
    touchBytes(image.pixels, static_cast<size_t>(image.stride) * image.height);
    delete[] image.pixels;
  }
  return 0;
}
