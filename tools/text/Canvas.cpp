// A float picture for the asset generator (see Canvas.h).
#include "text/Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "cli/Cli.h"
#include "images/Image.h"

namespace {

constexpr int kRgbChannels = 3;
constexpr float kByteMax = 255.0f;

// Coverage of a pixel by a shape whose signed distance (pixels, negative inside) is d.
float coverageFromDistance(double d) { return static_cast<float>(std::clamp(0.5 - d, 0.0, 1.0)); }

}  // namespace

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, {0, 0, 0}) {}

void Canvas::fill(Colour c) { std::fill(pixels_.begin(), pixels_.end(), c); }

void Canvas::verticalGradient(Colour top, Colour bottom) {
  for (int y = 0; y < height_; ++y) {
    const Colour c = mix(top, bottom, height_ > 1 ? static_cast<float>(y) / (height_ - 1) : 0.0f);
    for (int x = 0; x < width_; ++x) set(x, y, c);
  }
}

void Canvas::blend(int x, int y, Colour colour, float amount) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || amount <= 0.0f) return;
  Colour& p = pixels_[index(x, y)];
  p = mix(p, colour, amount);
}

void Canvas::paint(const Mask& mask, int x, int y, Colour colour, float opacity) {
  for (int row = 0; row < mask.height; ++row) {
    for (int column = 0; column < mask.width; ++column) {
      blend(x + column, y + row, colour, mask.at(column, row) / kByteMax * opacity);
    }
  }
}

template <typename Distance>
void Canvas::coverShape(double cx, double cy, double reach, Colour colour, Distance distance) {
  int x0 = static_cast<int>(std::floor(cx - reach - 1)), x1 = static_cast<int>(cx + reach + 1);
  int y0 = static_cast<int>(std::floor(cy - reach - 1)), y1 = static_cast<int>(cy + reach + 1);
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      blend(x, y, colour, coverageFromDistance(distance(std::hypot(x + 0.5 - cx, y + 0.5 - cy))));
    }
  }
}

void Canvas::disc(double cx, double cy, double radius, Colour colour) {
  coverShape(cx, cy, radius, colour, [radius](double r) { return r - radius; });
}

void Canvas::ring(double cx, double cy, double radius, double lineWidth, Colour colour) {
  coverShape(cx, cy, radius + lineWidth / 2, colour,
             [=](double r) { return std::fabs(r - radius) - lineWidth / 2; });
}

void Canvas::rectangle(double left, double top, double right, double bottom, Colour colour) {
  for (int y = static_cast<int>(std::floor(top)); y < static_cast<int>(std::ceil(bottom)); ++y) {
    double dy = std::min(bottom, y + 1.0) - std::max(top, static_cast<double>(y));
    for (int x = static_cast<int>(std::floor(left)); x < static_cast<int>(std::ceil(right)); ++x) {
      double dx = std::min(right, x + 1.0) - std::max(left, static_cast<double>(x));
      blend(x, y, colour, static_cast<float>(std::clamp(dx * dy, 0.0, 1.0)));
    }
  }
}

bool Canvas::writePng(const std::string& path, std::string& error) const {
  ImageBuffer image;
  alloc_image(&image, width_, height_, kRgbChannels);
  std::unique_ptr<uint8_t[]> owned(image.pixels);
  uint8_t* out = image.pixels;
  for (const Colour& pixel : pixels_) {
    for (float channel : {pixel.r, pixel.g, pixel.b}) {
      *out++ = static_cast<uint8_t>(std::lround(std::clamp(channel, 0.0f, 1.0f) * kByteMax));
    }
  }
  // Whole or not at all, every step checked to the close: a picture in data/ is never
  // half written.
  return cli::writeWhole(
      path,
      [&image](const std::string& temporary, std::string&) {
        std::FILE* file = std::fopen(temporary.c_str(), "wb");
        const bool written = file && !png_write_problem(file, image, PngSettings{});
        return file && std::fclose(file) == 0 && written;
      },
      error);
}

Mask blurMask(const Mask& mask, int radius, int& grown) {
  constexpr int kPasses = 3;
  grown = kPasses * radius;
  const int width = mask.width + 2 * grown, height = mask.height + 2 * grown;
  std::vector<float> values(static_cast<size_t>(width) * height, 0.0f);
  for (int y = 0; y < mask.height; ++y) {
    for (int x = 0; x < mask.width; ++x) {
      values[static_cast<size_t>(y + grown) * width + x + grown] = mask.at(x, y);
    }
  }
  std::vector<float> line;
  auto boxPass = [&](int count, int step, int lines, int lineStep) {
    line.resize(count);
    for (int l = 0; l < lines; ++l) {
      float* base = values.data() + static_cast<size_t>(l) * lineStep;
      for (int i = 0; i < count; ++i) line[i] = base[static_cast<size_t>(i) * step];
      float sum = 0.0f;
      for (int i = -radius; i <= radius; ++i) sum += (i >= 0 && i < count) ? line[i] : 0.0f;
      for (int i = 0; i < count; ++i) {
        base[static_cast<size_t>(i) * step] = sum / (2 * radius + 1);
        int leaving = i - radius, entering = i + radius + 1;
        if (leaving >= 0) sum -= line[leaving];
        if (entering < count) sum += line[entering];
      }
    }
  };
  for (int pass = 0; pass < kPasses; ++pass) {
    boxPass(width, 1, height, width);  // rows
    boxPass(height, width, width, 1);  // columns
  }
  Mask out{width, height, std::vector<uint8_t>(values.size())};
  for (size_t i = 0; i < values.size(); ++i) {
    out.coverage[i] = static_cast<uint8_t>(std::lround(std::clamp(values[i], 0.0f, kByteMax)));
  }
  return out;
}
