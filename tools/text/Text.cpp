// Text set in a TrueType font with FreeType (see Text.h).
#include "text/Text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cmath>

#include "cli/Cli.h"

namespace {

constexpr double kFixed16 = 65536.0;  // FT_Matrix entries are 16.16 fixed point
constexpr int kFixed26Shift = 6;      // advances are 26.6 fixed point
constexpr int kSmallestPixelSize = 4;

// Calls draw(glyph slot, pen x in pixels) for each character; false if a glyph fails.
template <typename Draw>
bool forEachGlyph(FT_Face face, const std::string& text, const TextStyle& style, Draw draw) {
  FT_Matrix squeeze{static_cast<FT_Fixed>(std::lround(style.xScale * kFixed16)), 0, 0,
                    static_cast<FT_Fixed>(kFixed16)};
  FT_Set_Transform(face, &squeeze, nullptr);
  if (FT_Set_Pixel_Sizes(face, 0, style.pixelSize) != 0) return false;
  const long spacing = std::lround(style.letterSpacing * style.pixelSize * (1 << kFixed26Shift));
  long pen = 0;  // 26.6
  for (unsigned char c : text) {
    // No hinting: hinted outlines would not follow the horizontal squeeze.
    if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) return false;
    draw(face->glyph, static_cast<int>(pen >> kFixed26Shift));
    pen += face->glyph->advance.x + spacing;
  }
  return true;
}

}  // namespace

Font::~Font() {
  if (face_) FT_Done_Face(face_);
  if (library_) FT_Done_FreeType(library_);
}

bool Font::open(const std::string& path, std::string& error) {
  if (!library_ && FT_Init_FreeType(&library_) != 0) {
    return cli::failWith(error, "FreeType could not be initialised");
  }
  if (FT_New_Face(library_, path.c_str(), 0, &face_) != 0) {
    face_ = nullptr;
    return cli::failWith(error, "cannot load font " + path);
  }
  return true;
}

bool Font::render(const std::string& text, const TextStyle& style, Mask& out, int& baseline,
                  std::string& error) const {
  if (!face_) return cli::failWith(error, "no font loaded");
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  bool ok = forEachGlyph(face_, text, style, [&](FT_GlyphSlot glyph, int penX) {
    if (glyph->bitmap.width == 0 || glyph->bitmap.rows == 0) return;
    left = std::min(left, penX + glyph->bitmap_left);
    right = std::max(right, penX + glyph->bitmap_left + static_cast<int>(glyph->bitmap.width));
    top = std::min(top, -glyph->bitmap_top);
    bottom = std::max(bottom, -glyph->bitmap_top + static_cast<int>(glyph->bitmap.rows));
  });
  if (!ok || left >= right) return cli::failWith(error, "cannot render \"" + text + "\"");
  out.width = right - left;
  out.height = bottom - top;
  out.coverage.assign(static_cast<size_t>(out.width) * out.height, 0);
  baseline = -top;
  forEachGlyph(face_, text, style, [&](FT_GlyphSlot glyph, int penX) {
    const FT_Bitmap& bitmap = glyph->bitmap;
    for (int row = 0; row < static_cast<int>(bitmap.rows); ++row) {
      int y = baseline - glyph->bitmap_top + row;
      for (int column = 0; column < static_cast<int>(bitmap.width); ++column) {
        int x = penX + glyph->bitmap_left + column - left;
        uint8_t& cell = out.coverage[static_cast<size_t>(y) * out.width + x];
        // Overlapping glyphs (tight spacing) keep the stronger coverage.
        cell = std::max(cell, bitmap.buffer[row * bitmap.pitch + column]);
      }
    }
  });
  return true;
}

int Font::fit(const std::string& text, TextStyle style, int maxWidth, int maxHeight) const {
  std::string error;
  for (; style.pixelSize >= kSmallestPixelSize; --style.pixelSize) {
    Mask mask;
    int baseline = 0;
    if (!render(text, style, mask, baseline, error)) return 0;
    if (mask.width <= maxWidth && mask.height <= maxHeight) return style.pixelSize;
    // Jump close to the answer: ink scales about linearly with the pixel size.
    double ratio = std::min(static_cast<double>(maxWidth) / mask.width,
                            static_cast<double>(maxHeight) / mask.height);
    int estimate = static_cast<int>(style.pixelSize * ratio) + 1;
    if (estimate < style.pixelSize) style.pixelSize = estimate + 1;
  }
  return 0;
}

void paintLabel(Canvas& canvas, const Font& font, const std::string& text, int x, int baselineY,
                int pixelSize, Colour colour) {
  TextStyle style;
  style.pixelSize = pixelSize;
  Mask mask;
  int baseline = 0;
  std::string error;
  if (font.render(text, style, mask, baseline, error)) {
    canvas.paint(mask, x, baselineY - baseline, colour);
  }
}
