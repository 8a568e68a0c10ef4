// The Opt stage: the first gain stage of both channels, run at the
// oversampled rate. Its detector hears the signal through two peaking bands
// (side-chain sections 0 and 1): the first band's gain rises with how far the
// detector stood above the threshold one step earlier, the second is fixed per
// Opt mode. The level above the threshold passes two smoothers, a fixed curve
// into dB of gain reduction and two more smoothers; the result is taken from
// the make-up gain.
//
// In the chain's order: optLevel (one step of the detector), optOverRun (the
// dB over of a run of steps), SkewedOptSmoothers (the reduction),
// optGainRun (the gain on the signal).
#pragma once

#include "dsp/LevelMath.h"
#include "dsp/QS_Peaking_1.h"
#include "dsp/Smoother.h"

// Constants of one Opt mode, written for a 44100 Hz host.
struct OptModeConstants {
    float emphasisUp, emphasisDown;
    float smoothUp[4], smoothDown[4];
    PeakingSettings band[3];  // freq and width of side-chain sections 0, 1, 2
    float detectorEmphasis;   // centre gain of the second band
};

constexpr OptModeConstants kOptModes[3] = {
    {0.7f, 0.3f,
     {0.997f, 0.9999f, 0.99795f, 0.999974f},
     {0.99946f, 0.99989f, 0.9998f, 0.999974f},
     {{0.004535f, 0.5f, 0.0f}, {0.125f, 0.1f, 0.0f}, {0.004535f, 0.7f, 0.0f}},
     1.7f},
    {0.6f, 0.3f,
     {0.994f, 0.9999f, 0.9975f, 0.99992f},
     {0.99928f, 0.99983f, 0.9993f, 0.99993f},
     {{0.004535f, 0.5f, 0.0f}, {0.15f, 0.1f, 0.0f}, {0.004535f, 0.7f, 0.0f}},
     1.2f},
    {0.5f, 0.2f,
     {0.99f, 0.9999f, 0.997f, 0.9999f},
     {0.996f, 0.9998f, 0.999f, 0.9999f},
     {{0.004535f, 0.5f, 0.0f}, {0.15f, 0.1f, 0.0f}, {0.004535f, 0.7f, 0.0f}},
     1.1f},
};

// Smoothing coefficients of one block, already scaled to the oversampled rate.
struct OptCoefficients {
    RiseFall emphasis;
    RiseFall smooth[4];
    float detectorEmphasis = 1.0f;
};

OptCoefficients optCoefficients(int mode, float osRateRatio);

struct OptChannelSettings {
    float thresholdDb = 0.0f;
    float threshold = 1.0f;  // linear
    float makeUpDb = 0.0f;
    float active = 1.0f;     // 1.0 working, 0.0 bypassed
};

// From OptThr, OptGain and OptByp of one channel.
OptChannelSettings optChannelSettings(float thr, float gain, float bypass);

// Everything one Opt step needs, both channels side by side.
struct OptStepSettings {
    RiseFall2 emphasis;
    RiseFall2 smooth[4];
    F2 detectorEmphasis, thresholdDb, threshold, makeUpDb, active;
    // A detector level above this lies surely 10 dB or more over the
    // threshold (see emphasisTarget).
    F2 fullEmphasisLevel;
    bool linked = false;  // one gain for both channels
};

OptStepSettings optStepSettings(const OptCoefficients& k, const OptChannelSettings (&ch)[2], bool linked);

// The Opt state of both channels.
struct OptState {
    F2 emphasisLevel = zero2();  // 0 to 1, drives the first band's gain
    F2 over = zero2();           // dB above threshold at the latest step
    F2 emphasisTarget = zero2(); // over / 10 limited to 0..1: where the emphasis heads
    F2 smooth1 = zero2();
    F2 smooth2 = zero2();
    F2 smooth3 = zero2();
    F2 reduction = zero2();      // gain reduction in dB, metered
};

