// The screen size of the whole run. Set from the start-up settings and never changed,
// not even when the window is resized: capture, sliders and projections read these.
#include "app/Demo.h"

int screenWidth = 1024;
int screenHeight = 768;

#include "app/Random.h"

namespace {
// Linear congruential generator; the upper 15 bits of the state are the value.
uint32_t randomState = 1;
}  // namespace

int demoRand() {
  randomState = randomState * 214013u + 2531011u;
  return static_cast<int>((randomState >> 16) & 0x7fffu);
}

void resetDemoRand() { randomState = 1; }
