// The Opt stage: the first gain stage of both channels, run at the
// oversampled rate. Its detector hears the signal through two peaking bands
// (side-chain sections 0 and 1): the first band's gain rises with how far the
// detector stood above the threshold one step earlier, the second is fixed per
// Opt mode. The level above the threshold passes two smoothers, a fixed curve
// into dB of gain reduction and two more smoothers; the result is taken from
// the make-up gain.
#pragma once

#include <algorithm>
#include <cmath>

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

struct OptChannel {
    float emphasisLevel = 0.0f;  // 0 to 1, drives the first band's gain
    float over = 0.0f;           // dB above threshold at the latest step
    float smooth1 = 0.0f;
    float smooth2 = 0.0f;
    float smooth3 = 0.0f;
    float reduction = 0.0f;      // gain reduction in dB, metered
};

// dB above threshold (smoothed) to dB of gain reduction:
// 50·P(over/50), P(u) = 0.27918664u + 1.3143543u³ − 1.4910889u⁵ + 0.50095296u⁷.
inline float optCurve(float over) {
    const float u = over * 0.02f;
    const float u2 = u * u;
    const float u3 = u * u2;
    const float u5 = u3 * u2;
    const float u7 = u5 * u2;
    return (u3 * 1.3143543f + u * 0.27918664f - u5 * 1.4910889f) * 50.0f + (u7 * 0.50095296f) * 50.0f;
}

// 10^(dB/20); a gain of exactly zero dB needs no power.
inline float dbToGain(float db) { return db == 0.0f ? 1.0f : powf(10.0f, db * 0.05f); }

// One oversampled step of both channels: x in, gain-applied x out. band1 and
// band2 are side-chain sections 0 and 1; g is the chain's guard offset.
inline void optStep(OptChannel (&st)[2], const OptCoefficients& k, const OptChannelSettings (&cs)[2],
                    bool linked, PeakingCore& band1, PeakingCore& band2, float (&x)[2], double g) {
    for (OptChannel& c : st) {
        const float e = std::min(std::max(c.over * 0.1f, 0.0f), 1.0f);
        c.emphasisLevel = riseFallStep(e, c.emphasisLevel, k.emphasis, g);
    }

    band1.run(x[0], x[1]);
    float s[2];
    for (int i = 0; i < 2; ++i) {
        const float a = band1.ch[i].y;
        s[i] = ((x[i] - a) * (4.0f * st[i].emphasisLevel + 0.25f) + (a + x[i])) * 0.5f;
    }

    band2.run(s[0], s[1]);
    for (int i = 0; i < 2; ++i) {
        OptChannel& c = st[i];
        const float b = band2.ch[i].y;
        const float d = std::fabs(((s[i] - b) * k.detectorEmphasis + (b + s[i])) * 0.5f);
        c.over = d > cs[i].threshold ? 20.0f * log10f(d) - cs[i].thresholdDb : 0.0f;
        c.smooth1 = riseFallStep(c.over, c.smooth1, k.smooth[0], g);
        c.smooth2 = riseFallStep(c.smooth1, c.smooth2, k.smooth[1], g);
        c.smooth3 = riseFallStep(optCurve(c.smooth2), c.smooth3, k.smooth[2], g);
        c.reduction = riseFallStep(c.smooth3, c.reduction, k.smooth[3], g);
    }

    if (linked) {
        const float gain = dbToGain(
            (cs[0].makeUpDb - (st[1].reduction + st[0].reduction) * 0.5f) * cs[0].active);
        x[0] *= gain;
        x[1] *= gain;
    } else {
        x[0] *= dbToGain((cs[0].makeUpDb - st[0].reduction) * cs[0].active);
        x[1] *= dbToGain((cs[1].makeUpDb - st[1].reduction) * cs[1].active);
    }
}
