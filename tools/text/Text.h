// Text set in a TrueType font with FreeType, as coverage masks cropped to the ink.
#pragma once

#include <string>

#include "text/Canvas.h"

// The labels' font on the machines the tools run on.
constexpr const char* kLabelFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct FT_LibraryRec_;
struct FT_FaceRec_;

struct TextStyle {
  int pixelSize = 64;          // em height in pixels
  double xScale = 1.0;         // horizontal squeeze of glyphs and advances
  double letterSpacing = 0.0;  // extra space between letters, in ems
};

class Font {
 public:
  Font() = default;
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // False with a one-line reason when the file is missing or not a font.
  bool open(const std::string& path, std::string& error);

  // Renders one line of text (bytes taken as Latin-1 code points). The mask is cropped to
  // the ink; `baseline` is the baseline's row in the mask (may lie outside it).
  bool render(const std::string& text, const TextStyle& style, Mask& out, int& baseline,
              std::string& error) const;

  // The largest pixel size, at most style.pixelSize, at which the ink of `text` fits in
  // maxWidth x maxHeight pixels; 0 when not even a tiny size fits or the font fails.
  int fit(const std::string& text, TextStyle style, int maxWidth, int maxHeight) const;

 private:
  FT_LibraryRec_* library_ = nullptr;
  FT_FaceRec_* face_ = nullptr;
};

// One line of text whose baseline sits at baselineY. Labels are decoration: text that fails
// to render only loses its label.
void paintLabel(Canvas& canvas, const Font& font, const std::string& text, int x, int baselineY,
                int pixelSize, Colour colour);
