// assetgen: writes the show's generated assets into a data directory.
//
//   assetgen <data directory> [music] [pictures] [materials]
//
// With no part named, every part is written. The output is a pure function of the fixed
// seeds and parameters below, so a rerun rewrites identical files.
#include <sys/stat.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "Materials.h"
#include "Mp3Writer.h"
#include "Music.h"
#include "Pictures.h"

namespace {

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int usage() {
  std::fprintf(stderr, "usage: assetgen <data directory> [music] [pictures] [materials]\n");
  return 2;
}

bool makeMusic(const std::string& dataDir) {
  std::string path = dataDir + "/deruz.mp3";
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
  if (!writeMp3(path, music, error)) {
    std::fprintf(stderr, "assetgen: %s\n", error.c_str());
    return false;
  }
  std::printf("assetgen: wrote %s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string dataDir = argv[1];
  if (!isDirectory(dataDir)) {
    std::fprintf(stderr, "assetgen: '%s' is not a directory\n", dataDir.c_str());
    return 1;
  }
  bool music = argc == 2, pictures = argc == 2, materials = argc == 2;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "music")) {
      music = true;
    } else if (!std::strcmp(argv[i], "pictures")) {
      pictures = true;
    } else if (!std::strcmp(argv[i], "materials")) {
      materials = true;
    } else {
      std::fprintf(stderr, "assetgen: unknown part '%s'\n", argv[i]);
      return usage();
    }
  }
  bool ok = true;
  if (music) ok = makeMusic(dataDir) && ok;
  std::string error;
  if (pictures) {
    if (writePictures(dataDir, error)) {
      std::printf("assetgen: wrote the pictures\n");
    } else {
      std::fprintf(stderr, "assetgen: %s\n", error.c_str());
      ok = false;
    }
  }
  if (materials) {
    if (writeMaterials(dataDir + "/materials", error)) {
      std::printf("assetgen: wrote the materials\n");
    } else {
      std::fprintf(stderr, "assetgen: %s\n", error.c_str());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
