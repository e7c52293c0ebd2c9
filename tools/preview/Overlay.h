// The preview's overlay: lines of text and level bars over the picture, drawn with the
// fixed-function pipeline in the preview window's own GL context (never the show's, so
// it cannot reach a captured frame). Text is set with FreeType in DejaVu Sans Mono and
// cached per line as an alpha texture.
//
// Calls: open() once with the preview's context current; then per frame begin(width,
// height), any of text()/bar()/box(), end().
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class Font;

struct OverlayColour {
  float r, g, b, a;
};

// The bound 2D texture over x..x + width, y..y + height, texture corner (0, 0) at (x, y).
void drawTexture(int x, int y, int width, int height);

class Overlay {
 public:
  static constexpr int kLineHeight = 18;  // pixels
  static constexpr int kTextSize = 14;    // em, pixels

  Overlay();
  ~Overlay();
  Overlay(const Overlay&) = delete;
  Overlay& operator=(const Overlay&) = delete;

  // False with a reason when the font cannot be read.
  bool open(std::string& error);

  // Window pixels, y down from the top.
  void begin(int width, int height);
  void box(int x, int y, int width, int height, OverlayColour colour);
  // One line whose top is at y; returns its width in pixels.
  int text(int x, int y, const std::string& line, OverlayColour colour);
  // A bar of `value` (0..1) of `width` pixels, with its frame.
  void bar(int x, int y, int width, int height, float value, OverlayColour colour);
  void end();

 private:
  struct Line {
    uint32_t texture = 0;
    int width = 0;
    int height = 0;
    int top = 0;  // rows from the line's top to the mask's top
  };
  const Line& line(const std::string& text);
  void forget();

  std::unique_ptr<Font> font_;
  std::map<std::string, Line> lines_;
};
