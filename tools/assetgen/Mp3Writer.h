// MP3 encoding of the generated music with libmp3lame.
#pragma once

#include <string>

#include "assetgen/Synth.h"

constexpr int kMp3KilobitsPerSecond = 192;  // constant bit rate

// Encodes 44100 Hz stereo float samples as a CBR MP3 with a LAME info frame, so decoders
// trim the encoder delay; false with a one-line reason in `error`.
bool writeMp3(const std::string& path, const StereoBuffer& music, std::string& error);
