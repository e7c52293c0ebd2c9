// Offline, frame-exact rendering of the show into PNG files, shots/shotNNNN.png by default
// (numbered from 0000 on every run, in time order). Each frame is the one a playthrough at
// 60 frames per second (or --fps) draws at that music time: the earlier frames it builds
// on are rendered first, unsaved. Nothing is played; the picture of a time is the same on
// every run and machine. See kHelp for the options.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "offline/FrameLoop.h"
#include "offline/FramePng.h"
#include "offline/OfflineShow.h"
#include "offline/ShowTime.h"

namespace {
const char* const kHelp =
    "usage: renderframes [options] SECONDS...     one frame per time\n"
    "       renderframes [options] --fps RATE FROM TO\n"
    "                                             every frame of [FROM, TO) at RATE\n"
    "\n"
    "Renders frames of the show at exact music times into OUT-DIR/shotNNNN.png, numbered\n"
    "from 0000 in time order (older files of the same names are replaced). Times run from\n"
    "0 up to 146 s, the end of the show.\n"
    "\n"
    "  --out-dir DIR    where the frames go (default shots; made if missing)\n"
    "  --fps RATE       the frame rate whose history each frame gets (default 60); with\n"
    "                   FROM and TO, every frame of that rate in the span\n"
    "  --lead SECONDS   instead of the exact history, that many seconds of lead-in at 30\n"
    "                   fps before each time (quicker, not exact)\n"
    "  --data DIR       the show's data folder (default: ./data, or the source tree's)\n"
    "  --help           this text\n"
    "  --version        the version and the commit it was built from\n"
    "\n"
    "Prints each file and its time on stdout, progress on stderr. Exit status: 0 done,\n"
    "1 failed, 2 bad options, 130 interrupted (Ctrl-C), 143 terminated (SIGTERM).\n";
}  // namespace

int main(int argc, char** argv) {
  std::vector<double> numbers;  // the times, or FROM and TO with --fps
  FrameRate rate;
  bool haveFps = false;
  double lead = -1.0;
  std::string outDir = "shots";
  std::string data;
  cli::Parser args("renderframes", kHelp);
  args.option("--fps", [&](const std::string& value, std::string& error) {
    if (!cli::parseNumber(value, rate.fps) || rate.fps <= 0.0 || rate.fps > 1000.0) {
      error = "--fps takes a rate above 0 and at most 1000, not '" + value + "'";
      return false;
    }
    haveFps = true;
    return true;
  });
  args.number("--lead", &lead, 0.0, cli::showEnd());
  args.text("--out-dir", &outDir);
  args.text("--data", &data);
  args.positional([&numbers](const std::string& value, std::string& error) {
    double t = 0.0;
    if (!cli::parseNumber(value, t)) {
      error = "a time is a number of seconds, not '" + value + "'";
      return false;
    }
    numbers.push_back(t);
    return true;
  });
  args.parseOrExit(argc, argv);

  std::string error;
  const bool span = haveFps && lead < 0.0;
  if (span && numbers.size() != 2) {
    return cli::usageError("--fps RATE takes the span as FROM TO");
  }
  if (numbers.empty()) return cli::usageError("no time given");
  if (span) {
    if (!cli::checkSpan(numbers[0], numbers[1], error)) return cli::usageError(error);
  } else {
    for (double t : numbers) {
      if (!cli::checkFrameTime("time", t, error)) return cli::usageError(error);
    }
  }
  // The opening builds on every earlier frame, and the tunnel enlarges the targets for
  // good: only an ascending order gives each frame its playthrough picture.
  if (!span) std::sort(numbers.begin(), numbers.end());

  const std::string shownDir = outDir;  // as the user wrote it, for the lines printed
  outDir = cli::absolutePath(outDir);
  if (!cli::prepareOutputDir(outDir, true, error)) return cli::fail(error);
  cli::startOffline(cli::absolutePath(data));

  OfflineShow show;
  if (!show.start(error)) return cli::fail(error + cli::windowHint());
  int saved = 0;
  auto save = [&](const LoopFrame& frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/shot%04d.png", saved);
    if (!writeFramePng(outDir + name, frame.pixels, error)) return false;
    std::printf("%s%s  t = %.3f s\n", shownDir.c_str(), name, frame.seconds);
    std::fflush(stdout);
    ++saved;
    return true;
  };
  auto ended = [&](const LoopResult& loop, int64_t total) {
    if (loop.ending == LoopResult::kFailed) return cli::fail(error);
    if (loop.ending == LoopResult::kDone) return 0;
    std::fprintf(stderr, "renderframes: interrupted: %s holds %d of %lld frames\n",
                 shownDir.c_str(), saved, static_cast<long long>(total));
    return cli::stopStatus();
  };

  if (lead < 0.0) {
    const FramePlan plan = span ? FramePlan::span(rate, rate.firstAtOrAfter(numbers[0]),
                                                  rate.firstAtOrAfter(numbers[1]))
                                : FramePlan::at(rate, numbers);
    return ended(forEachFrame(show, plan, PixelLayout::kRgb, "renderframes", save), plan.count());
  }
  // --lead: a quick, inexact lead-in of 30 frames a second before each time instead.
  std::vector<uint8_t> rgb(OfflineShow::frameBytes(PixelLayout::kRgb));
  for (size_t i = 0; i < numbers.size(); ++i) {
    const double t = numbers[i];
    for (double before = t - lead; before < t; before += 1.0 / 30.0) {
      if (cli::stopRequested()) return ended({LoopResult::kStopped, 0, 0.0}, numbers.size());
      show.renderFrame(std::max(before, 0.0));
    }
    show.renderFrame(t);
    show.readFrame(PixelLayout::kRgb, rgb.data());
    if (!save(LoopFrame{static_cast<int64_t>(i), t, rgb})) return cli::fail(error);
  }
  return 0;
}
