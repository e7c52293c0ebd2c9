#include "resources/Random.h"

namespace {
// Linear congruential generator; the upper 15 bits of the state are the value.
uint32_t randomState = 1;
}  // namespace

int demoRand() {
  randomState = randomState * 214013u + 2531011u;
  return static_cast<int>((randomState >> 16) & 0x7fffu);
}

void resetDemoRand() { randomState = 1; }