// dB above threshold (smoothed) to dB of gain reduction:
// 50·P(over/50), P(u) = 0.27918664u + 1.3143543u³ − 1.4910889u⁵ + 0.50095296u⁷,
// for one step (F2) or two (F4) of both channels.
//
// Below |u| = 2^-17 (0.0002 dB over) u² is taken as zero. There the terms of
// u³, u⁵ and u⁷ lie below 2^-26 of the sums they enter (4.71·u² < 2^-31), so
// each sum rounds to its other operand: the result is 50·(0.27918664u) either
// way, the same bits. Left in, they would be subnormal or underflow for |u|
// under 2^-18, which is where a smoother of the stage rests in silence (about
// 1e-20 from its guard offset), and each such operation costs a hundred
// cycles or more on x86.
template <class V>
KVB_ALWAYS_INLINE inline V optCurveOf(V over) {
    const V u = over * splat<V>(0.02f);
    const V uPowers = select(abs(u) < splat<V>(0x1p-17f), splat<V>(0.0f), u);
    const V u2 = uPowers * uPowers;
    const V u3 = u * u2;
    const V u5 = u3 * u2;
    const V u7 = u5 * u2;
    return (u3 * splat<V>(1.3143543f) + u * splat<V>(0.27918664f) - u5 * splat<V>(1.4910889f)) *
               splat<V>(50.0f) +
           (u7 * splat<V>(0.50095296f)) * splat<V>(50.0f);
}
KVB_ALWAYS_INLINE inline F2 optCurve(F2 over) { return optCurveOf(over); }
KVB_ALWAYS_INLINE inline F4 optCurve(F4 over) { return optCurveOf(over); }
inline float optCurve(float over) { return lane0(optCurve(f2(over))); }

// over / 10 limited to 0..1, the input of the emphasis smoother.
KVB_ALWAYS_INLINE inline F2 emphasisFromOver(F2 over) {
    F2 e = over * f2(0.1f);
    e = select(e < zero2(), zero2(), e);
    return select(f2(1.0f) < e, f2(1.0f), e);
}

// The same from the detector level d. A level at or below the threshold is
// 0 dB over and gives 0; a level above fullEmphasisLevel (10.1 dB over the
// threshold, far more margin than the rounding of the logarithm needs) is
// 10 dB or more over and gives exactly 1. Only levels in between need the
// logarithm here; the dB over of every step is taken afterwards (optOverRun).
KVB_ALWAYS_INLINE inline F2 emphasisTarget(F2 d, const OptStepSettings& k) {
    // Branches rather than selects: the next step's emphasis then need not
    // wait for this step's level, as long as the branch is foreseen. Each
    // branch's value is its own constant (opaque): a table of the four,
    // looked up by the level's bits, would make the emphasis wait again.
    const int above = bits(d > k.threshold);
    const int full = bits(d > k.fullEmphasisLevel);
    if (above == full) {
        if (full == 3) return opaque(f2(1.0f));
        if (full == 0) return opaque(zero2());
        if (full == 1) return opaque(f2(1.0f, 0.0f));
        return opaque(f2(0.0f, 1.0f));
    }
    return emphasisFromOver(decibelsOver(d, k.threshold, k.thresholdDb));
}

// The emphasis smoother's step: riseFallStep's arithmetic, the coefficients
// chosen by a branch where both channels rise or both fall (nearly always,
// and foreseen), so that the step need not wait for its comparison; the
// target holds still for long stretches (see emphasisTarget).
KVB_ALWAYS_INLINE inline F2 emphasisStep(F2 target, F2 level, const RiseFall2& k, D2 g) {
    const int rising = bits(target > level);
    if (rising == 0) return smoothStep(target, level, opaque(k.downC), opaque(k.downOneMinusC), g);
    if (rising == 3) return smoothStep(target, level, opaque(k.upC), opaque(k.upOneMinusC), g);
    return riseFallStep(target, level, k, g);
}

// The detector's recursive part for one oversampled step: the first band's
// emphasis follows the level found one step earlier, the signal passes both
// bands, and the result is the detector level d.
// band1 and band2 are side-chain sections 0 and 1 (band1 anything whose
// run(x) steps section 0: the section itself, or the chain's pair of it and
// another section); g is the guard offset.
template <class Band1>
KVB_ALWAYS_INLINE inline F2 optLevel(OptState& st, const OptStepSettings& k, Band1& band1, PeakingCore& band2, F2 x,
                                     D2 g) {
    st.emphasisLevel = emphasisStep(st.emphasisTarget, st.emphasisLevel, k.emphasis, g);
    const F2 a = band1.run(x);
    const F2 s = ((x - a) * (f2(4.0f) * st.emphasisLevel + f2(0.25f)) + (a + x)) * f2(0.5f);
    const F2 b = band2.run(s);
    const F2 d = abs(((s - b) * k.detectorEmphasis + (b + s)) * f2(0.5f));
    st.emphasisTarget = emphasisTarget(d, k);
    return d;
}

// The dB over the threshold for a run of detector levels (n values, pairs of
// both channels): the smoothers' input.
inline void optOverRun(OptState& st, const OptStepSettings& k, const float* level, float* over, int n) {
    decibelsOverRun(level, over, n, k.threshold, k.thresholdDb);
    st.over = loadPair(&over[n - 2]);
}

