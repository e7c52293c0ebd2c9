// Seeded pseudo-random numbers for the asset generator: PCG32 (XSH RR), written out here
// so that the generated assets do not depend on rand() or on <random> distributions, whose
// output differs between standard libraries.
#pragma once

#include <cstdint>

class Pcg32 {
 public:
  explicit Pcg32(uint64_t seed, uint64_t stream = 0x5851f42d4c957f2dULL)
      : increment_((stream << 1u) | 1u) {
    next();
    state_ += seed;
    next();
  }

  uint32_t next() {
    uint64_t old = state_;
    state_ = old * kMultiplier + increment_;
    auto xorShifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
    auto rotation = static_cast<uint32_t>(old >> 59u);
    return (xorShifted >> rotation) | (xorShifted << ((32u - rotation) & 31u));
  }

  // Uniform in [0, 1), 24 bits of resolution (exact in a float).
  float uniform() { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); }
  // Uniform in [-1, 1).
  float bipolar() { return uniform() * 2.0f - 1.0f; }

 private:
  static constexpr uint64_t kMultiplier = 6364136223846793005ULL;
  uint64_t state_ = 0;
  uint64_t increment_;
};
