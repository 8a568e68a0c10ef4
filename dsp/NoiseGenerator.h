// The low-level noise added to both stage inputs: a 32-bit linear congruential
// generator owned by each instance, so that renders repeat exactly and two
// instances share nothing.
#pragma once

#include <cstdint>

namespace noise {
// Several steps of the generator at once: state·mul + add (mod 2^32).
struct Jump {
    std::uint32_t mul, add;
};
constexpr Jump jump(int steps) {
    Jump j{1u, 0u};
    for (int i = 0; i < steps; ++i) j = {j.mul * 214013u, j.add * 214013u + 2531011u};
    return j;
}
}  // namespace noise

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

    // The noise of both channels for one input sample: the same six draws
    // as next() twice, each taken straight from the state before them, so
    // that the draws do not wait for one another.
    void nextPair(float& first, float& second) {
        std::uint32_t r[6];
        for (int k = 0; k < 6; ++k) r[k] = ((state * kJump[k].mul + kJump[k].add) >> 16) & 0x7FFFu;
        state = state * kJump[5].mul + kJump[5].add;
        first = (static_cast<float>(static_cast<int>(r[0] + r[1] + r[2])) * 3e-6f) * (1.0f / 32767.0f);
        second = (static_cast<float>(static_cast<int>(r[3] + r[4] + r[5])) * 3e-6f) * (1.0f / 32767.0f);
    }

    std::uint32_t seed() const { return state; }

private:
    static constexpr noise::Jump kJump[6] = {noise::jump(1), noise::jump(2), noise::jump(3),
                                             noise::jump(4), noise::jump(5), noise::jump(6)};

    std::uint32_t state = 1u;
};