// The stage's gain on a run of x: x·10^(dB/20), dB = (make-up − reduction)·
// active; in linked operation channel 1's make-up and flag with the mean
// reduction of both channels. reduction, x and y hold pairs of both
// channels, gain is scratch for as many. steps a multiple of four.
inline void optGainRun(const OptStepSettings& k, const float* reduction, const float* x, float* gain, float* y,
                       int steps) {
    if (k.linked) {
        const F4 makeUp = f4(lane0(k.makeUpDb)), active = f4(lane0(k.active));
        for (int i = 0; i < steps; i += 4)
            store4(&gain[i], (makeUp - meanOfChannels(&reduction[2 * i])) * active * f4(0.05f));
        applySharedGainsRun(gain, x, y, steps);
    } else {
        const F4 makeUp = f4(k.makeUpDb), active = f4(k.active);
        for (int i = 0; i < 2 * steps; i += 4) store4(&gain[i], (makeUp - load4(&reduction[i])) * active);
        applyGainsRun(gain, x, y, 2 * steps);
    }
}

// The four smoothers of the gain reduction over a run of steps: smoother 1
// follows the dB over, smoother 2 smoother 1, smoother 3 the curve of
// smoother 2 (optCurve), smoother 4 smoother 3, which is the reduction.
// Skewed: step n advances smoother 1 to step n, smoother 2 to n - 1,
// smoother 3 to n - 2 and smoother 4 to n - 3, two smoothers of both channels
// to an F4 (riseFallStep's four lanes, their sums in D4 lanes), so that no
// step waits for the chain of four within it, while every smoother sees its
// inputs in order.
template <class D4>
class SkewedOptSmoothers {
public:
    SkewedOptSmoothers(const OptState& st, const OptStepSettings& k, D2 g)
        : k12(pairOf(k.smooth[0], k.smooth[1])), k34(pairOf(k.smooth[2], k.smooth[3])), guard4(D4::of(g, g)),
          v(f4(st.smooth1, st.smooth2)), w(f4(st.smooth3, st.reduction)), start2(st.smooth2),
          start3(st.smooth3), start4(st.reduction) {}

    // Step n with the dB over of step n; answers the reduction of step n - 3
    // (from the fourth step on). The caller runs the steps frame by frame:
    // step K of a frame (n = 4·frame + K), firstFrame for frame 0, so that
    // the tests of the run's start are one per frame, not three a step.
    template <int K>
    KVB_ALWAYS_INLINE F2 step(F2 over, bool firstFrame) {
        const F4 before = v;
        v = riseFallStep(f4(over, low(v)), v, k12, guard4);
        // Smoother 2 at step -1 is where the run started.
        if (K == 0 && firstFrame) v = f4(low(v), start2);
        // Smoothers 3 and 4 start at step 2, on step 0's curve, from their
        // states at step -1.
        if (K == 2 && firstFrame) w = f4(start3, start4);
        w = riseFallStep(f4(high(optCurve(before)), low(w)), w, k34, guard4);
        if (K == 2 && firstFrame) w = f4(low(w), start4);
        return high(w);
    }

    // After the last step: three more finish smoothers 2 to 4 and give the
    // reductions of the last three steps. Leaves the states in st.
    KVB_ALWAYS_INLINE void finish(OptState& st, F2 (&lastReductions)[3]) {
        // Smoother 1 stands at the last step now; the steps below run it on.
        const F2 end1 = low(v);
        for (int i = 0; i < 3; ++i) {
            lastReductions[i] = step<1>(low(v), false);
            if (i == 0) st.smooth2 = high(v);
            if (i == 1) st.smooth3 = low(w);
        }
        st.smooth1 = end1;
        st.reduction = lastReductions[2];
    }

    // A run on its own (what the chain's frame loop does among other
    // parts): the reductions of `frames` frames of dB over, pairs of both
    // channels; then finish.
    void run(OptState& st, const float* over, float* reduction, int frames) {
        for (int f = 0; f < frames; ++f) {
            const float* o = &over[8 * f];
            const F2 r[4] = {step<0>(loadPair(o), f == 0), step<1>(loadPair(o + 2), f == 0),
                             step<2>(loadPair(o + 4), f == 0), step<3>(loadPair(o + 6), f == 0)};
            for (int k = 0; k < 4; ++k)
                if (8 * f + 2 * k >= 6) storePair(&reduction[8 * f + 2 * k - 6], r[k]);
        }
        F2 last[3];
        finish(st, last);
        for (int k = 0; k < 3; ++k) storePair(&reduction[8 * frames - 6 + 2 * k], last[k]);
    }

private:
    RiseFall4 k12, k34;
    D4 guard4;
    F4 v, w;  // (smoother 1, smoother 2) and (smoother 3, smoother 4)
    F2 start2, start3, start4;
};
