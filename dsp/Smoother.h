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

// The step itself, for any lanes: F2 with D2 sums, F4 with D4 sums (D4Pair or
// the AVX forms' D4Ymm). guard holds the guard offset in every lane.
template <class F, class D>
KVB_ALWAYS_INLINE inline F smoothStep(F v, F s, F c, F oneMinusC, const D& guard) {
    return narrow(DoubleLanes<D>::widen(oneMinusC * v) + guard + DoubleLanes<D>::widen(c * s));
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
    return smoothStep(v, s, select(rising, k.upC, k.downC), select(rising, k.upOneMinusC, k.downOneMinusC), guard);
}

// Four lanes, each with its own coefficients: two smoothers of both channels.
struct RiseFall4 {
    F4 upC, upOneMinusC, downC, downOneMinusC;
};

inline RiseFall4 pairOf(const RiseFall2& low, const RiseFall2& high) {
    return {f4(low.upC, high.upC), f4(low.upOneMinusC, high.upOneMinusC), f4(low.downC, high.downC),
            f4(low.downOneMinusC, high.downOneMinusC)};
}

// guard4: the guard offset in all four lanes.
template <class D4>
KVB_ALWAYS_INLINE inline F4 riseFallStep(F4 v, F4 s, const RiseFall4& k, const D4& guard4) {
    const Mask4 rising = v > s;
    return smoothStep(v, s, select(rising, k.upC, k.downC), select(rising, k.upOneMinusC, k.downOneMinusC), guard4);
}
