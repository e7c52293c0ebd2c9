// bandtable: how loud the show's music is in the bands each scene reads.
//
//   bandtable [music file] [-o markdown file]
//
// Prints (or writes) a Markdown table of the median, 95th percentile and maximum of the
// band loudness, the share of frames in which the band sounds (above 0.02) and its mean
// change from one frame to the next, sampled at 60 frames per second over each scene's
// span. Exits with 1 when a band misses the level rules or its scene's own limits (see
// BandStats.h), so it doubles as a check.
#include <cstdio>
#include <cstring>
#include <string>

#include "BandStats.h"

namespace {

std::string formatTable(const std::vector<BandStat>& stats, int& problems) {
  char line[256];
  std::snprintf(line, sizeof line,
                "| scene | span (s) | band (Hz) | median | p95 | max | > %g | step | check |\n"
                "|---|---|---|---|---|---|---|---|---|\n",
                kAudible);
  std::string out = line;
  problems = 0;
  for (const BandStat& s : stats) {
    std::string problem = bandProblem(s);
    std::string check = s.informative ? "(info)" : problem.empty() ? "ok" : problem;
    if (!s.informative && !problem.empty()) ++problems;
    std::snprintf(line, sizeof line,
                  "| %s | %g-%g | %d-%d | %.3f | %.3f | %.3f | %.0f %% | %.4f | %s |\n",
                  s.scene.c_str(), s.start, s.end, s.band.lowHz, s.band.highHz, s.median, s.p95,
                  s.max, 100.0 * s.audible, s.step, check.c_str());
    out += line;
  }
  return out;
}

// One line per band that its scene holds to more than the level rules.
std::string formatLimits(const std::vector<SceneBands>& scenes) {
  const BandLimits none;
  std::string out;
  char line[512];
  for (const SceneBands& scene : scenes) {
    for (const Band& band : scene.bands) {
      const BandLimits& l = band.limits;
      std::string rules;
      if (l.maxMedian < none.maxMedian) {
        std::snprintf(line, sizeof line, "median at most %g", l.maxMedian);
        rules += line;
      }
      if (l.minAudible > none.minAudible || l.maxAudible < none.maxAudible) {
        std::snprintf(line, sizeof line, "%s%.0f-%.0f %% of frames above %g",
                      rules.empty() ? "" : ", ", 100.0 * l.minAudible, 100.0 * l.maxAudible,
                      kAudible);
        rules += line;
      }
      if (l.maxStep < none.maxStep) {
        std::snprintf(line, sizeof line, "%smean step at most %g", rules.empty() ? "" : ", ",
                      l.maxStep);
        rules += line;
      }
      if (rules.empty()) continue;
      std::snprintf(line, sizeof line, "- %s, %d-%d Hz: %s (%s).\n", scene.scene.c_str(),
                    band.lowHz, band.highHz, rules.c_str(), l.reason.c_str());
      out += line;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string music = "data/deruz.mp3";
  std::string output;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "-o")) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "usage: bandtable [music file] [-o markdown file]\n");
        return 2;
      }
      output = argv[++i];
    } else {
      music = argv[i];
    }
  }
  std::vector<BandStat> stats;
  std::string error;
  if (!measureBands(music, showBands(), stats, error)) {
    std::fprintf(stderr, "bandtable: %s\n", error.c_str());
    return 1;
  }
  int problems = 0;
  std::string table = formatTable(stats, problems);
  if (output.empty()) {
    std::fputs(table.c_str(), stdout);
  } else {
    std::FILE* file = std::fopen(output.c_str(), "wb");
    if (!file) {
      std::fprintf(stderr, "bandtable: cannot write %s\n", output.c_str());
      return 1;
    }
    std::fputs("# Band loudness of data/deruz.mp3\n\n", file);
    std::fputs(
        "Made by `bandtable` (tools/assetgen). Each scene's bands are read with the show's\n"
        "own `MusicStream::peakInBand` at 60 frames per second over the scene's span. A band\n"
        "passes when its 95th percentile reaches 0.2, its maximum stays below 0.95 and its\n"
        "median stays below 0.85 of the 95th percentile. The row marked (info) samples only\n"
        "the times when the opening scene reads its band. \"> 0.02\" is the share of frames\n"
        "in which the band sounds; \"step\" is its mean absolute change from one frame to the\n"
        "next.\n\n",
        file);
    std::string limits = formatLimits(showBands());
    if (!limits.empty()) {
      std::fputs("Bands that their scene holds to more than that:\n\n", file);
      std::fputs((limits + "\n").c_str(), file);
    }
    std::fputs(table.c_str(), file);
    std::fclose(file);
  }
  if (problems) std::fprintf(stderr, "bandtable: %d band(s) miss their rules\n", problems);
  return problems ? 1 : 0;
}
