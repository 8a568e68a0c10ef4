// Levels and decibels, and time constants at the running rate: the small
// helpers every stage shares. The array forms give, value for value, exactly
// the bits of the one-value forms, so the chain may take either.
#pragma once

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

// dB above a threshold for each channel whose level lies above it, else 0.
// Both logarithms are taken together, of 1 where a level is not above.
KVB_ALWAYS_INLINE inline F2 decibelsOver(F2 level, F2 threshold, F2 thresholdDb) {
    const Mask2 above = level > threshold;
    if (bits(above) == 0) return zero2();
    const F2 dB = f2(20.0f) * log10Levels(select(above, level, f2(1.0f))) - thresholdDb;
    return select(above, dB, zero2());
}

// 10^(dB/20); a gain of exactly zero dB needs no power.
inline float dbToGain(float db) { return db == 0.0f ? 1.0f : exp10Gain(db * 0.05f); }

// Applies a dB gain per channel, or channel 1's to both when linked.
inline F2 applyGain(F2 x, F2 db, bool linked) {
    if (linked) return x * f2(dbToGain(lane0(db)));
    return x * f2(dbToGain(lane0(db)), dbToGain(lane1(db)));
}
