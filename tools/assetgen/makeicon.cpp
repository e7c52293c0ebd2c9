// makeicon FILE.png | FILE.ico: the installed show's desktop icon, a 256 x 256 PNG of a star
// field seen through a ring, with three bars that grow like the tunnel scene's. The .ico
// (the Windows exe's icon) holds the same PNG in one entry, as Vista and later read it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "assetgen/Random.h"
#include "images/Image.h"
#include "text/Canvas.h"

namespace {
constexpr int kSize = 256;  // pixels; the hicolor theme's 256x256 slot

void drawIcon(Canvas& icon) {
  icon.verticalGradient({0.02f, 0.02f, 0.05f}, {0.10f, 0.08f, 0.16f});
  // Stars, a fixed sequence: the same icon on every build.
  Pcg32 random(1146);
  for (int i = 0; i < 90; ++i) {
    const double x = random.uniform() * kSize;
    const double y = random.uniform() * kSize;
    const float level = 0.35f + 0.65f * static_cast<float>(random.uniform());
    icon.disc(x, y, 0.6 + 1.2 * random.uniform(), {level, level, level});
  }
  icon.ring(128.0, 128.0, 92.0, 10.0, {0.92f, 0.92f, 0.95f});
  // Three bars standing on the ring's lower chord, as the tunnel's follow three bands.
  const double heights[] = {70.0, 110.0, 86.0};
  for (int i = 0; i < 3; ++i) {
    const double left = 84.0 + 30.0 * i;
    icon.rectangle(left, 190.0 - heights[i], left + 22.0, 190.0, {0.85f, 0.35f + 0.2f * i, 0.2f});
  }
}
bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Rewrites the RGB PNG at `path` as an icon file holding it with an opaque alpha channel
// (an icon's PNG is 32 bits per pixel) after a 6-byte header and one 16-byte entry.
bool wrapPngAsIco(const std::string& path, std::string& error) {
  auto failed = [&error](const std::string& reason) {
    error = reason;
    return false;
  };
  ImageBuffer rgb;
  if (read_png(path.c_str(), &rgb, false) != 0) return failed("cannot read back " + path);
  if (rgb.channels != 3) {
    delete[] rgb.pixels;
    return failed("cannot read back " + path);
  }
  ImageBuffer rgba;
  alloc_image(&rgba, rgb.width, rgb.height, 4);
  for (int y = 0; y < rgb.height; ++y) {
    for (int x = 0; x < rgb.width; ++x) {
      uint8_t* to = rgba.pixels + y * rgba.stride + 4 * x;
      std::copy_n(rgb.pixels + y * rgb.stride + 3 * x, 3, to);
      to[3] = 255;
    }
  }
  // Checked to the close: a half-written PNG would go into the icon unnoticed.
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool written = file && !png_write_problem(file, rgba, PngSettings{});
  if (file && std::fclose(file) != 0) written = false;
  delete[] rgb.pixels;
  delete[] rgba.pixels;
  if (!written) return failed("cannot write " + path);
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> png((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  if (!in.is_open() || png.empty()) return failed("cannot read back " + path);
  in.close();
  // (value, bytes), little-endian: reserved, 1 = icon, one image; width and height 0 (256),
  // no palette, reserved, one colour plane, 32 bits per pixel, the PNG's size and offset.
  const auto size = static_cast<uint32_t>(png.size());
  const std::pair<uint32_t, int> fields[] = {{0, 2}, {1, 2}, {1, 2},  {0, 1},    {0, 1},     {0, 1},
                                             {0, 1}, {1, 2}, {32, 2}, {size, 4}, {6 + 16, 4}};
  std::vector<unsigned char> ico;
  for (const auto& [value, bytes] : fields) {
    for (int i = 0; i < bytes; ++i) ico.push_back(static_cast<unsigned char>(value >> (8 * i)));
  }
  ico.insert(ico.end(), png.begin(), png.end());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
  out.close();
  return out ? true : failed("cannot write " + path);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::puts(
        "usage: makeicon FILE.png | FILE.ico\n\nDraws the show's 256 x 256 desktop icon into "
        "FILE.png, or into FILE.ico for the Windows program.");
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "makeicon: expected one output file, FILE.png or FILE.ico (see --help)\n");
    return 2;
  }
  Canvas icon(kSize, kSize);
  drawIcon(icon);
  std::string error;
  if (!icon.writePng(argv[1], error) ||
      (endsWith(argv[1], ".ico") && !wrapPngAsIco(argv[1], error))) {
    std::fprintf(stderr, "makeicon: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
