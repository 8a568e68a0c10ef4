// The transformer stage at the host rate: a gain on the peaks of a two-sample
// average above a threshold. The gain drops at once when the level rises and
// recovers with a release coefficient applied per output sample (not scaled
// to the rate). Modes 0 and 1 have negative slopes: above the threshold the
// output level falls as the input rises.
#pragma once

#include "dsp/Smoother.h"

struct TransformerMode {
    float threshold;
    float slope;
    float release;
};

// The slopes are these single-precision values exactly, not −0.1 and 0.2.
constexpr TransformerMode kTransformerModes[3] = {
    {0.5f, -0.3f, 0.9997f},
    {0.7f, -0.100000024f, 0.9995f},
    {0.9f, 0.19999999f, 0.999f},
};

struct TransformerSettings {
    float threshold = 0.9f;
    float slope = 0.19999999f;
    SmootherCoef release;
};

TransformerSettings transformerSettings(int mode);

// The settings of both channels, lane by lane.
struct TransformerLanes {
    F2 threshold, slope, releaseC, releaseOneMinusC;
};

TransformerLanes transformerLanes(const TransformerSettings& ch1, const TransformerSettings& ch2);

// Both channels.
struct Transformer {
    F2 level = zero2();  // two-sample average of the input
    F2 gain = f2(1.0f);

    // g is the guard offset of the release's sum.
    KVB_ALWAYS_INLINE F2 step(F2 x, const TransformerLanes& s, D2 g) {
        level = (x + level) * f2(0.5f);
        const F2 a = abs(level);
        // ((a − threshold)·slope + threshold) / a above the threshold, else 1.
        // Lanes not above divide by 1 (their quotient is not taken), so that
        // no lane divides zero by zero.
        const Mask2 above = a > s.threshold;
        F2 c = f2(1.0f);
        if (bits(above) != 0)  // seldom: the division is slow
            c = select(above, ((a - s.threshold) * s.slope + s.threshold) / select(above, a, f2(1.0f)), c);
        // A gain above the last one is approached with the release.
        c = select(c > gain, smoothStep(c, gain, s.releaseC, s.releaseOneMinusC, g), c);
        gain = c;
        return x * c;
    }
};
