// One-pole DC blocker at the host rate: y = x − x1 + pole·y, with a pole of
// 0.9987 per 1/44100 s, a 17.4 ms time constant (corner about 9.1 Hz) at any
// sample rate.
#pragma once

#include "dsp/ChannelPair.h"

constexpr float kDcPole44k = 0.9987f;

// The pole for the running rate: 0.9987^(44100 / fs).
float dcBlockerPole(float rateRatio);

// Both channels.
struct DcBlocker {
    F2 x1 = zero2();  // previous input
    F2 y = zero2();   // latest output

    // x + g − x1 + pole·y: the product in single precision, the sum in double
    // in this order, rounded once. g is the guard offset.
    KVB_ALWAYS_INLINE F2 step(F2 x, F2 pole, D2 g) {
        y = narrow(widen(x) + g - widen(x1) + widen(pole * y));
        x1 = x;
        return y;
    }
};
