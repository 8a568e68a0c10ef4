// The Dis stage: the second gain stage of both channels, run at the
// oversampled rate after the Opt stage. Its side chain passes section 2 (a low
// band cut by 6 dB when SCFilt is off), a level curve, a threshold with a cubic
// knee below 20 dB over, and an attack/release smoother; the smoothed dB over
// times the ratio factor is the gain reduction.
#pragma once

#include <cmath>

#include "dsp/OptStage.h"
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

struct DisChannel {
    float smooth = 0.0f;  // smoothed, knee-shaped dB above threshold
};

// Side-chain magnitude to detector level. Up to 1.0 a polynomial that rises
// from 0.03125 (−30.1 dB) at 0; above 1.0 the magnitude itself.
inline float disLevelCurve(float sc) {
    const float level = std::fabs(sc);
    if (level > 1.0f) return level;
    const float q2 = sc * sc;
    const float q4 = q2 * q2;
    return 2.0f * (q4 * (4.5072875f * q2 - 3.7919977f - 1.9086499f * q4) +
                   (1.6720511f * q2 + 0.015623941f));
}

// Cubic knee: below 20 dB over, 20·(over/20)³.
inline float disKnee(float over) {
    if (over < 20.0f) {
        const float t = over * 0.05f;
        return t * t * t * 20.0f;
    }
    return over;
}

// One oversampled step of both channels: y in, gain-applied y out. band is
// side-chain section 2; g is the chain's guard offset.
inline void disStep(DisChannel (&st)[2], const DisChannelSettings (&cs)[2], bool linked,
                    PeakingCore& band, float (&y)[2], double g) {
    band.run(y[0], y[1]);
    for (int i = 0; i < 2; ++i) {
        const float w = band.ch[i].y;
        const float sc = ((y[i] - w) * cs[i].bandGain + (w + y[i])) * 0.5f;
        const float level = disLevelCurve(sc);
        const float over = level > cs[i].threshold ? 20.0f * log10f(level) - cs[i].thresholdDb : 0.0f;
        st[i].smooth = riseFallStep(disKnee(over), st[i].smooth, cs[i].smoother, g);
    }

    if (linked) {
        const float gain = dbToGain(
            (cs[0].makeUpDb - ((st[1].smooth + st[0].smooth) * 0.5f) * cs[0].ratio) * cs[0].active);
        y[0] *= gain;
        y[1] *= gain;
    } else {
        y[0] *= dbToGain((cs[0].makeUpDb - cs[0].ratio * st[0].smooth) * cs[0].active);
        y[1] *= dbToGain((cs[1].makeUpDb - cs[1].ratio * st[1].smooth) * cs[1].active);
    }
}
