// lumorak-preview's costs: how long from saving a material to the first frame that shows
// it, and what the overlay adds to a frame. The preview runs on a hidden window, paused
// in the tunnel, over a copy of the show's data (so the edits never touch data/).
// Figures, not pass/fail: medians, with the spread.
//
// Usage: preview_bench [--saves N] [--frames N]   (see kHelp)
#include <SDL2/SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Clocks.h"
#include "cli/Cli.h"
#include "preview/Preview.h"

namespace fs = std::filesystem;

namespace {
const char* const kHelp =
    "usage: preview_bench [--saves N] [--frames N]\n"
    "\n"
    "Runs lumorak-preview on a hidden window, paused at 110 s (the tunnel), over a copy of\n"
    "the show's data. Saves data/materials/shadow.mat N times (default 20), each with\n"
    "another shadow level, and times each save to the first frame that differs; then\n"
    "draws N frames (default 120) with the overlay and without. Prints medians.\n"
    "\n"
    "  --data DIR  the show's data folder (default: ./data, or the source tree's)\n"
    "  --help      this text\n"
    "  --version   the version and the commit it was built from\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 bad arguments, 130 interrupted (Ctrl-C), 143\n"
    "terminated (SIGTERM).\n";
constexpr const char* kShadow = "data/materials/shadow.mat";

double msSince(double startSeconds) { return (monotonicSeconds() - startSeconds) * 1000.0; }

void report(const char* what, const std::vector<double>& values) {
  std::printf("%-34s median %7.2f ms   min %7.2f   max %7.2f   (%zu)\n", what, median(values),
              *std::min_element(values.begin(), values.end()),
              *std::max_element(values.begin(), values.end()), values.size());
}
}  // namespace

int main(int argc, char** argv) {
  int saves = 20;
  int frames = 120;
  std::string data;
  cli::Parser args("preview_bench", kHelp);
  args.integer("--saves", &saves, 1, 1000);
  args.integer("--frames", &frames, 1, 100000);
  args.text("--data", &data);
  args.parseOrExit(argc, argv);
  cli::startOffline(cli::absolutePath(data));

  // A copy of data/ to edit, removed at the end whatever happens.
  const fs::path root = fs::temp_directory_path() / ("preview_bench." + std::to_string(getpid()));
  struct Remove {
    fs::path path;
    ~Remove() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } remove{root};
  fs::create_directories(root);
  fs::copy("data", root / "data", fs::copy_options::recursive);
  fs::current_path(root);

  PreviewOptions options;
  options.from = 110.0;
  options.paused = true;
  options.hidden = true;
  options.sound = false;
  Preview preview(options);
  std::string error;
  if (!preview.start(error)) return cli::fail(error);
  if (!preview.frame()) return cli::stopStatus();

  std::stringstream original;
  original << std::ifstream(kShadow).rdbuf();
  const std::string good = original.str();
  const std::string marker = "shadowedLevel = 0.5";
  if (good.find(marker) == std::string::npos) return cli::fail("shadow.mat has no shadowedLevel");

  std::vector<double> latency;
  std::vector<double> renders;
  for (int i = 0; i < saves && !cli::stopRequested(); ++i) {
    std::string edited = good;
    edited.replace(edited.find(marker), marker.size(),
                   "shadowedLevel = 0." + std::to_string(1 + i % 8));
    const std::vector<uint8_t> before = preview.showPixels();
    const double saved = monotonicSeconds();
    std::ofstream(kShadow, std::ios::binary | std::ios::trunc) << edited;
    int passes = 0;
    while (preview.showPixels() == before && passes < 1000) {
      if (!preview.frame()) return cli::stopStatus();
      ++passes;
    }
    latency.push_back(msSince(saved));
    renders.push_back(preview.showMs());
    if (passes != 1) std::printf("save %d: seen after %d frames\n", i + 1, passes);
  }
  std::ofstream(kShadow, std::ios::binary | std::ios::trunc) << good;
  preview.frame();

  // Paused, nothing changes: a frame is the window's redraw alone.
  std::vector<double> with;
  std::vector<double> without;
  for (int i = 0; i < frames && !cli::stopRequested(); ++i) {
    const double start = monotonicSeconds();
    preview.frame();
    (preview.overlayShown() ? with : without).push_back(msSince(start));
    preview.press(SDLK_h);  // on and off by turns, so load drifts hit both alike
  }
  if (cli::stopRequested()) return cli::stopStatus();
  report("save to changed frame", latency);
  report("  of which the tunnel frame", renders);
  report("window frame, overlay on", with);
  report("window frame, overlay off", without);
  std::printf("overlay cost per frame (median difference): %.2f ms\n",
              median(with) - median(without));
  return 0;
}
