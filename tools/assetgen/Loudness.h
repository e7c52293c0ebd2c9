// True peak and integrated loudness of a stereo signal as EBU R128 meters measure them
// (ITU-R BS.1770): the true peak oversampled four times, so that peaks between samples
// count; the loudness K-weighted and gated over 400 ms blocks. Samples are float, full
// scale +-1; values beyond it are measured, not clipped.
#pragma once

#include <vector>

constexpr int kTruePeakOversampling = 4;  // three interpolated points between samples

// Per sample i: the largest magnitude among x[i] and the interpolated points between x[i]
// and x[i + 1] (windowed-sinc, 24 taps per point; samples outside `x` count as silence).
// `peaks` is resized to x.size().
void interSamplePeaks(const std::vector<float>& x, std::vector<float>& peaks);

// Largest oversampled magnitude of either channel; 0 for silence or no samples.
double truePeak(const std::vector<float>& left, const std::vector<float>& right);

// 20 log10(linear); -inf for 0.
double decibels(double linear);

// Gated integrated loudness of a stereo signal in LUFS; kSilentLufs when no 400 ms block
// reaches the absolute gate (including signals shorter than one block).
constexpr double kSilentLufs = -70.0;
double integratedLoudness(const std::vector<float>& left, const std::vector<float>& right,
                          int sampleRateHz);
