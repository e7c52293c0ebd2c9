// Compares two PNG frames of the same size the way the golden-frame tests do: the mean
// absolute difference per channel (0..255) and the share of pixels with any channel off
// by more than 8 levels. Prints both; exits 1 when either passes its limit, 2 on bad
// input.
//
// usage: pngdiff ACTUAL EXPECTED [MAX_MEAN [MAX_SHARE]]   (defaults 1.0 and 0.005)
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "images/Image.h"

namespace {
constexpr int kLevels = 8;  // a pixel counts as off beyond this difference in any channel
}

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) {
    std::fprintf(stderr, "usage: pngdiff ACTUAL EXPECTED [MAX_MEAN [MAX_SHARE]]\n");
    return 2;
  }
  const double maxMean = argc > 3 ? std::atof(argv[3]) : 1.0;
  const double maxShare = argc > 4 ? std::atof(argv[4]) : 0.005;
  ImageBuffer a, b;
  if (read_png(argv[1], &a, false) != 0 || read_png(argv[2], &b, false) != 0) return 2;
  std::unique_ptr<uint8_t[]> ownA(a.pixels), ownB(b.pixels);
  if (a.width != b.width || a.height != b.height || a.channels != b.channels) {
    std::fprintf(stderr, "pngdiff: %s is %dx%dx%d, %s is %dx%dx%d\n", argv[1], a.width, a.height,
                 a.channels, argv[2], b.width, b.height, b.channels);
    return 1;
  }
  double sum = 0.0;
  long off = 0;
  for (int y = 0; y < a.height; ++y) {
    const uint8_t* pa = a.pixels + static_cast<size_t>(y) * a.stride;
    const uint8_t* pb = b.pixels + static_cast<size_t>(y) * b.stride;
    for (int x = 0; x < a.width; ++x) {
      bool pixelOff = false;
      for (int c = 0; c < a.channels; ++c) {
        const int d = std::abs(pa[x * a.channels + c] - pb[x * b.channels + c]);
        sum += d;
        pixelOff = pixelOff || d > kLevels;
      }
      off += pixelOff;
    }
  }
  const double pixels = static_cast<double>(a.width) * a.height;
  const double mean = sum / (pixels * a.channels);
  const double share = off / pixels;
  const bool pass = mean <= maxMean && share <= maxShare;
  std::printf(
      "%s: mean difference %.3f levels (limit %.3f), %.4f %% of pixels off by more than %d "
      "(limit %.4f %%): %s\n",
      argv[1], mean, maxMean, 100.0 * share, kLevels, 100.0 * maxShare, pass ? "ok" : "DIFFERS");
  return pass ? 0 : 1;
}
