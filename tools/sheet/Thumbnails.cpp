#include "sheet/Thumbnails.h"

#include <cstddef>

void paintThumbnail(Canvas& canvas, int left, int top, int thumbWidth, int thumbHeight,
                    const uint8_t* rgb, int width, int height) {
  const int bx = width / thumbWidth;
  const int by = height / thumbHeight;
  const float scale = 1.0f / (255.0f * bx * by);
  for (int y = 0; y < thumbHeight; ++y) {
    for (int x = 0; x < thumbWidth; ++x) {
      float sum[3] = {0, 0, 0};
      for (int j = 0; j < by; ++j) {
        const int row = height - 1 - (y * by + j);
        const uint8_t* p =
            rgb + (static_cast<size_t>(row) * width + static_cast<size_t>(x) * bx) * 3;
        for (int i = 0; i < bx; ++i, p += 3) {
          for (int c = 0; c < 3; ++c) sum[c] += p[c];
        }
      }
      canvas.set(left + x, top + y, {sum[0] * scale, sum[1] * scale, sum[2] * scale});
    }
  }
}
