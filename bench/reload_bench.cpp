// Material-reload memory benchmark: the show's start-up on a hidden window, then the L
// key's loadMaterials() over and over. Prints the resident set size (MB) after start-up
// and every 50 reloads, and the growth per reload over the second half of the run (the
// first reloads may still fill driver caches). Figures, not pass/fail.
//
// Usage: reload_bench [RELOADS]   (see kHelp)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "MaterialManager.h"
#include "app/Demo.h"
#include "audio/Backends.h"
#include "cli/Cli.h"

namespace {
const char* const kHelp =
    "usage: reload_bench [RELOADS]\n"
    "\n"
    "Starts the show on a hidden window and reloads its material files (the L key) RELOADS\n"
    "times (default 300, at least 2), printing the resident memory every 50 reloads and\n"
    "the growth per reload over the second half. Figures, not pass/fail.\n"
    "\n"
    "  --data DIR  the show's data folder (default: ./data, or the source tree's)\n"
    "  --help      this text\n"
    "  --version   the version and the commit it was built from\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 bad arguments, 130 interrupted (Ctrl-C), 143\n"
    "terminated (SIGTERM).\n";
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
  int reloads = kDefaultReloads;
  bool haveReloads = false;
  std::string data;
  cli::Parser args("reload_bench", kHelp);
  args.text("--data", &data);
  args.positional([&](const std::string& value, std::string& error) {
    long n = 0;
    if (haveReloads || !cli::parseInteger(value, n) || n < 2 || n > 1000000) {
      error = "takes one count of reloads from 2 to 1000000, not '" + value + "'";
      return false;
    }
    reloads = static_cast<int>(n);
    haveReloads = true;
    return true;
  });
  args.parseOrExit(argc, argv);
  cli::startOffline(cli::absolutePath(data));
  // The show's own start-up on a hidden window; the music is opened on the deterministic
  // sound layer, which plays nothing.
  static ManualAudioBackend silence;
  if (startShow(ShowStart{true, &silence}) != StartFailure::kNone) {
    return cli::fail("no OpenGL window could be made");
  }
  const double startMb = residentMegabytes();
  std::printf("after start-up: %.1f MB resident\n", startMb);
  double halfMb = startMb;
  for (int i = 1; i <= reloads; ++i) {
    if (cli::stopRequested()) {
      std::fprintf(stderr, "reload_bench: interrupted after %d of %d reloads\n", i - 1, reloads);
      return cli::stopStatus();
    }
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
