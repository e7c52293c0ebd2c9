// The show's pictures (see Pictures.h), designed for how the show draws them:
//   loading.png  added over itself in random tints: light text on a dark ground;
//   lklogo.png   1024 x 256 on a 4:1 quad, added over white or drawn opaque on white: dark
//                lettering on a light ground;
//   <word>.png   stretched over the 4:3 view and added in a grey tint: white on black,
//                glyphs set at 3/4 width;
//   overlay_cloud.png  added over every frame of two scenes: soft, mostly dark fractal
//                value noise of mean brightness kCloudMean.
#include "assetgen/Pictures.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "assetgen/Random.h"
#include "text/Canvas.h"
#include "text/Text.h"

namespace {

constexpr const char* kBoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

constexpr int kSquareSide = 512;
constexpr int kLogoWidth = 1024;
constexpr int kLogoHeight = 256;

// The word textures are stretched 4/3 horizontally on screen.
constexpr double kWordSqueeze = 0.75;
constexpr int kWordMaxPixelSize = 180;
constexpr int kWordMaxWidth = 448;  // ink box limits inside the 512 x 512 picture
constexpr int kWordMaxHeight = 300;

constexpr uint64_t kCloudSeed = 0x636c6f7564ULL;
constexpr double kCloudMean = 0.125;  // mean of R, G, B over the picture
constexpr int kCloudBasePeriod = 4;   // lattice cells across the picture, first octave
constexpr int kCloudOctaves = 6;
constexpr double kCloudPersistence = 0.5;

Colour grey(float v) { return {v, v, v}; }

// Renders `text` at the largest size, at most style.pixelSize, whose ink fits in
// maxWidth x maxHeight; `tooBig` is the error when not even a tiny size fits.
bool fitText(const Font& font, const std::string& text, TextStyle style, int maxWidth,
             int maxHeight, const std::string& tooBig, Mask& mask, std::string& error) {
  style.pixelSize = font.fit(text, style, maxWidth, maxHeight);
  int baseline = 0;
  if (style.pixelSize != 0 && font.render(text, style, mask, baseline, error)) return true;
  if (error.empty()) error = tooBig;
  return false;
}

// Renders `text` fitted into the box and paints it centred on (cx, cy) by its ink;
// `inkBottom`, when given, receives the row just below the ink.
bool paintText(Canvas& canvas, const Font& font, const std::string& text, TextStyle style,
               int maxWidth, int maxHeight, double cx, double cy, Colour colour, std::string& error,
               int* inkBottom = nullptr) {
  Mask mask;
  if (!fitText(font, text, style, maxWidth, maxHeight, "\"" + text + "\" does not fit its picture",
               mask, error)) {
    return false;
  }
  int x = static_cast<int>(std::lround(cx - mask.width / 2.0));
  int y = static_cast<int>(std::lround(cy - mask.height / 2.0));
  canvas.paint(mask, x, y, colour);
  if (inkBottom) *inkBottom = y + mask.height;
  return true;
}

bool makeLoading(const std::string& path, const Font& font, std::string& error) {
  Canvas canvas(kSquareSide, kSquareSide);
  const double centre = kSquareSide / 2.0;
  // Dark ground, a touch lighter in the middle.
  for (int y = 0; y < kSquareSide; ++y) {
    for (int x = 0; x < kSquareSide; ++x) {
      double d = std::hypot(x + 0.5 - centre, y + 0.5 - centre) / (centre * std::sqrt(2.0));
      float v = static_cast<float>(0.075 - 0.05 * d * d);
      canvas.set(x, y, {v, v, v * 1.25f});
    }
  }
  const Colour light{0.9f, 0.9f, 0.93f};
  int inkBottom = 0;
  if (!paintText(canvas, font, "loading", {96, 1.0, 0.03}, 340, 120, centre, centre - 12, light,
                 error, &inkBottom)) {
    return false;
  }
  // Three dots under the word, fading out to the right.
  constexpr double kDotRadius = 7.0, kDotSpacing = 30.0;
  const double dotsY = inkBottom + 36.0;
  for (int i = 0; i < 3; ++i) {
    float fade = 1.0f - 0.3f * i;
    canvas.disc(centre + (i - 1) * kDotSpacing, dotsY, kDotRadius, mix(grey(0.0f), light, fade));
  }
  return canvas.writePng(path, error);
}

bool makeLogo(const std::string& path, const Font& font, std::string& error) {
  Canvas canvas(kLogoWidth, kLogoHeight);
  canvas.verticalGradient(grey(1.0f), grey(0.92f));
  const Colour ink{0.08f, 0.08f, 0.11f};
  const Colour accent{0.85f, 0.33f, 0.08f};

  Mask word;
  if (!fitText(font, "Lumorak", {170, 1.0, 0.02}, 680, 150, "the logo lettering does not fit", word,
               error)) {
    return false;
  }
  // Emblem (a ring with an orbiting light) and word side by side, centred as a group.
  constexpr double kRingRadius = 58.0, kRingLine = 11.0, kGap = 44.0;
  const double emblemWidth = 2 * (kRingRadius + kRingLine);
  const double groupWidth = emblemWidth + kGap + word.width;
  const double groupLeft = (kLogoWidth - groupWidth) / 2.0;
  const double middle = kLogoHeight / 2.0;
  const int wordLeft = static_cast<int>(std::lround(groupLeft + emblemWidth + kGap));
  const int wordTop = static_cast<int>(std::lround(middle - word.height / 2.0));

  // Soft shadow under the lettering, so it stands off the ground.
  int grown = 0;
  Mask shadow = blurMask(word, 4, grown);
  canvas.paint(shadow, wordLeft - grown + 5, wordTop - grown + 7, grey(0.45f), 0.35f);
  canvas.paint(word, wordLeft, wordTop, ink);

  const double ringX = groupLeft + emblemWidth / 2.0;
  canvas.ring(ringX, middle, kRingRadius, kRingLine, ink);
  canvas.disc(ringX, middle, 14.0, ink);
  const double orbit = -0.8;  // radians; the light sits at upper right on the ring
  const double lightX = ringX + kRingRadius * std::cos(orbit);
  const double lightY = middle + kRingRadius * std::sin(orbit);
  canvas.disc(lightX, lightY, 19.0, grey(1.0f));
  canvas.disc(lightX, lightY, 14.0, accent);

  // A rule under the word, from its left edge, ending in the accent colour.
  const double ruleTop = wordTop + word.height + 16.0;
  canvas.rectangle(wordLeft, ruleTop, wordLeft + word.width * 0.78, ruleTop + 6.0, ink);
  canvas.rectangle(wordLeft + word.width * 0.8, ruleTop, wordLeft + word.width, ruleTop + 6.0,
                   accent);
  return canvas.writePng(path, error);
}

bool makeWord(const std::string& path, const Font& font, const std::string& word,
              std::string& error) {
  Canvas canvas(kSquareSide, kSquareSide);
  canvas.fill(grey(0.0f));
  return paintText(canvas, font, word, {kWordMaxPixelSize, kWordSqueeze}, kWordMaxWidth,
                   kWordMaxHeight, kSquareSide / 2.0, kSquareSide / 2.0, grey(1.0f), error) &&
         canvas.writePng(path, error);
}

// Value noise on a square lattice that wraps every `period` cells, so the picture tiles.
class ValueNoise {
 public:
  ValueNoise(int period, Pcg32& rng)
      : period_(period), values_(static_cast<size_t>(period) * period) {
    for (float& v : values_) v = rng.uniform();
  }
  // x and y in lattice cells.
  double at(double x, double y) const {
    int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    double fx = smooth(x - x0), fy = smooth(y - y0);
    double top = lerp(cell(x0, y0), cell(x0 + 1, y0), fx);
    double bottom = lerp(cell(x0, y0 + 1), cell(x0 + 1, y0 + 1), fx);
    return lerp(top, bottom, fy);
  }

