// The whole show at a glance: renders every frame through the deterministic sound layer,
// measures what a viewer would see in each (FrameStats.h), and writes a table by scene
// (showreport.md) and a film strip of one labelled thumbnail per second (filmstrip.png).
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/Demo.h"
#include "cli/Cli.h"
#include "offline/FrameLoop.h"
#include "offline/OfflineShow.h"
#include "offline/ShowTime.h"
#include "scenes/Timeline.h"
#include "sheet/Thumbnails.h"
#include "showreport/FrameStats.h"
#include "text/Canvas.h"
#include "text/Text.h"

namespace {
constexpr int kThumbWidth = 128;  // pixels: an eighth of the frame each way
constexpr int kThumbHeight = 96;
constexpr int kLabelHeight = 18;
constexpr int kGap = 4;

// Blank by design: the opening's last seconds (black triangles over black once the model
// has gone) and the closing's tail (a white picture once the logo has left the view).
std::vector<std::pair<double, double>> designedBlank(SceneIndex scene) {
  if (scene == kOpening) return {{kOpeningModelGone, sceneStart(kWord)}};
  if (scene == kClosing) return {{kClosingLogoGone, kShowEnd}};
  return {};
}

// The word scene's star field without a word, on the first pass through the scene: the
// stars are drawn at the point size start-up leaves, 1 pixel (the tunnel sets 5 only
// later), and the faint 1-2 kHz band blurs them a little.
const std::vector<std::pair<double, double>> kFirstPassStars = {
    {sceneStart(kWord), kFirstWordStart}, {kLastWordEnd, sceneStart(kCloud)}};

// Minimum and median of one measure over the frames of the first-pass stars.
struct Spread {
  double min = 0.0;
  double median = 0.0;
};
Spread starsSpread(const std::vector<double>& times, const std::vector<FrameStats>& stats,
                   double FrameStats::*measure) {
  std::vector<double> values;
  for (size_t i = 0; i < times.size(); ++i) {
    for (const auto& span : kFirstPassStars) {
      if (times[i] >= span.first && times[i] < span.second) values.push_back(stats[i].*measure);
    }
  }
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  return {values.front(), values[values.size() / 2]};
}

const char* kHelp =
    "usage: showreport [--fps RATE] [--out-dir DIR] [--columns N] [--data DIR]\n"
    "       showreport --schedule\n"
    "\n"
    "Renders every frame of the show through the deterministic sound layer and reports\n"
    "what a viewer sees. A frame shows something when the spread between the 1st and the\n"
    "99.5th percentile of its luma is at least 0.15 of full scale, or when at least 0.2 %\n"
    "of its pixels are 0.05 of full scale or more away from its median luma.\n"
    "\n"
    "  --fps RATE     frames per second of music time (default 60)\n"
    "  --out-dir DIR  an existing folder for showreport.md and filmstrip.png (default:\n"
    "                 the current folder; the committed ones are in docs)\n"
    "  --columns N    thumbnails per row of the film strip (default 12)\n"
    "  --data DIR     the show's data folder (default: ./data, or the source tree's)\n"
    "  --schedule     print the scenes, one a line, and exit: NAME START END followed by\n"
    "                 the bands the scene reads as LOW-HIGH (Hz); for scripts\n"
    "  --help         this text\n"
    "  --version      the version and the commit it was built from\n"
    "\n"
    "Progress goes to stderr. Exit status: 0 done, 1 failed, 2 bad options, 130\n"
    "interrupted (Ctrl-C), 143 terminated (SIGTERM); an interrupted run writes nothing.\n";

// One scene a line, for scripts: "words 28.1 63 200-400 1000-2000".
void printSchedule() {
  for (const SceneSchedule& scene : kSchedule) {
    std::printf("%s %.10g %.10g", scene.name, scene.start, scene.end);
    for (int i = 0; i < scene.bandCount; ++i) {
      std::printf(" %d-%d", scene.bands[i].lowHz, scene.bands[i].highHz);
    }
    std::printf("\n");
  }
}

std::string spanText(const BlankSpan& span) {
  if (span.seconds() <= 0.0) return "none";
  return cli::formatted("%.2f s (%.2f-%.2f)", span.seconds(), span.from, span.to);
}

bool writeReport(const std::string& path, double fps, const std::vector<SceneSummary>& summaries,
                 const Spread& brightest, const Spread& lit, double renderSeconds, int64_t frames,
                 std::string& error) {
  char date[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y-%m-%d", std::gmtime(&now));
  std::string text = cli::formatted(
      "# The show as a viewer sees it\n\n"
      "Made by `showreport` (tools/showreport) on %s: every frame of the show at %g\n"
      "frames per second (%lld frames, rendered in %.0f s), through the deterministic\n"
      "sound layer, as a playthrough from the start draws them. A frame *shows\n"
      "something* when the spread between the 1st and the 99.5th percentile of its\n"
      "luma is at least 0.15 of full scale, or when at least 0.2 %% of its pixels are\n"
      "0.05 of full scale or more away from its median luma: sparse, dim points on\n"
      "black count; a flat, all-white or all-black picture, or a faint ripple, does\n"
      "not. *White* and *black* frames are those with at least 95 %% of their pixels\n"
      "within 5 %% of full white or full black.\n\n"
      "Blank by design: the opening from %g s (black triangles over black once the\n"
      "model has gone) and the closing from %g s (a white picture once the logo\n"
      "has left the view). The last column leaves those spans out.\n\n"
      "| scene | span (s) | frames | showing something | white frames | black frames | "
      "longest blank stretch | longest outside the designed blanks |\n"
      "|---|---|---|---|---|---|---|---|\n",
      date, fps, static_cast<long long>(frames), renderSeconds, kOpeningModelGone,
      kClosingLogoGone);
  for (const SceneSummary& s : summaries) {
    text += cli::formatted("| %s | %.2f-%.2f | %lld | %.1f %% | %lld | %lld | %s | %s |\n",
                           s.name.c_str(), s.start, s.end, static_cast<long long>(s.frames),
                           100.0 * s.showingShare(), static_cast<long long>(s.whiteFrames),
                           static_cast<long long>(s.blackFrames), spanText(s.longestBlank).c_str(),
                           spanText(s.longestUndesignedBlank).c_str());
  }
  text += cli::formatted(
      "\nDim by design: the word scene's first pass. Until the tunnel has run once, the\n"
      "stars are drawn at the point size start-up leaves, one pixel (the tunnel sets 5,\n"
      "which a later visit would keep), softened by a blur that follows the faint\n"
      "1-2 kHz band. Over the stretches without a word (%.2f-%.2f s and\n"
      "%.2f-%.2f s), as fractions of full scale (the minimum is the scene's first\n"
      "frame: the stars fade in from black over its first second):\n\n"
      "| measure | minimum | median |\n|---|---|---|\n"
      "| brightest pixel (luma) | %.3f | %.3f |\n"
      "| share of pixels at 0.05 or more | %.2f %% | %.2f %% |\n"
      "\nOne frame per second, labelled with its time; a red frame marks a blank one.\n\n"
      "![film strip](filmstrip.png)\n",
      kFirstPassStars[0].first, kFirstPassStars[0].second, kFirstPassStars[1].first,
      kFirstPassStars[1].second, brightest.min, brightest.median, 100.0 * lit.min,
      100.0 * lit.median);
  return cli::writeTextWhole(path, text, error);
}

constexpr int kCellWidth = kThumbWidth + 2 * kGap;
constexpr int kCellHeight = kThumbHeight + kLabelHeight + 2 * kGap;
constexpr int kStripSeconds = static_cast<int>(kShowEnd);  // a thumbnail each, from 0 s

// The film strip's thumbnail of second `second`, labelled with it, framed in red when blank.
void paintCell(Canvas& strip, const Font& font, int second, int columns, const uint8_t* rgb,
               bool showsSomething) {
  const int left = (second % columns) * kCellWidth + kGap;
  const int top = (second / columns) * kCellHeight + kGap + kLabelHeight;
  // The frame 2 pixels wide: red under the thumbnail, which covers all but the frame.
  for (int y = top - 2; !showsSomething && y < top + kThumbHeight + 2; ++y) {
    for (int x = left - 2; x < left + kThumbWidth + 2; ++x) strip.set(x, y, {0.9f, 0.1f, 0.1f});
  }
  paintThumbnail(strip, left, top, kThumbWidth, kThumbHeight, rgb, screenWidth, screenHeight);
  paintLabel(strip, font, std::to_string(second) + " s", left, top - 5, 12, {0.85f, 0.85f, 0.85f});
}

// `times` and `stats`: every frame's, in playing order.
std::vector<SceneSummary> summariseScenes(const std::vector<double>& times,
                                          const std::vector<FrameStats>& stats,
                                          const FrameRate& rate) {
  std::vector<SceneSummary> summaries;
  for (const SceneSchedule& scene : kSchedule) {
    std::vector<double> sceneTimes;
    std::vector<FrameStats> sceneStats;
    for (size_t i = 0; i < times.size(); ++i) {
      if (sceneAt(static_cast<float>(times[i])) != scene.index) continue;
      sceneTimes.push_back(times[i]);
      sceneStats.push_back(stats[i]);
    }
    // Each scene ends where the next starts, the last at the show's end.
    summaries.push_back(summarise(scene.name, scene.start, scene.end, designedBlank(scene.index),
                                  sceneTimes, sceneStats, 1.0 / rate.fps));
  }
  return summaries;
}

// Renders every frame of the show at `rate` in playing order: its time and measures into
// `times` and `stats`, and the first frame at or after each whole second into `strip`.
LoopResult measureFrames(OfflineShow& show, const FramePlan& plan, const Font& font, int columns,
                         Canvas& strip, std::vector<double>& times,
                         std::vector<FrameStats>& stats) {
  int nextSecond = 0;
  return forEachFrame(show, plan, PixelLayout::kRgb, "showreport", [&](const LoopFrame& frame) {
    times.push_back(frame.seconds);
    stats.push_back(measureFrame(frame.pixels.data(), screenWidth, screenHeight));
    if (nextSecond < kStripSeconds && frame.seconds >= nextSecond - 1e-9) {
      paintCell(strip, font, nextSecond++, columns, frame.pixels.data(),
                stats.back().showsSomething());
    }
    return true;
  });
}
}  // namespace

int main(int argc, char** argv) {
  FrameRate rate;
  std::string outDir = ".";
  std::string data;
  int columns = 12;
  cli::Parser args("showreport", kHelp);
  args.number("--fps", &rate.fps, 1.0, 1000.0);
  args.text("--out-dir", &outDir);
  args.integer("--columns", &columns, 1, kStripSeconds);
  args.text("--data", &data);
  bool schedule = false;
  args.flag("--schedule", &schedule);
  args.parseOrExit(argc, argv);
  if (schedule) {
    printSchedule();
    return 0;
  }

  // Both outputs are checked before the first of the show's thousands of frames.
  std::string error;
  outDir = cli::absolutePath(outDir);
  const std::string reportPath = outDir + "/showreport.md";
  const std::string stripPath = outDir + "/filmstrip.png";
  if (!cli::prepareOutputDir(outDir, false, error) || !cli::checkOutputFile(reportPath, error) ||
      !cli::checkOutputFile(stripPath, error)) {
    return cli::fail(error);
  }
  Font font;
  if (!font.open(kLabelFontPath, error)) return cli::fail(error);
  cli::startOffline(cli::absolutePath(data));
  OfflineShow show;
  if (!show.start(error)) return cli::fail(error);

  const int64_t total = rate.firstAtOrAfter(kShowEnd);
  Canvas strip(columns * kCellWidth, (kStripSeconds + columns - 1) / columns * kCellHeight);
  strip.fill({0.08f, 0.08f, 0.09f});
  std::vector<double> times;
  std::vector<FrameStats> stats;
  const LoopResult loop =
      measureFrames(show, FramePlan::span(rate, 0, total), font, columns, strip, times, stats);
  if (loop.ending != LoopResult::kDone) {
    return reportInterrupted("showreport", loop, total, "; nothing written");
  }
  const std::vector<SceneSummary> summaries = summariseScenes(times, stats, rate);
  const Spread brightest = starsSpread(times, stats, &FrameStats::brightest);
  const Spread lit = starsSpread(times, stats, &FrameStats::lit);
  if (!writeReport(reportPath, rate.fps, summaries, brightest, lit, loop.seconds, total, error)) {
    return cli::fail(error);
  }
  if (!strip.writePng(stripPath, error)) return cli::fail(error);
  for (const SceneSummary& s : summaries) {
    std::printf("%-8s %5.1f %% showing something, longest blank %s, outside designed %s\n",
                s.name.c_str(), 100.0 * s.showingShare(), spanText(s.longestBlank).c_str(),
                spanText(s.longestUndesignedBlank).c_str());
  }
  std::printf(
      "first-pass stars: brightest %.3f min, %.3f median; lit %.2f %% min, %.2f %% median\n",
      brightest.min, brightest.median, 100.0 * lit.min, 100.0 * lit.median);
  std::printf("wrote %s and %s (%lld frames in %.0f s)\n", reportPath.c_str(), stripPath.c_str(),
              static_cast<long long>(total), loop.seconds);
  return 0;
}
