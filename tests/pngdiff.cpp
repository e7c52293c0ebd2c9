// Compares two PNG frames of the same size the way the golden-frame tests do: the mean
// absolute difference per channel (0..255) and the share of pixels with any channel off
// by more than 8 levels. Prints both; exits as cmp does: 0 within the limits, 1 when
// either passes its limit, 2 on bad arguments or an unreadable file (see kHelp).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "images/Image.h"

namespace {
constexpr int kLevels = 8;  // a pixel counts as off beyond this difference in any channel

const char* const kHelp =
    "usage: pngdiff [--diff-image OUT.png] ACTUAL.png EXPECTED.png [MAX_MEAN [MAX_SHARE]]\n"
    "\n"
    "Compares two PNG frames of the same size as the golden-frame test does: the mean\n"
    "absolute difference per channel (0-255, at most MAX_MEAN, default 1.0) and the share\n"
    "of pixels with a channel off by more than 8 levels (at most MAX_SHARE, default 0.005).\n"
    "\n"
    "  --diff-image OUT.png  write EXPECTED dimmed to grey, with the pixels off by more\n"
    "                        than 8 levels in red: where two frames differ\n"
    "  --help     this text\n"
    "  --version  the version and the commit it was built from\n"
    "\n"
    "Exit status: 0 within the limits, 1 different, 2 bad arguments or an unreadable file.\n";
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words;
  std::string diffImage;
  cli::Parser args("pngdiff", kHelp);
  args.text("--diff-image", &diffImage);
  args.positionals(&words);
  args.parseOrExit(argc, argv);
  if (words.size() < 2 || words.size() > 4) {
    return cli::usageError("takes two PNG files and up to two limits");
  }
  double limits[2] = {1.0, 0.005};
  for (size_t i = 2; i < words.size(); ++i) {
    if (!cli::parseNumber(words[i], limits[i - 2]) || limits[i - 2] < 0.0) {
      return cli::usageError("a limit is a number of at least 0, not '" + words[i] + "'");
    }
  }
  const double maxMean = limits[0];
  const double maxShare = limits[1];
  ImageBuffer a, b;
  for (int i = 0; i < 2; ++i) {
    if (read_png(words[i].c_str(), i == 0 ? &a : &b, false) != 0) {
      delete[] a.pixels;
      std::fprintf(stderr, "pngdiff: cannot read %s as a PNG file\n", words[i].c_str());
      return cli::kBadUsage;
    }
  }
  std::unique_ptr<uint8_t[]> ownA(a.pixels), ownB(b.pixels);
  if (a.width != b.width || a.height != b.height || a.channels != b.channels) {
    std::fprintf(stderr, "pngdiff: %s is %dx%dx%d, %s is %dx%dx%d\n", words[0].c_str(), a.width,
                 a.height, a.channels, words[1].c_str(), b.width, b.height, b.channels);
    return 1;
  }
  double sum = 0.0;
  long off = 0;
  ImageBuffer marked;
  if (!diffImage.empty()) alloc_image(&marked, a.width, a.height, 3);
  std::unique_ptr<uint8_t[]> ownMarked(marked.pixels);
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
      if (marked.pixels) {
        uint8_t* to = marked.pixels + static_cast<size_t>(y) * marked.stride + x * 3;
        const int grey = (pb[x * b.channels] + pb[x * b.channels + (b.channels > 1)] +
                          pb[x * b.channels + (b.channels > 2 ? 2 : 0)]) /
                         12;
        to[0] = pixelOff ? 255 : static_cast<uint8_t>(grey);
        to[1] = pixelOff ? 0 : static_cast<uint8_t>(grey);
        to[2] = pixelOff ? 0 : static_cast<uint8_t>(grey);
      }
    }
  }
  const double pixels = static_cast<double>(a.width) * a.height;
  const double mean = sum / (pixels * a.channels);
  const double share = off / pixels;
  const bool pass = mean <= maxMean && share <= maxShare;
  std::printf(
      "%s: mean difference %.3f levels (limit %.3f), %.4f %% of pixels off by more than %d "
      "(limit %.4f %%): %s\n",
      words[0].c_str(), mean, maxMean, 100.0 * share, kLevels, 100.0 * maxShare,
      pass ? "ok" : "DIFFERS");
  if (marked.pixels) write_png(diffImage.c_str(), marked);
  return pass ? 0 : 1;
}
