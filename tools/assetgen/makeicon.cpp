// Draws the desktop icon of the installed show: a 256 x 256 PNG of a star field seen
// through a ring, with three bars that grow like the tunnel scene's. Deterministic.
//
// usage: makeicon FILE.png
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "Canvas.h"
#include "Random.h"

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
}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::puts("usage: makeicon FILE.png\n\nDraws the show's 256 x 256 desktop icon into FILE.png.");
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "makeicon: expected one output file, FILE.png (see --help)\n");
    return 2;
  }
  Canvas icon(kSize, kSize);
  drawIcon(icon);
  std::string error;
  if (!icon.writePng(argv[1], error)) {
    std::fprintf(stderr, "makeicon: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
