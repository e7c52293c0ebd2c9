// How fast a 1024 x 768 show frame is written as PNG, for a few zlib levels and row
// filters: median milliseconds per frame and file size, over the scene frames in docs/.
// The offline tools' writer (tools/offline/FastPng.h) uses the configuration this picks;
// the last two rows measure it and the show's write_png (libpng's defaults) as built.
//
// usage: png_bench [REPETITIONS]   (see kHelp)
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "images/Image.h"
#include "offline/FastPng.h"
#include "offline/FramePng.h"

namespace {
const char* const kHelp =
    "usage: png_bench [REPETITIONS]\n"
    "\n"
    "Times writing the six scene frames in docs/ (of the source tree it was built from, or\n"
    "the current folder's) as PNG for a few zlib levels and row filters, REPETITIONS times\n"
    "each (default 5, at most 1000), and prints a Markdown table on stdout. Writes only a\n"
    "temporary file, removed at the end.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version and the commit it was built from\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 bad arguments, 130 interrupted (Ctrl-C), 143\n"
    "terminated (SIGTERM).\n";

struct Config {
  const char* name;
  int level;   // zlib level, -1 libpng's default
  int filter;  // PNG_FILTER_* mask, -1 libpng's default (adaptive)
};

bool writeWith(const char* path, const ImageBuffer& image, const Config& config) {
  std::string error;
  return writePngWith(path, cli::temporaryNameFor(path), image, config.level, config.filter, error);
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
  int repetitions = 5;
  bool haveRepetitions = false;
  cli::Parser args("png_bench", kHelp);
  args.positional([&](const std::string& value, std::string& error) {
    long n = 0;
    if (haveRepetitions || !cli::parseInteger(value, n) || n < 1 || n > 1000) {
      error = "takes one count of repetitions from 1 to 1000, not '" + value + "'";
      return false;
    }
    repetitions = static_cast<int>(n);
    haveRepetitions = true;
    return true;
  });
  args.parseOrExit(argc, argv);
  cli::catchStopSignals();
  std::string error;
  // The scene frames live in docs/ beside data/.
  if (!cli::enterDataRoot("", error)) return cli::fail(error);
  std::vector<ImageBuffer> frames;
  for (int i = 1; i <= 6; ++i) {
    static const char* const kNames[] = {"opening", "words",  "cloud",
                                         "columns", "tunnel", "closing"};
    const std::string path = "docs/scene-" + std::to_string(i) + "-" + kNames[i - 1] + ".png";
    ImageBuffer image;
    if (read_png(path.c_str(), &image, false) != 0 || image.channels != 3) {
      return cli::fail("cannot read " + path + " as RGB");
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
  const std::string outPath = "/tmp/png_bench." + std::to_string(getpid()) + ".png";
  const char* out = outPath.c_str();
  cli::addTemporary(outPath);
  std::printf("| configuration | median ms per frame | mean size (KB) |\n|---|---|---|\n");
  auto measure = [&](const char* name, auto write) {
    std::vector<double> ms;
    double bytes = 0;
    for (int r = 0; r < repetitions && !cli::stopRequested(); ++r) {
      for (const ImageBuffer& frame : frames) {
        const auto start = std::chrono::steady_clock::now();
        write(frame);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        if (r == 0) bytes += fileSize(out);
      }
    }
    if (ms.empty()) return;  // stopped before the first write
    std::printf("| %s | %.1f | %.0f |\n", name, median(ms), bytes / frames.size() / 1024);
  };
  for (const Config& config : configs) {
    if (cli::stopRequested()) break;
    measure(config.name, [&](const ImageBuffer& frame) { writeWith(out, frame, config); });
  }
  if (!cli::stopRequested())
    measure("writeFastPng (the tools) as built", [&](const ImageBuffer& frame) {
      std::string error;
      writeFastPng(out, frame, error);
    });
  if (!cli::stopRequested())
    measure("write_png (the show) as built",
            [&](const ImageBuffer& frame) { write_png(out, frame); });
  cli::removeTemporaries();
  for (ImageBuffer& frame : frames) delete[] frame.pixels;
  return cli::stopRequested() ? cli::stopStatus() : 0;
}
