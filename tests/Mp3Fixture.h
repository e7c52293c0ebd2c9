// MP3 fixtures made at test time with libmp3lame: no binary fixtures in the repository.
#pragma once

#include <functional>
#include <string>

// Writes `seconds` of 44100 Hz stereo to `path`; sample(t) gives the mono value (-1..1)
// at time t in seconds. Returns false if encoding failed.
bool writeMp3(const std::string& path, double seconds, const std::function<double(double)>& sample);
