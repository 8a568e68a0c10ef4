// Levels and decibels, and time constants at the running rate: the small
// helpers every stage shares. The array forms give, value for value, exactly
// the bits of the one-value forms, so the chain may take either.
#pragma once

#include <cstring>

#include "dsp/ChannelPair.h"
#include "dsp/math/Sse2Lanes.h"

// log10(x) and 10^x, single precision.
float log10Level(float x);
float exp10Gain(float x);

// out[i] = log10Level(in[i]) / exp10Gain(in[i]) for i < n. in and out may be
// the same array. No allocation, no locks.
void log10Array(const float* in, float* out, int n);
void exp10Array(const float* in, float* out, int n);

// A per-sample coefficient c written for 44100 Hz, at another rate:
// exp(ln(c)·ratio), ratio being 44100 over the rate the coefficient runs at.
float rateScaled(float c, float ratio);

// log10Level of both channels.
inline F2 log10Levels(F2 x) {
#if KVB_SSE2_LANES
    return F2{crm::log10Pair(x.v)};
#else
    return f2(log10Level(lane0(x)), log10Level(lane1(x)));
#endif
}

// dB above a threshold from a level and its logarithm: 20·log10(level) less
// the threshold in dB where the level lies above the threshold, else 0.
template <class V>
KVB_ALWAYS_INLINE inline V decibelsOverOf(V level, V log10OfLevel, V threshold, V thresholdDb) {
    return select(level > threshold, splat<V>(20.0f) * log10OfLevel - thresholdDb, splat<V>(0.0f));
}

// The same for one step, in the middle of a recursion: the logarithms only
// where a level lies above, both together (of 1 where a level is not above).
KVB_ALWAYS_INLINE inline F2 decibelsOver(F2 level, F2 threshold, F2 thresholdDb) {
    const Mask2 above = level > threshold;
    if (bits(above) == 0) return zero2();
    return decibelsOverOf(level, log10Levels(select(above, level, f2(1.0f))), threshold, thresholdDb);
}

// The same for a run of steps (n values: pairs of both channels, n even). The
// logarithms are taken over the whole run at once, or not at all where no
// level lies above (for a stage that waits below its threshold, most runs).
// Answers whether any level lies above.
inline bool decibelsOverRun(const float* level, float* over, int n, F2 threshold, F2 thresholdDb) {
    const F4 thr = f4(threshold), thrDb = f4(thresholdDb);
    F4 above = zero4();
    int i = 0;
    for (; i + 4 <= n; i += 4) above = above + select(load4(&level[i]) > thr, f4(1.0f), zero4());
    alignas(16) float counts[4];
    store4(counts, above);
    const bool tailAbove = i < n && bits(loadPair(&level[i]) > threshold) != 0;
    if (counts[0] + counts[1] + counts[2] + counts[3] == 0.0f && !tailAbove) {
        for (int k = 0; k < n; ++k) over[k] = 0.0f;
        return false;
    }
    log10Array(level, over, n);
    for (i = 0; i + 4 <= n; i += 4) store4(&over[i], decibelsOverOf(load4(&level[i]), load4(&over[i]), thr, thrDb));
    if (i < n) storePair(&over[i], decibelsOverOf(loadPair(&level[i]), loadPair(&over[i]), threshold, thresholdDb));
    return true;
}

// Whether every exponent of a run (n values, a multiple of four, or n = 2)
// lies below 2^-27 in magnitude, where 10^x rounds to 1 exactly: a stage
// that reduces nothing and adds no make-up (a quiet passage) then leaves its
// input as it is, x·1 = x, and the powers need not be taken.
inline bool gainsAllOne(const float* exponent, int n) {
    F4 large = zero4();
    for (int i = 0; i + 4 <= n; i += 4) large = large + select(f4(0x1p-27f) < abs(load4(&exponent[i])), f4(1.0f), zero4());
    alignas(16) float counts[4];
    store4(counts, large);
    const bool tail = n % 4 != 0 && bits(f2(0x1p-27f) < abs(loadPair(&exponent[n - 2]))) != 0;
    return counts[0] + counts[1] + counts[2] + counts[3] == 0.0f && !tail;
}

// Gains in dB to linear gains applied to a run of values: out = x · 10^(dB/20),
// dB·0.05 taken first. n values (pairs, n even); gain holds the dB on the
// way in, and is scratch afterwards.
inline void applyGainsRun(float* gain, const float* x, float* out, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) store4(&gain[i], load4(&gain[i]) * f4(0.05f));
    if (i < n) storePair(&gain[i], loadPair(&gain[i]) * f2(0.05f));
    if (gainsAllOne(gain, n)) {
        std::memmove(out, x, sizeof(float) * static_cast<unsigned>(n));
        return;
    }
    exp10Array(gain, gain, n);
    for (i = 0; i + 4 <= n; i += 4) store4(&out[i], load4(&x[i]) * load4(&gain[i]));
    if (i < n) storePair(&out[i], loadPair(&x[i]) * loadPair(&gain[i]));
}

// The same with one gain per step for both channels (the linked stages):
// gain holds `steps` values, already multiplied by 0.05, applied to the pairs
// of x. steps a multiple of four.
inline void applySharedGainsRun(float* gain, const float* x, float* out, int steps) {
    if (gainsAllOne(gain, steps)) {
        std::memmove(out, x, sizeof(float) * 2 * static_cast<unsigned>(steps));
        return;
    }
    exp10Array(gain, gain, steps);
    for (int i = 0; i < steps; i += 4) {
        const F4 g = load4(&gain[i]);
        store4(&out[2 * i], load4(&x[2 * i]) * pairsOfLow(g));
        store4(&out[2 * i + 4], load4(&x[2 * i + 4]) * pairsOfHigh(g));
    }
}

// The mean of both channels' values for four steps: (channel 2 + channel 1)·0.5.
KVB_ALWAYS_INLINE inline F4 meanOfChannels(const float* pairs) {
    const F4 a = load4(pairs), b = load4(pairs + 4);
    return (channel2Of(a, b) + channel1Of(a, b)) * f4(0.5f);
}