 private:
  static double smooth(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }  // C2 quintic
  static double lerp(double a, double b, double t) { return a + (b - a) * t; }
  double cell(int x, int y) const {
    x = ((x % period_) + period_) % period_;
    y = ((y % period_) + period_) % period_;
    return values_[static_cast<size_t>(y) * period_ + x];
  }
  int period_;
  std::vector<float> values_;
};

bool makeCloud(const std::string& path, std::string& error) {
  Pcg32 rng(kCloudSeed);
  std::vector<ValueNoise> octaves;
  std::vector<double> shifts;  // per octave, in cells: keeps the lattices out of step
  for (int o = 0; o < kCloudOctaves; ++o) {
    octaves.emplace_back(kCloudBasePeriod << o, rng);
    shifts.push_back(rng.uniform() * (kCloudBasePeriod << o));
  }
  std::vector<double> field(static_cast<size_t>(kSquareSide) * kSquareSide);
  double amplitudeSum = 0.0;
  for (int o = 0; o < kCloudOctaves; ++o) amplitudeSum += std::pow(kCloudPersistence, o);
  for (int y = 0; y < kSquareSide; ++y) {
    for (int x = 0; x < kSquareSide; ++x) {
      double sum = 0.0;
      for (int o = 0; o < kCloudOctaves; ++o) {
        double cells = static_cast<double>(kCloudBasePeriod << o) / kSquareSide;
        sum += std::pow(kCloudPersistence, o) *
               octaves[o].at((x + 0.5) * cells + shifts[o], (y + 0.5) * cells + 0.7 * shifts[o]);
      }
      // Keep the upper part of the noise, squared: wisps of cloud with dark gaps.
      double n = std::clamp((sum / amplitudeSum - 0.36) / 0.5, 0.0, 1.0);
      field[static_cast<size_t>(y) * kSquareSide + x] = n * n;
    }
  }
  // Scale to the wanted mean; the cool tint averages to 1 over R, G and B.
  const Colour tint{0.9f, 0.97f, 1.13f};
  const double mean = std::accumulate(field.begin(), field.end(), 0.0) / field.size();
  const double gain = mean > 0.0 ? kCloudMean / mean : 0.0;
  Canvas canvas(kSquareSide, kSquareSide);
  for (int y = 0; y < kSquareSide; ++y) {
    for (int x = 0; x < kSquareSide; ++x) {
      auto v = static_cast<float>(field[static_cast<size_t>(y) * kSquareSide + x] * gain);
      canvas.set(x, y, {v * tint.r, v * tint.g, v * tint.b});
    }
  }
  return canvas.writePng(path, error);
}

}  // namespace

bool writePictures(const std::string& dataDir, std::string& error) {
  Font font;
  if (!font.open(kBoldFont, error)) return false;
  if (!makeLoading(dataDir + "/loading.png", font, error)) return false;
  if (!makeLogo(dataDir + "/lklogo.png", font, error)) return false;
  for (const char* word : kWordPictures) {
    if (!makeWord(dataDir + "/" + word + ".png", font, word, error)) return false;
  }
  return makeCloud(dataDir + "/overlay_cloud.png", error);
}
