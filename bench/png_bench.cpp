// How fast a 1024 x 768 show frame is written as PNG, for a few zlib levels and row
// filters: median milliseconds per frame and file size, over the scene frames in docs/.
// The show's write_png uses the configuration this picks; the last row measures it.
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

namespace {
struct Config {
  const char* name;
  int level;   // zlib level, -1 libpng's default
  int filter;  // PNG_FILTER_* mask, -1 libpng's default (adaptive)
};

bool writeWith(const char* path, const ImageBuffer& image, const Config& config) {
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  if (config.level >= 0) png_set_compression_level(png, config.level);
  if (config.filter >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, config.filter);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y)
    png_write_row(png, image.pixels + static_cast<size_t>(y) * image.stride);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
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
  for (const Config& config : configs) {
    std::vector<double> ms;
    double bytes = 0;
    for (int r = 0; r < repetitions; ++r) {
      for (const ImageBuffer& frame : frames) {
        const auto start = std::chrono::steady_clock::now();
        writeWith(out, frame, config);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        if (r == 0) bytes += fileSize(out);
      }
    }
    std::printf("| %s | %.1f | %.0f |\n", config.name, median(ms), bytes / frames.size() / 1024);
  }
  std::vector<double> ms;
  double bytes = 0;
  for (int r = 0; r < repetitions; ++r) {
    for (const ImageBuffer& frame : frames) {
      const auto start = std::chrono::steady_clock::now();
      write_png(out, frame);
      ms.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
      if (r == 0) bytes += fileSize(out);
    }
  }
  std::printf("| write_png as built | %.1f | %.0f |\n", median(ms), bytes / frames.size() / 1024);
  return 0;
}
