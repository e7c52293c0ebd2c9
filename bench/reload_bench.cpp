// Material-reload memory benchmark: the show's start-up on a hidden window, then the L
// key's loadMaterials() over and over. Prints the resident set size (MB) after start-up
// and every 50 reloads, and the growth per reload over the second half of the run (the
// first reloads may still fill driver caches). Figures, not pass/fail.
//
// Usage: reload_bench [reloads]   (default 300; run from the repository root: reads data/)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/Demo.h"
#include "app/Window.h"
#include "MaterialManager.h"

namespace {
constexpr int kDefaultReloads = 300;
constexpr int kReportEvery = 50;

double residentMegabytes() {
  long pages = 0;
  long resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0.0;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(f);
  return static_cast<double>(resident) * sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0);
}
}  // namespace

int main(int argc, char** argv) {
  const int reloads = argc > 1 ? std::atoi(argv[1]) : kDefaultReloads;
  if (reloads < 2) {
    std::fprintf(stderr, "reloads must be at least 2\n");
    return 1;
  }
  static GlWindow window;
  window.hidden = true;
  if (!registerWindowClass() || !createGlWindow(window)) {
    std::fprintf(stderr, "no OpenGL window (is DISPLAY set?)\n");
    return 1;
  }
  initDemo();
  const double startMb = residentMegabytes();
  std::printf("after start-up: %.1f MB resident\n", startMb);
  double halfMb = startMb;
  for (int i = 1; i <= reloads; ++i) {
    loadMaterials();
    if (i == reloads / 2) halfMb = residentMegabytes();
    if (i % kReportEvery == 0 || i == reloads) {
      std::printf("after %4d reloads: %.1f MB resident\n", i, residentMegabytes());
    }
  }
  const double endMb = residentMegabytes();
  std::printf("%d reloads: %.1f -> %.1f MB (%+.1f MB); second half %.3f MB per reload\n", reloads,
              startMb, endMb, endMb - startMb, (endMb - halfMb) / (reloads - reloads / 2));
  return 0;
}
