// A float picture for the asset generator: a few drawing operations (fills, coverage
// masks, anti-aliased discs, blur) and the conversion to 8-bit PNG through write_png.
//
// Pixels are linear 0..1 values per channel, row 0 at the top, as the PNG file stores them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An 8-bit coverage mask (0 none .. 255 full), e.g. rendered text.
struct Mask {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> coverage;  // width * height, row 0 at the top

  uint8_t at(int x, int y) const { return coverage[static_cast<size_t>(y) * width + x]; }
};

struct Colour {
  float r, g, b;
};

// a at f = 0, b at f = 1, in between linearly.
inline Colour mix(Colour a, Colour b, float f) {
  return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f};
}

class Canvas {
 public:
  Canvas(int width, int height);

  void set(int x, int y, Colour c) { pixels_[index(x, y)] = c; }

  void fill(Colour c);
  // Top colour at row 0 blending into the bottom colour at the last row.
  void verticalGradient(Colour top, Colour bottom);
  // Paints `colour` through the mask placed with its top-left corner at (x, y); coverage
  // 255 replaces the pixel, smaller coverage blends. Parts outside the canvas are skipped.
  void paint(const Mask& mask, int x, int y, Colour colour, float opacity = 1.0f);
  // Anti-aliased filled disc; centre and radius in pixels.
  void disc(double cx, double cy, double radius, Colour colour);
  // Anti-aliased ring of the given line width, centred on `radius`.
  void ring(double cx, double cy, double radius, double lineWidth, Colour colour);
  // Anti-aliased axis-aligned rectangle (edges at fractional pixel positions).
  void rectangle(double left, double top, double right, double bottom, Colour colour);

  // Writes an 8-bit PNG with 3 (RGB) channels and reads it back to check its size.
  bool writePng(const std::string& path, std::string& error) const;

 private:
  size_t index(int x, int y) const { return static_cast<size_t>(y) * width_ + x; }
  void blend(int x, int y, Colour colour, float amount);
  // Blends `colour` within `reach` of (cx, cy) by coverage; `distance` maps a pixel
  // centre's distance from there to the shape's edge distance (pixels, negative inside).
  template <typename Distance>
  void coverShape(double cx, double cy, double reach, Colour colour, Distance distance);

  int width_;
  int height_;
  std::vector<Colour> pixels_;
};

// Box blur of a mask, `radius` pixels each way, three passes (close to a Gaussian). The
// result grows by 3 * radius on every side so that nothing is cut off; `grown` returns
// that margin.
Mask blurMask(const Mask& mask, int radius, int& grown);
