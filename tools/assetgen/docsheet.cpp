// docsheet: pictures for docs/ that show the generated assets at a glance (see kHelp): a
// contact sheet, or the spectrogram as the show's analyser sees it (1024-point Hann
// windows, magnitudes in dB). Each is written under a temporary name, renamed when whole.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "assetgen/BandStats.h"
#include "assetgen/Pictures.h"
#include "audio/AudioBackend.h"
#include "audio/MusicData.h"
#include "cli/Cli.h"
#include "images/Image.h"
#include "text/Canvas.h"
#include "text/Text.h"

namespace {

constexpr int kLabelPixelSize = 15;

const char* const kHelp =
    "usage: docsheet contact DATA-DIR OUTPUT.png\n"
    "       docsheet spectrogram MUSIC.mp3 OUTPUT.png\n"
    "\n"
    "Pictures for docs/: a contact sheet of every picture in DATA-DIR at half size with its\n"
    "name and size, or the music's spectrogram as the show's analyser sees it, with the\n"
    "scene boundaries and the bands each scene reads.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version and the commit it was built from\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 bad arguments.\n";

// The canvas into `output`, whole or not at all.
int writeCanvas(const Canvas& canvas, const std::string& output) {
  std::string error;
  return canvas.writePng(output, error) ? 0 : cli::fail(error);
}

// Paints `image` shrunk by `factor` (box filter) with its top-left corner at (x, y).
void paintShrunk(Canvas& canvas, const ImageBuffer& image, int factor, int x, int y) {
  const float scale = 1.0f / (255.0f * factor * factor);
  for (int row = 0; row < image.height / factor; ++row) {
    for (int column = 0; column < image.width / factor; ++column) {
      float sum[3] = {0, 0, 0};
      for (int dy = 0; dy < factor; ++dy) {
        for (int dx = 0; dx < factor; ++dx) {
          const uint8_t* p = image.pixels + static_cast<size_t>(row * factor + dy) * image.stride +
                             static_cast<size_t>(column * factor + dx) * image.bytesPerPixel;
          for (int k = 0; k < 3; ++k) sum[k] += p[image.channels >= 3 ? k : 0];
        }
      }
      canvas.set(x + column, y + row, {sum[0] * scale, sum[1] * scale, sum[2] * scale});
    }
  }
}

int contactSheet(const std::string& dataDir, const std::string& output) {
  constexpr int kCell = 256, kPad = 16, kCaption = 24, kColumns = 4, kRows = 3, kShrink = 2;
  struct Entry {
    std::string name;
    int column, row;
  };
  std::vector<Entry> entries = {{"loading", 0, 0}, {"lklogo", 1, 0}, {"overlay_cloud", 3, 0}};
  for (int slot = 0; slot < static_cast<int>(std::size(kWordPictures)); ++slot) {
    entries.push_back({kWordPictures[slot], slot % kColumns, 1 + slot / kColumns});
  }
  Font font;
  std::string error;
  if (!font.open(kLabelFontPath, error)) return cli::fail(error);
  Canvas sheet(kPad + kColumns * (kCell + kPad), kPad + kRows * (kCell + kCaption + kPad));
  sheet.fill({0.45f, 0.45f, 0.47f});
  for (const Entry& entry : entries) {
    std::string path = dataDir + "/" + entry.name + ".png";
    ImageBuffer image;
    if (read_image(path.c_str(), &image, false) != 0) return cli::fail("cannot read " + path);
    std::unique_ptr<uint8_t[]> pixels(image.pixels);
    int x = kPad + entry.column * (kCell + kPad);
    int y = kPad + entry.row * (kCell + kCaption + kPad);
    paintShrunk(sheet, image, kShrink, x, y + (kCell - image.height / kShrink) / 2);
    const std::string caption =
        cli::formatted("%s.png  %dx%d", entry.name.c_str(), image.width, image.height);
    paintLabel(sheet, font, caption, x, y + kCell + kCaption - 6, kLabelPixelSize, {1, 1, 1});
  }
  return writeCanvas(sheet, output);
}

// Black - violet - red - orange - pale yellow, for 0..1.
Colour heat(float t) {
  static const Colour kStops[] = {{0.0f, 0.0f, 0.02f},
                                  {0.3f, 0.05f, 0.45f},
                                  {0.8f, 0.15f, 0.3f},
                                  {1.0f, 0.55f, 0.1f},
                                  {1.0f, 0.95f, 0.6f}};
  constexpr int kLast = 4;
  t = std::clamp(t, 0.0f, 1.0f) * kLast;
  int i = std::min(static_cast<int>(t), kLast - 1);
  return mix(kStops[i], kStops[i + 1], t - i);
}

// The spectrogram's layout: a column of pixels per 1/8 s, two rows per bin from 0 Hz up.
constexpr int kPixelsPerSecond = 8;
constexpr int kShownBins = 192;  // 0 .. 8.27 kHz
constexpr int kPixelsPerBin = 2;
constexpr int kPlotHeight = kShownBins * kPixelsPerBin;
constexpr int kLeft = 60, kTop = 30, kBottom = 30, kRight = 16;
constexpr double kHzPerBin = static_cast<double>(kMixRate) / kSpectrumWindow;
const Colour kTextColour{0.9f, 0.9f, 0.9f};
const Colour kCyan{0.3f, 0.95f, 1.0f};  // the bands the scenes read

double yOfHz(double hz) { return kTop + kPlotHeight - hz / kHzPerBin * kPixelsPerBin; }
double xOfSecond(double s) { return kLeft + s * kPixelsPerSecond; }

// The music's magnitudes in dB, from -60 (black) to 0, one column of the plot at a time.
void paintSpectrum(Canvas& canvas, const MusicData& music, int columns) {
  constexpr float kFloorDb = -60.0f;
  SpectrumAnalyser analyser;
  float bins[kSpectrumBins];
  for (int c = 0; c < columns; ++c) {
    auto endFrame = static_cast<int64_t>((c + 0.5) / kPixelsPerSecond * kMixRate);
    analyser.analyse(music, endFrame, bins);
    for (int b = 0; b < kShownBins; ++b) {
      float db = 20.0f * std::log10(std::max(bins[b], 1e-6f));
      Colour colour = heat((db - kFloorDb) / -kFloorDb);
      for (int k = 0; k < kPixelsPerBin; ++k) {
        canvas.set(kLeft + c, kTop + kPlotHeight - 1 - b * kPixelsPerBin - k, colour);
      }
    }
  }
}

// A tick and a label every kHz up the left side and every 10 s along the foot.
void paintScales(Canvas& canvas, const Font& font, double seconds) {
  for (int khz = 0; khz <= 8; ++khz) {
    double y = yOfHz(khz * 1000.0);
    canvas.rectangle(kLeft - 6, y - 0.5, kLeft, y + 0.5, kTextColour);
    paintLabel(canvas, font, std::to_string(khz) + " kHz", 4, static_cast<int>(y) + 5,
               kLabelPixelSize, kTextColour);
  }
  for (int s = 0; s <= seconds; s += 10) {
    double x = xOfSecond(s);
    canvas.rectangle(x - 0.5, kTop + kPlotHeight, x + 0.5, kTop + kPlotHeight + 6, kTextColour);
    paintLabel(canvas, font, std::to_string(s) + " s", static_cast<int>(x) - 8,
               kTop + kPlotHeight + 22, kLabelPixelSize, kTextColour);
  }
}

// The scene boundaries and names, and the bands each scene reads as cyan edges over its
// span. The cloud scene's nineteen adjacent 100 Hz bands are drawn as their outer edges only.
void paintScenes(Canvas& canvas, const Font& font) {
  for (int i = 0; i <= kSceneCount; ++i) {
    double x = xOfSecond(sceneStart(static_cast<SceneIndex>(i)));
    canvas.rectangle(x - 0.5, kTop, x + 0.5, kTop + kPlotHeight, {1, 1, 1});
    if (i < kSceneCount) {
      paintLabel(canvas, font, kSchedule[i].name, static_cast<int>(x) + 4, kTop - 10,
                 kLabelPixelSize, kTextColour);
    }
  }
  constexpr int kNarrowBandHz = 100;
  for (const SceneBands& scene : showBands()) {
    if (scene.informative) continue;
    std::set<int> edges, narrow;
    for (const Band& band : scene.bands) {
      (band.highHz - band.lowHz <= kNarrowBandHz ? narrow : edges)
          .insert({band.lowHz, band.highHz});
    }
    if (!narrow.empty()) edges.insert({*narrow.begin(), *narrow.rbegin()});
    double x0 = xOfSecond(scene.start), x1 = xOfSecond(scene.end);
    for (int hz : edges) canvas.rectangle(x0 + 1, yOfHz(hz) - 0.5, x1 - 1, yOfHz(hz) + 0.5, kCyan);
  }
}

int spectrogram(const std::string& musicPath, const std::string& output) {
  MusicData music;
  std::string error;
  if (!decodeMusicFile(musicPath.c_str(), music, error)) return cli::fail(error);
  Font font;
  if (!font.open(kLabelFontPath, error)) return cli::fail(error);
  const double seconds = static_cast<double>(music.frameCount()) / kMixRate;
  const int columns = static_cast<int>(seconds * kPixelsPerSecond);
  Canvas canvas(kLeft + columns + kRight, kTop + kPlotHeight + kBottom);
  canvas.fill({0.1f, 0.1f, 0.12f});
  paintSpectrum(canvas, music, columns);
  paintScales(canvas, font, seconds);
  paintScenes(canvas, font);
  return writeCanvas(canvas, output);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words;
  cli::Parser args("docsheet", kHelp);
  args.positionals(&words);
  args.parseOrExit(argc, argv);
  if (words.size() != 3) {
    return cli::usageError("takes a kind (contact or spectrogram), an input and an output");
  }
  const std::string& kind = words[0];
  if (kind != "contact" && kind != "spectrogram") {
    return cli::usageError("unknown kind '" + kind + "' (contact or spectrogram)");
  }
  std::string error;
  const std::string& input = words[1];
  const std::string& output = words[2];
  if (!cli::checkExtension("the output", output, ".png", error)) return cli::usageError(error);
  if (access(input.c_str(), R_OK) != 0) return cli::fail("cannot read " + input);
  if (!cli::checkOutputFile(output, error)) return cli::fail(error);
  cli::dieOnStopSignals();
  return kind == "contact" ? contactSheet(input, output) : spectrogram(input, output);
}
