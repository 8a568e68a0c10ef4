// The low-level noise added to both stage inputs: a 32-bit linear congruential
// generator owned by each instance, so that renders repeat exactly and two
// instances share nothing.
#pragma once

#include <cstdint>

namespace noise {
// One step of the generator: state·kMul + kAdd (mod 2^32).
constexpr std::uint32_t kMul = 214013u, kAdd = 2531011u;
// Several steps at once: state·mul + add.
struct Jump {
    std::uint32_t mul, add;
};
constexpr Jump jump(int steps) {
    Jump j{1u, 0u};
    for (int i = 0; i < steps; ++i) j = {j.mul * kMul, j.add * kMul + kAdd};
    return j;
}
}  // namespace noise

class NoiseGenerator {
public:
    // One draw: an integer in 0..32767.
    int draw() {
        state = state * noise::kMul + noise::kAdd;
        return drawOf(state);
    }

    // The noise of one channel for one input sample: three draws, at most 9e-6.
    float next() {
        const int r1 = draw();
        const int r2 = draw();
        const int r3 = draw();
        return noiseOf(r1 + r2 + r3);
    }

    // The noise of both channels for one input sample: the same six draws
    // as next() twice, each taken straight from the state before them, so
    // that the draws do not wait for one another.
    void nextPair(float& first, float& second) {
        std::uint32_t states[6];
        for (int k = 0; k < 6; ++k) states[k] = state * kJump[k].mul + kJump[k].add;
        state = states[5];
        first = noiseOf(drawOf(states[0]) + drawOf(states[1]) + drawOf(states[2]));
        second = noiseOf(drawOf(states[3]) + drawOf(states[4]) + drawOf(states[5]));
    }

    std::uint32_t seed() const { return state; }

private:
    // The draw a state gives, and the noise of three draws' sum.
    static int drawOf(std::uint32_t s) { return static_cast<int>((s >> 16) & 0x7FFFu); }
    static float noiseOf(int sum) { return (static_cast<float>(sum) * 3e-6f) * (1.0f / 32767.0f); }

    static constexpr noise::Jump kJump[6] = {noise::jump(1), noise::jump(2), noise::jump(3),
                                             noise::jump(4), noise::jump(5), noise::jump(6)};

    std::uint32_t state = 1u;
};
