// The one-pole smoother shared by the Opt, Dis and transformer stages.
//
// new state = (1 - c)·v + c·s, with both products in single precision, the sum
// formed in double precision with the guard offset between the two terms, and
// rounded once. A rise/fall smoother takes its up coefficient while the new
// value lies above the state and its down coefficient otherwise.
#pragma once

#include "dsp/ChannelPair.h"

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

// Rise/fall coefficients of both channels, lane by lane.
struct RiseFall2 {
    F2 upC, upOneMinusC, downC, downOneMinusC;
};

inline RiseFall2 pairOf(const RiseFall& ch1, const RiseFall& ch2) {
    return {f2(ch1.up.c, ch2.up.c), f2(ch1.up.oneMinusC, ch2.up.oneMinusC), f2(ch1.down.c, ch2.down.c),
            f2(ch1.down.oneMinusC, ch2.down.oneMinusC)};
}

// One rise/fall step of both channels; the choice of coefficient is a select,
// not a branch.
KVB_ALWAYS_INLINE inline F2 riseFallStep(F2 v, F2 s, const RiseFall2& k, D2 guard) {
    const Mask2 rising = v > s;
    const F2 c = select(rising, k.upC, k.downC);
    const F2 oneMinusC = select(rising, k.upOneMinusC, k.downOneMinusC);
    return narrow(widen(oneMinusC * v) + guard + widen(c * s));
}

// Four lanes, each with its own coefficients: two smoothers of both channels.
struct RiseFall4 {
    F4 upC, upOneMinusC, downC, downOneMinusC;
};

inline RiseFall4 pairOf(const RiseFall2& low, const RiseFall2& high) {
    return {f4(low.upC, high.upC), f4(low.upOneMinusC, high.upOneMinusC), f4(low.downC, high.downC),
            f4(low.downOneMinusC, high.downOneMinusC)};
}

KVB_ALWAYS_INLINE inline F4 riseFallStep(F4 v, F4 s, const RiseFall4& k, D2 guard) {
    const Mask4 rising = v > s;
    const F4 a = select(rising, k.upOneMinusC, k.downOneMinusC) * v;
    const F4 b = select(rising, k.upC, k.downC) * s;
    return narrow(widenLow(a) + guard + widenLow(b), widenHigh(a) + guard + widenHigh(b));
}

