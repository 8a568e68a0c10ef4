// The Dis stage: the second gain stage of both channels, run at the
// oversampled rate after the Opt stage. Its side chain passes section 2 (a low
// band cut by 6 dB when SCFilt is off), a level curve, a threshold with a cubic
// knee below 20 dB over, and an attack/release smoother; the smoothed dB over
// times the ratio factor is the gain reduction.
//
// In the chain's order: disBand (one step of the band), disOverRun (level
// curve, dB over and knee of a run of steps), disSmoothStep (one step of the
// smoother), disGainRun (the gain on the signal).
#pragma once

#include "dsp/LevelMath.h"
#include "dsp/QS_Peaking_1.h"
#include "dsp/Smoother.h"

// One row of the stepped settings, written for a 44100 Hz host.
struct DisTableRow {
    float attack;
    float release;
    float ratio;  // fraction of the dB over that is taken off
};

constexpr DisTableRow kDisTable[6] = {
    {0.6f, 0.9995f, 0.2f},    {0.9f, 0.9998f, 0.5f},     {0.95f, 0.9999f, 0.666f},
    {0.99f, 0.999935f, 0.75f}, {0.995f, 0.999956f, 0.8f}, {0.998f, 0.99997f, 0.9f},
};

// Six-position selector: trunc(v·5.5); anything other than 1 to 5 is row 0.
int disIndex(float v);

struct DisChannelSettings {
    float bandGain = 1.0f;    // 0.5 cuts the side chain's low band by 6 dB
    float thresholdDb = 0.0f;
    float threshold = 1.0f;   // linear
    RiseFall smoother;        // attack while rising, release otherwise
    float ratio = 0.2f;
    float makeUpDb = 0.0f;
    float active = 1.0f;      // 1.0 working, 0.0 bypassed
};

// From DisThr, DisAtk, DisRat, DisRls, DisGain, DisByp and SCFilt of one channel.
DisChannelSettings disChannelSettings(float thr, float attack, float ratio, float release,
                                      float gain, float bypass, float scFilter, float osRateRatio);

// Everything one Dis step needs, both channels side by side.
struct DisStepSettings {
    RiseFall2 smoother;
    F2 bandGain, thresholdDb, threshold, ratio, makeUpDb, active;
    bool linked = false;  // one gain for both channels
};

DisStepSettings disStepSettings(const DisChannelSettings (&ch)[2], bool linked);

// The Dis state of both channels.
struct DisState {
    F2 smooth = zero2();  // smoothed, knee-shaped dB above threshold
};

// Side-chain magnitude to detector level. Up to 1.0 a polynomial that rises
// from 0.03125 (−30.1 dB) at 0; above 1.0 the magnitude itself.
// For one step (F2) or two (F4) of both channels.
//
// Below |sc| = 2^-20 sc² is taken as zero: there 1.6720511·sc² and the sc⁴
// term lie below 2^-26 of the constant 0.015623941 they are added to, so the
// curve is 2·0.015623941 either way, the same bits; left in, sc⁴ would be
// subnormal below 2^-31.5, where a quiet side chain crosses zero.
template <class V>
KVB_ALWAYS_INLINE inline V disLevelCurveOf(V sc) {
    const V magnitude = abs(sc);
    const V q = select(magnitude < splat<V>(0x1p-20f), splat<V>(0.0f), sc);
    const V q2 = q * q;
    const V q4 = q2 * q2;
    const V curve = splat<V>(2.0f) * (q4 * (splat<V>(4.5072875f) * q2 - splat<V>(3.7919977f) -
                                            splat<V>(1.9086499f) * q4) +
                                      (splat<V>(1.6720511f) * q2 + splat<V>(0.015623941f)));
    return select(magnitude > splat<V>(1.0f), magnitude, curve);
}
KVB_ALWAYS_INLINE inline F2 disLevelCurve(F2 sc) { return disLevelCurveOf(sc); }
KVB_ALWAYS_INLINE inline F4 disLevelCurve(F4 sc) { return disLevelCurveOf(sc); }
inline float disLevelCurve(float sc) { return lane0(disLevelCurve(f2(sc))); }

// Cubic knee: below 20 dB over, 20·(over/20)³. For one step (F2) or two (F4).
template <class V>
KVB_ALWAYS_INLINE inline V disKnee(V over) {
    const V t = over * splat<V>(0.05f);
    return select(over < splat<V>(20.0f), t * t * t * splat<V>(20.0f), over);
}

// The band's part of the side chain (the recursive one) for one oversampled
// step; the level curve follows over many steps at once (disOverRun). band
// is side-chain section 2; disBandOf forms the band from the step's input y
// and the section's output w.
KVB_ALWAYS_INLINE inline F2 disBandOf(const DisStepSettings& k, F2 y, F2 w) {
    return ((y - w) * k.bandGain + (w + y)) * f2(0.5f);
}
KVB_ALWAYS_INLINE inline F2 disBand(const DisStepSettings& k, PeakingCore& band, F2 y) {
    return disBandOf(k, y, band.run(y));
}

// For a run of band outputs (n values, pairs of both channels): the level
// curve, the dB over the threshold and the knee, the smoother's input. level
// holds the band outputs on the way in and the levels on the way out.
inline void disOverRun(const DisStepSettings& k, float* level, float* over, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) store4(&level[i], disLevelCurve(load4(&level[i])));
    if (i < n) storePair(&level[i], disLevelCurve(loadPair(&level[i])));
    // Where no level lies above, every dB over is +0, which the knee keeps.
    if (!decibelsOverRun(level, over, n, k.threshold, k.thresholdDb)) return;
    for (i = 0; i + 4 <= n; i += 4) store4(&over[i], disKnee(load4(&over[i])));
    if (i < n) storePair(&over[i], disKnee(loadPair(&over[i])));
}

// One step of the smoother on the knee-shaped dB over; answers the smoothed
// dB over. g is the guard offset.
KVB_ALWAYS_INLINE inline F2 disSmoothStep(DisState& st, const DisStepSettings& k, F2 kneeOver, D2 g) {
    st.smooth = riseFallStep(kneeOver, st.smooth, k.smoother, g);
    return st.smooth;
}

// The stage's gain on a run of y: y·10^(dB/20), dB = (make-up − ratio·
// smoothed dB over)·active; in linked operation channel 1's settings with the
// mean of both channels. smooth, y and z hold pairs of both channels, gain is
// scratch for as many. steps a multiple of four.
inline void disGainRun(const DisStepSettings& k, const float* smooth, const float* y, float* gain, float* z,
                       int steps) {
    if (k.linked) {
        const F4 makeUp = f4(lane0(k.makeUpDb)), ratio = f4(lane0(k.ratio)), active = f4(lane0(k.active));
        for (int i = 0; i < steps; i += 4)
            store4(&gain[i], (makeUp - meanOfChannels(&smooth[2 * i]) * ratio) * active * f4(0.05f));
        applySharedGainsRun(gain, y, z, steps);
    } else {
        const F4 makeUp = f4(k.makeUpDb), ratio = f4(k.ratio), active = f4(k.active);
        for (int i = 0; i < 2 * steps; i += 4) store4(&gain[i], (makeUp - ratio * load4(&smooth[i])) * active);
        applyGainsRun(gain, y, z, 2 * steps);
    }
}
