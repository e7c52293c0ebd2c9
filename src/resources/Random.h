// The show's random numbers: range 0..32767 and a fixed start, so every run draws the same
// sequence. Not rand(): its range differs between platforms (glibc: 2^31 - 1), and the
// formulas that scale these numbers assume 32767.
#pragma once

#include <cstdint>

constexpr int kDemoRandMax = 32767;

// Next value in 0..kDemoRandMax.
int demoRand();
// Restarts the sequence from its fixed start (tests).
void resetDemoRand();
