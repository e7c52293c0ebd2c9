// MP3 encoding of the generated music with libmp3lame (see Mp3Writer.h).
#include "assetgen/Mp3Writer.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/Cli.h"

namespace {

constexpr int kEncoderQuality = 2;  // 0 best .. 9 fastest; 2 is LAME's "high quality"
constexpr int kBlockFrames = 8192;

}  // namespace

bool writeMp3(const std::string& path, const StereoBuffer& music, std::string& error) {
  std::unique_ptr<lame_global_flags, decltype(&lame_close)> lame(lame_init(), lame_close);
  if (!lame) return cli::failWith(error, "libmp3lame could not be initialised");
  lame_set_in_samplerate(lame.get(), kSampleRate);
  lame_set_out_samplerate(lame.get(), kSampleRate);
  lame_set_num_channels(lame.get(), 2);
  lame_set_mode(lame.get(), JOINT_STEREO);
  lame_set_VBR(lame.get(), vbr_off);
  lame_set_brate(lame.get(), kMp3KilobitsPerSecond);
  lame_set_quality(lame.get(), kEncoderQuality);
  lame_set_bWriteVbrTag(lame.get(), 1);  // the info frame carries delay and padding
  lame_set_write_id3tag_automatic(lame.get(), 0);
  if (lame_init_params(lame.get()) < 0) {
    return cli::failWith(error, "libmp3lame rejected the encoder settings");
  }
  // Read-write: the info frame at the start is rewritten once the length is known.
  std::unique_ptr<std::FILE, decltype(&std::fclose)> out(std::fopen(path.c_str(), "w+b"),
                                                         std::fclose);
  if (!out) return cli::failWith(error, "cannot write " + path);
  // Worst case from lame.h: 1.25 * frames + 7200 bytes.
  std::vector<unsigned char> encoded(kBlockFrames * 5 / 4 + 7200);
  const size_t frames = music.frames();
  for (size_t start = 0; start < frames; start += kBlockFrames) {
    auto count = static_cast<int>(std::min<size_t>(kBlockFrames, frames - start));
    int bytes = lame_encode_buffer_ieee_float(lame.get(), music.left.data() + start,
                                              music.right.data() + start, count, encoded.data(),
                                              static_cast<int>(encoded.size()));
    if (bytes < 0) {
      return cli::failWith(error, "libmp3lame failed with code " + std::to_string(bytes));
    }
    if (std::fwrite(encoded.data(), 1, bytes, out.get()) != static_cast<size_t>(bytes)) {
      return cli::failWith(error, "short write to " + path);
    }
  }
  int bytes = lame_encode_flush(lame.get(), encoded.data(), static_cast<int>(encoded.size()));
  if (bytes < 0 || std::fwrite(encoded.data(), 1, bytes, out.get()) != static_cast<size_t>(bytes)) {
    return cli::failWith(error, "cannot finish " + path);
  }
  lame_mp3_tags_fid(lame.get(), out.get());
  // fclose's result too: a full disk can first show when the buffer is written.
  if (std::fclose(out.release()) != 0) return cli::failWith(error, "cannot write " + path);
  return true;
}
