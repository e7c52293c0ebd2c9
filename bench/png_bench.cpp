// How fast a 1024 x 768 show frame is written as PNG, for a few zlib levels and row
// filters: median milliseconds per frame and file size, over the scene frames in docs/.
// The offline tools' writer (tools/offline/FastPng.h) uses the configuration this picks;
// the last two rows measure it and the show's write_png (libpng's defaults) as built.
//
// usage: png_bench [repetitions]   (run from the repository root)
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "images/Image.h"
#include "offline/FastPng.h"

namespace {
struct Config {
  const char* name;
  int level;   // zlib level, -1 libpng's default
  int filter;  // PNG_FILTER_* mask, -1 libpng's default (adaptive)
};

bool writeWith(const char* path, const ImageBuffer& image, const Config& config) {
  std::string error;
  return writePngWith(path, image, config.level, config.filter, error);
}

long fileSize(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return -1;
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fclose(f);
  return size;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::atoi(argv[1]) : 5;
  std::vector<ImageBuffer> frames;
  for (int i = 1; i <= 6; ++i) {
    static const char* const kNames[] = {"opening", "words",  "cloud",
                                         "columns", "tunnel", "closing"};
    const std::string path = "docs/scene-" + std::to_string(i) + "-" + kNames[i - 1] + ".png";
    ImageBuffer image;
    if (read_png(path.c_str(), &image, false) != 0 || image.channels != 3) {
      std::fprintf(stderr, "png_bench: cannot read %s as RGB\n", path.c_str());
      return 1;
    }
    frames.push_back(image);
  }
  const Config configs[] = {
      {"zlib default, adaptive filters (before)", -1, -1},
      {"level 1, no filter", 1, PNG_FILTER_NONE},
      {"level 1, sub", 1, PNG_FILTER_SUB},
      {"level 1, up", 1, PNG_FILTER_UP},
      {"level 1, paeth", 1, PNG_FILTER_PAETH},
      {"level 2, up", 2, PNG_FILTER_UP},
      {"level 3, up", 3, PNG_FILTER_UP},
  };
  const char* out = "/tmp/png_bench.png";
  std::printf("| configuration | median ms per frame | mean size (KB) |\n|---|---|---|\n");
  auto measure = [&](const char* name, auto write) {
    std::vector<double> ms;
    double bytes = 0;
    for (int r = 0; r < repetitions; ++r) {
      for (const ImageBuffer& frame : frames) {
        const auto start = std::chrono::steady_clock::now();
        write(frame);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        if (r == 0) bytes += fileSize(out);
      }
    }
    std::printf("| %s | %.1f | %.0f |\n", name, median(ms), bytes / frames.size() / 1024);
  };
  for (const Config& config : configs) {
    measure(config.name, [&](const ImageBuffer& frame) { writeWith(out, frame, config); });
  }
  measure("writeFastPng (the tools) as built", [&](const ImageBuffer& frame) {
    std::string error;
    writeFastPng(out, frame, error);
  });
  measure("write_png (the show) as built",
          [&](const ImageBuffer& frame) { write_png(out, frame); });
  return 0;
}
