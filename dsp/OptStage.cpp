#include "dsp/OptStage.h"

#include <cmath>

#include "dsp/LevelMath.h"

OptCoefficients optCoefficients(int mode, float osRateRatio) {
    const OptModeConstants& m = kOptModes[mode];
    OptCoefficients k;
    for (int i = 0; i < 4; ++i) {
        k.smooth[i].up = smootherCoef(rateScaled(m.smoothUp[i], osRateRatio));
        k.smooth[i].down = smootherCoef(rateScaled(m.smoothDown[i], osRateRatio));
    }
    k.emphasis.up = smootherCoef(rateScaled(m.emphasisUp, osRateRatio));
    k.emphasis.down = smootherCoef(rateScaled(m.emphasisDown, osRateRatio));
    k.detectorEmphasis = m.detectorEmphasis;
    return k;
}

OptChannelSettings optChannelSettings(float thr, float gain, float bypass) {
    OptChannelSettings s;
    s.thresholdDb = thr * 50.0f - 60.0f;
    s.threshold = exp10Gain(s.thresholdDb * 0.05f);
    s.makeUpDb = gain * 15.0f;
    s.active = bypass < 0.5f ? 1.0f : 0.0f;
    return s;
}

OptStepSettings optStepSettings(const OptCoefficients& k, const OptChannelSettings (&ch)[2], bool linked) {
    OptStepSettings s;
    s.emphasis = pairOf(k.emphasis, k.emphasis);
    for (int i = 0; i < 4; ++i) s.smooth[i] = pairOf(k.smooth[i], k.smooth[i]);
    s.detectorEmphasis = f2(k.detectorEmphasis);
    s.thresholdDb = f2(ch[0].thresholdDb, ch[1].thresholdDb);
    s.threshold = f2(ch[0].threshold, ch[1].threshold);
    s.makeUpDb = f2(ch[0].makeUpDb, ch[1].makeUpDb);
    s.active = f2(ch[0].active, ch[1].active);
    // Only where the linear threshold is an ordinary float does it stand for
    // its dB value closely enough; elsewhere the logarithm decides.
    const float margin = exp10Gain(10.1f * 0.05f);
    float full[2];
    for (int c = 0; c < 2; ++c)
        full[c] = ch[c].threshold >= 1e-30f ? ch[c].threshold * margin : INFINITY;
    s.fullEmphasisLevel = f2(full[0], full[1]);
    s.linked = linked;
    return s;
}
