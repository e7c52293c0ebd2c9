// assetgen: writes the show's generated assets into a data directory (see kHelp). The
// output is a pure function of fixed seeds and parameters. The music (about 17 s of
// synthesis and encoding) is written under a temporary name and renamed when whole:
// Ctrl-C or SIGTERM leaves the old deruz.mp3, never half of a new one.
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "assetgen/Materials.h"
#include "assetgen/Mp3Writer.h"
#include "assetgen/Music.h"
#include "assetgen/Pictures.h"
#include "cli/Cli.h"

namespace {

const char* const kHelp =
    "usage: assetgen DATA-DIR [music] [pictures] [materials]\n"
    "\n"
    "Writes the show's generated assets into DATA-DIR (an existing folder): the music\n"
    "(deruz.mp3), the pictures and the material files (materials/). With no part named,\n"
    "all three. The same files on every run.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version and the commit it was built from\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 bad arguments.\n";

bool makeMusic(const std::string& dataDir) {
  const std::string path = dataDir + "/deruz.mp3";
  std::string error;
  StereoBuffer music = renderMusic(kMusicSeed);
  MixReport report = inspectMix(music);
  std::printf(
      "assetgen: music %.1f s, peak %.3f, true peak %.3f, rms %.3f, %zu samples in the "
      "limiter\n",
      music.frames() / static_cast<double>(kSampleRate), report.peak, report.truePeak, report.rms,
      report.limitedSamples);
  for (size_t s = 0; s < kSections; ++s) {
    std::printf("  section %zu from %7.3f s: peak %.3f, %zu samples in the limiter\n", s,
                kSectionStarts[s], report.sectionPeak[s], report.sectionLimited[s]);
  }
  auto write = [&music](const std::string& temporary, std::string& why) {
    return writeMp3(temporary, music, why);
  };
  if (!cli::writeWhole(path, write, error)) return cli::fail(error) == 0;
  std::printf("assetgen: wrote %s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dataDir;
  bool music = false, pictures = false, materials = false;
  const std::map<std::string, bool*> parts = {
      {"music", &music}, {"pictures", &pictures}, {"materials", &materials}};
  cli::Parser args("assetgen", kHelp);
  args.positional([&](const std::string& value, std::string& error) {
    if (dataDir.empty()) {
      dataDir = value;
    } else if (parts.count(value)) {
      *parts.at(value) = true;
    } else {
      return cli::failWith(error, "unknown part '" + value + "' (music, pictures or materials)");
    }
    return true;
  });
  args.parseOrExit(argc, argv);
  if (dataDir.empty()) return cli::usageError("no data directory given");
  std::error_code unreadable;
  if (!std::filesystem::is_directory(dataDir, unreadable)) {
    return cli::fail("'" + dataDir + "' is not a directory");
  }
  if (!music && !pictures && !materials) music = pictures = materials = true;
  cli::dieOnStopSignals();
  bool ok = true;
  if (music) ok = makeMusic(dataDir) && ok;
  // A part that fails says why and does not stop the others.
  auto report = [&ok](bool written, const char* part, const std::string& error) {
    if (written) {
      std::printf("assetgen: wrote the %s\n", part);
    } else {
      cli::fail(error);
      ok = false;
    }
  };
  std::string error;
  if (pictures) report(writePictures(dataDir, error), "pictures", error);
  if (materials) report(writeMaterials(dataDir + "/materials", error), "materials", error);
  return ok ? 0 : 1;
}
