// makeloading: draws the start-up "loading" picture and writes it as an RGB PNG.
//
// Usage: makeloading <output.png>. The word "loading" in light grey, centred on a dark
// 512 x 512 square, in DejaVu Sans Bold. The show loads the result as data/loading.png.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "images/Image.h"

namespace {

constexpr int kSide = 512;           // pixels; a power of two, so the texture needs no padding
constexpr int kChannels = 3;         // RGB
constexpr int kTextPixelSize = 80;   // nominal em height in pixels
constexpr int kFixedPointShift = 6;  // FreeType advances are 26.6 fixed point
constexpr uint8_t kBackground[kChannels] = {18, 18, 24};
constexpr uint8_t kForeground[kChannels] = {205, 205, 210};
constexpr const char* kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr const char* kWord = "loading";

// Pen positions are in picture pixels, top row 0, baseline at y = baseline.
struct InkBox {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
};

// Calls draw(glyph, penX) for every glyph of the word; returns false if one cannot load.
template <typename Draw>
bool forEachGlyph(FT_Face face, Draw draw) {
  int penX = 0;
  for (const char* c = kWord; *c; ++c) {
    if (FT_Load_Char(face, static_cast<unsigned char>(*c), FT_LOAD_RENDER) != 0) return false;
    draw(face->glyph, penX);
    penX += static_cast<int>(face->glyph->advance.x >> kFixedPointShift);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: makeloading <output.png>\n");
    return 2;
  }
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, kFontPath, 0, &face) != 0 ||
      FT_Set_Pixel_Sizes(face, 0, kTextPixelSize) != 0) {
    std::fprintf(stderr, "makeloading: can't load font %s\n", kFontPath);
    return 1;
  }

  // Measure the ink relative to the pen origin, so the word is centred as seen.
  InkBox ink;
  bool loaded = forEachGlyph(face, [&](FT_GlyphSlot glyph, int penX) {
    if (glyph->bitmap.width == 0 || glyph->bitmap.rows == 0) return;
    ink.left = std::min(ink.left, penX + glyph->bitmap_left);
    ink.right =
        std::max(ink.right, penX + glyph->bitmap_left + static_cast<int>(glyph->bitmap.width));
    ink.top = std::min(ink.top, -glyph->bitmap_top);
    ink.bottom = std::max(ink.bottom, -glyph->bitmap_top + static_cast<int>(glyph->bitmap.rows));
  });
  if (!loaded || ink.left > ink.right) {
    std::fprintf(stderr, "makeloading: can't render \"%s\"\n", kWord);
    return 1;
  }
  const int originX = (kSide - (ink.right - ink.left)) / 2 - ink.left;
  const int baseline = (kSide - (ink.bottom - ink.top)) / 2 - ink.top;

  ImageBuffer picture;
  alloc_image(&picture, kSide, kSide, kChannels);
  std::unique_ptr<uint8_t[]> pixels(picture.pixels);
  for (int i = 0; i < kSide * kSide; ++i) {
    std::memcpy(picture.pixels + i * kChannels, kBackground, kChannels);
  }

  forEachGlyph(face, [&](FT_GlyphSlot glyph, int penX) {
    const FT_Bitmap& bitmap = glyph->bitmap;
    for (int row = 0; row < static_cast<int>(bitmap.rows); ++row) {
      const int y = baseline - glyph->bitmap_top + row;
      for (int column = 0; column < static_cast<int>(bitmap.width); ++column) {
        const int x = originX + penX + glyph->bitmap_left + column;
        if (x < 0 || x >= kSide || y < 0 || y >= kSide) continue;
        // Coverage 0..255 blends background into foreground.
        const int coverage = bitmap.buffer[row * bitmap.pitch + column];
        uint8_t* pixel = picture.pixels + (y * kSide + x) * kChannels;
        for (int k = 0; k < kChannels; ++k) {
          pixel[k] = static_cast<uint8_t>(kBackground[k] +
                                          (kForeground[k] - kBackground[k]) * coverage / 255);
        }
      }
    }
  });

  write_png(argv[1], picture);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return 0;
}
