// The low-level noise added to both stage inputs: a 32-bit linear congruential
// generator owned by each instance, so that renders repeat exactly and two
// instances share nothing.
#pragma once

#include <cstdint>

class NoiseGenerator {
public:
    // One draw: an integer in 0..32767.
    int draw() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }

    // The noise of one channel for one input sample: three draws, at most 9e-6.
    float next() {
        const int r1 = draw();
        const int r2 = draw();
        const int r3 = draw();
        return (static_cast<float>(r1 + r2 + r3) * 3e-6f) * (1.0f / 32767.0f);
    }

    std::uint32_t seed() const { return state; }

private:
    std::uint32_t state = 1u;
};
