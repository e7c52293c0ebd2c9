#include "Mp3Fixture.h"

#include <lame/lame.h>

#include <cmath>
#include <cstdio>
#include <vector>

bool writeMp3(const std::string& path, double seconds,
              const std::function<double(double)>& sample) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, 44100);
  lame_set_out_samplerate(lame, 44100);
  lame_set_num_channels(lame, 2);
  lame_set_brate(lame, 192);
  lame_set_quality(lame, 5);
  if (lame_init_params(lame) < 0) return false;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  const int total = static_cast<int>(seconds * 44100);
  const int block = 4096;
  std::vector<short> left(block), right(block);
  std::vector<unsigned char> mp3(block * 5 / 4 + 7200);
  for (int start = 0; start < total; start += block) {
    int n = std::min(block, total - start);
    for (int i = 0; i < n; ++i) {
      double v = sample((start + i) / 44100.0);
      short s = static_cast<short>(std::lround(std::fmax(-1.0, std::fmin(1.0, v)) * 32767.0));
      left[i] = right[i] = s;
    }
    int bytes = lame_encode_buffer(lame, left.data(), right.data(), n, mp3.data(),
                                   static_cast<int>(mp3.size()));
    if (bytes < 0) break;
    std::fwrite(mp3.data(), 1, bytes, out);
  }
  int bytes = lame_encode_flush(lame, mp3.data(), static_cast<int>(mp3.size()));
  if (bytes > 0) std::fwrite(mp3.data(), 1, bytes, out);
  std::fclose(out);
  lame_close(lame);
  return true;
}
