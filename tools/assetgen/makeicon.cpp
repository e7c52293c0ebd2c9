// Draws the desktop icon of the installed show: a 256 x 256 PNG of a star field seen
// through a ring, with three bars that grow like the tunnel scene's. Deterministic.
//
// usage: makeicon FILE.png | FILE.ico
// The .ico (the Windows exe's icon resource) holds the same PNG in one 256 x 256 entry,
// which Windows Vista and later read as it is.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
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

void putLittleEndian(std::vector<unsigned char>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// Rewrites the RGB PNG at `path` as an icon file holding it with an opaque alpha channel
// (an icon's PNG is 32 bits per pixel): the 6-byte header, one 16-byte directory entry
// (0 for 256 pixels), then the PNG bytes.
bool wrapPngAsIco(const std::string& path, std::string& error) {
  ImageBuffer rgb;
  if (read_png(path.c_str(), &rgb, false) != 0 || rgb.channels != 3) {
    error = "cannot read back " + path;
    return false;
  }
  ImageBuffer rgba;
  alloc_image(&rgba, rgb.width, rgb.height, 4);
  for (int y = 0; y < rgb.height; ++y) {
    for (int x = 0; x < rgb.width; ++x) {
      const uint8_t* from = rgb.pixels + y * rgb.stride + 3 * x;
      uint8_t* to = rgba.pixels + y * rgba.stride + 4 * x;
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
      to[3] = 255;
    }
  }
  write_png(path.c_str(), rgba);
  delete[] rgb.pixels;
  delete[] rgba.pixels;
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> png((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  if (!in.is_open() || png.empty()) {
    error = "cannot read back " + path;
    return false;
  }
  in.close();
  std::vector<unsigned char> ico;
  putLittleEndian(ico, 0, 2);  // reserved
  putLittleEndian(ico, 1, 2);  // an icon, not a cursor
  putLittleEndian(ico, 1, 2);  // one image
  ico.push_back(0);            // width 256
  ico.push_back(0);            // height 256
  ico.push_back(0);            // no palette
  ico.push_back(0);            // reserved
  putLittleEndian(ico, 1, 2);  // colour planes
  putLittleEndian(ico, 32, 2);
  putLittleEndian(ico, static_cast<uint32_t>(png.size()), 4);
  putLittleEndian(ico, 6 + 16, 4);  // where the PNG starts
  ico.insert(ico.end(), png.begin(), png.end());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
  out.close();
  if (!out) {
    error = "cannot write " + path;
    return false;
  }
  return true;
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
