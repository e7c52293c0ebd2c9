// bandtable: how loud the show's music is in the bands each scene reads (see kHelp), as a
// Markdown table; a band that misses its rules (see BandStats.h) or a true peak above
// kMaxTruePeakDb makes it exit 1, so it doubles as a check.
#include <cstdio>
#include <string>

#include "assetgen/BandStats.h"
#include "cli/Cli.h"

namespace {

const char* const kHelp =
    "usage: bandtable [MUSIC.mp3] [-o FILE.md]\n"
    "\n"
    "Measures how loud the music is in the bands each scene reads, at 60 frames per second\n"
    "over each scene's span, and its true peak and loudness, as a Markdown table on stdout\n"
    "or in FILE.md. MUSIC defaults to the show's data/deruz.mp3 (./data, or the source\n"
    "tree's). Exits 1 when a band misses its rules or the true peak is too high, so it\n"
    "doubles as a check.\n"
    "\n"
    "  -o, --out FILE.md  write the table with its explanation into FILE.md\n"
    "  --help             this text\n"
    "  --version          the version and the commit it was built from\n"
    "\n"
    "Exit status: 0 all bands pass, 1 a band or the peak fails, or the run failed, 2 bad\n"
    "arguments.\n";

std::string formatTable(const std::vector<BandStat>& stats, int& problems) {
  std::string out = cli::formatted(
      "| scene | span (s) | band (Hz) | min | median | p95 | max | > %g | step | check |\n"
      "|---|---|---|---|---|---|---|---|---|---|\n",
      kAudible);
  problems = 0;
  for (const BandStat& s : stats) {
    std::string problem = bandProblem(s);
    std::string check = s.informative ? "(info)" : problem.empty() ? "ok" : problem;
    if (!s.informative && !problem.empty()) ++problems;
    out +=
        cli::formatted("| %s | %g-%g | %d-%d | %.4f | %.3f | %.3f | %.4f | %.1f %% | %.4f | %s |\n",
                       s.scene.c_str(), s.start, s.end, s.band.lowHz, s.band.highHz, s.min,
                       s.median, s.p95, s.max, 100.0 * s.audible, s.step, check.c_str());
  }
  return out;
}

// The limits beyond the level rules, as a phrase; empty when there are none.
std::string describeLimits(const BandLimits& l) {
  const BandLimits none;
  std::string rules;
  // Appends one printf-formatted rule.
  auto add = [&rules](const char* format, auto... values) {
    rules += (rules.empty() ? "" : ", ") + cli::formatted(format, values...);
  };
  if (l.minMedian > none.minMedian && l.maxMedian < none.maxMedian) {
    add("median %g-%g", l.minMedian, l.maxMedian);
  } else if (l.maxMedian < none.maxMedian) {
    add("median at most %g", l.maxMedian);
  } else if (l.minMedian > none.minMedian) {
    add("median at least %g", l.minMedian);
  }
  if (l.minLevel > none.minLevel || l.maxLevel < none.maxLevel) {
    add("every frame %g-%g", l.minLevel, l.maxLevel);
  }
  if (l.neverSilent) add("%s", "never 0");
  if (l.minAudible > none.minAudible || l.maxAudible < none.maxAudible) {
    add("%.0f-%.0f %% of frames above %g", 100.0 * l.minAudible, 100.0 * l.maxAudible, kAudible);
  }
  if (l.maxStep < none.maxStep) add("mean step at most %g", l.maxStep);
  return rules;
}

// One line per band that its scene holds to more than the level rules; neighbouring bands
// of a scene held alike share a line.
std::string formatLimits(const std::vector<SceneBands>& scenes) {
  std::string out;
  for (const SceneBands& scene : scenes) {
    for (size_t b = 0; b < scene.bands.size();) {
      const Band& band = scene.bands[b];
      const std::string rules = describeLimits(band.limits);
      size_t end = b + 1;  // past the last band sharing this line
      while (end < scene.bands.size() && scene.bands[end].lowHz == scene.bands[end - 1].highHz &&
             scene.bands[end].limits.reason == band.limits.reason &&
             describeLimits(scene.bands[end].limits) == rules) {
        ++end;
      }
      if (!rules.empty()) {
        std::string range =
            std::to_string(band.lowHz) + "-" + std::to_string(scene.bands[end - 1].highHz) + " Hz";
        if (end - b > 1) range += ", each of its " + std::to_string(end - b) + " bands";
        out +=
            "- " + scene.scene + ", " + range + ": " + rules + " (" + band.limits.reason + ").\n";
      }
      b = end;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string music;
  std::string output;
  cli::Parser args("bandtable", kHelp);
  args.text("-o", &output);
  args.text("--out", &output);
  args.positional([&music](const std::string& value, std::string& error) {
    if (!music.empty()) {
      return cli::failWith(error, "one music file only, not also '" + value + "'");
    }
    music = value;
    return true;
  });
  args.parseOrExit(argc, argv);
  std::string error;
  if (!output.empty()) {
    if (!cli::checkExtension("-o", output, ".md", error)) return cli::usageError(error);
    output = cli::absolutePath(output);
    if (!cli::checkOutputFile(output, error)) return cli::fail(error);
  }
  if (music.empty()) {
    if (!cli::enterDataRoot("", error)) return cli::fail(error);
    music = "data/deruz.mp3";
  }
  cli::dieOnStopSignals();
  std::vector<BandStat> stats;
  MasterLevels master;
  if (!measureBands(music, showBands(), stats, error) || !measureMaster(music, master, error)) {
    std::fprintf(stderr, "bandtable: %s\n", error.c_str());
    return 1;
  }
  int problems = 0;
  std::string table = formatTable(stats, problems);
  const std::string levels = cli::formatted(
      "True peak %.2f dBTP (at most %g), sample peak %.2f dBFS, integrated loudness %.1f LUFS.\n",
      master.truePeakDb, kMaxTruePeakDb, master.samplePeakDb, master.loudnessLufs);
  const bool peakTooHigh = !(master.truePeakDb <= kMaxTruePeakDb);
  if (output.empty()) {
    std::fputs(levels.c_str(), stdout);
    std::fputs(table.c_str(), stdout);
  } else {
    std::string text =
        "# Band loudness of data/deruz.mp3\n\n"
        "Made by `bandtable` (tools/assetgen). Each scene's bands are read with the show's\n"
        "own `MusicStream::peakInBand` at 60 frames per second over the scene's span. A band\n"
        "passes when its 95th percentile reaches 0.2, its maximum stays below 0.95 and its\n"
        "median stays below 0.85 of the 95th percentile. The row marked (info) samples only\n"
        "the times when the opening scene reads its band. Rows named after a stretch of a\n"
        "scene sample only that stretch; \"before\" and \"after\" (the words) and \"logo in\n"
        "view\" are quiet by design and held only to their own limits. \"min\" is the quietest\n"
        "frame and \"max\" the loudest; \"> 0.02\" is the share of frames in which the band\n"
        "sounds; \"step\" is its mean absolute change from one frame to the next.\n\n";
    const std::string limits = formatLimits(showBands());
    if (!limits.empty()) {
      text += "Bands that their scene holds to more than that:\n\n" + limits + "\n";
    }
    text +=
        "The decoded MP3 (in float, so overs are not clipped away) is metered as EBU R128\n"
        "meters do: the true peak on the signal oversampled four times, the loudness\n"
        "K-weighted and gated. Its true peak must stay at or below -1 dBTP, so that the\n"
        "reconstruction after the decoder never clips.\n\n" +
        levels + "\n" + table;
    if (!cli::writeTextWhole(output, text, error)) return cli::fail(error);
  }
  if (problems) std::fprintf(stderr, "bandtable: %d band(s) miss their rules\n", problems);
  if (peakTooHigh) {
    std::fprintf(stderr, "bandtable: true peak %.2f dBTP is above %g dBTP\n", master.truePeakDb,
                 kMaxTruePeakDb);
  }
  return problems || peakTooHigh ? 1 : 0;
}
