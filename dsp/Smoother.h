// The one-pole smoother shared by the Opt, Dis and transformer stages.
//
// new state = (1 - c)·v + c·s, with both products in single precision, the sum
// formed in double precision with the guard offset between the two terms, and
// rounded once. A rise/fall smoother takes its up coefficient while the new
// value lies above the state and its down coefficient otherwise.
#pragma once

struct SmootherCoef {
    float c = 0.0f;
    float oneMinusC = 1.0f;  // 1 - c, single precision
};

inline SmootherCoef smootherCoef(float c) { return {c, 1.0f - c}; }

inline float smoothStep(float v, float s, SmootherCoef k, double guard) {
    return static_cast<float>(static_cast<double>(k.oneMinusC * v) + guard +
                              static_cast<double>(k.c * s));
}

struct RiseFall {
    SmootherCoef up;
    SmootherCoef down;
};

inline float riseFallStep(float v, float s, const RiseFall& k, double guard) {
    // Selecting the two factors separately keeps this free of branches.
    const bool rising = v > s;
    const SmootherCoef c{rising ? k.up.c : k.down.c, rising ? k.up.oneMinusC : k.down.oneMinusC};
    return smoothStep(v, s, c, guard);
}
