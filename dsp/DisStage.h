// The Dis stage: the second gain stage of both channels, run at the
// oversampled rate after the Opt stage. Its side chain passes section 2 (a low
// band cut by 6 dB when SCFilt is off), a level curve, a threshold with a cubic
// knee below 20 dB over, and an attack/release smoother; the smoothed dB over
// times the ratio factor is the gain reduction.
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

// Cubic knee: below 20 dB over, 20·(over/20)³.
inline F2 disKnee(F2 over) {
    const F2 t = over * f2(0.05f);
    return select(over < f2(20.0f), t * t * t * f2(20.0f), over);
}

// The band's part of the side chain (the recursive one) for one oversampled
// step, for a caller that takes the level curve over many steps at once. band
// is side-chain section 2.
KVB_ALWAYS_INLINE inline F2 disBand(const DisStepSettings& k, PeakingCore& band, F2 y) {
    const F2 w = band.run(y);
    return ((y - w) * k.bandGain + (w + y)) * f2(0.5f);
}

// The side chain of one oversampled step: band, then level curve; returns
// the detector level.
KVB_ALWAYS_INLINE inline F2 disLevel(const DisStepSettings& k, PeakingCore& band, F2 y) {
    return disLevelCurve(disBand(k, band, y));
}

// dB over the threshold through the knee into the smoother; returns the
// smoothed dB over. g is the guard offset.
inline F2 disSmooth(DisState& st, const DisStepSettings& k, F2 over, D2 g) {
    st.smooth = riseFallStep(disKnee(over), st.smooth, k.smoother, g);
    return st.smooth;
}

// The stage's gain on y: make-up less ratio times the smoothed dB over,
// times the active flag; in linked operation channel 1's settings with the
// mean of both channels.
inline F2 disGain(const DisStepSettings& k, F2 smooth, F2 y) {
    if (k.linked) {
        const float shared = (lane1(smooth) + lane0(smooth)) * 0.5f;
        return applyGain(y, f2((lane0(k.makeUpDb) - shared * lane0(k.ratio)) * lane0(k.active)), true);
    }
    return applyGain(y, (k.makeUpDb - k.ratio * smooth) * k.active, false);
}

// One whole oversampled step of both channels: returns y times the gain.
inline F2 disStep(DisState& st, const DisStepSettings& k, PeakingCore& band, F2 y, D2 g) {
    const F2 level = disLevel(k, band, y);
    return disGain(k, disSmooth(st, k, decibelsOver(level, k.threshold, k.thresholdDb), g), y);
}
