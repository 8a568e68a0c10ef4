#include "dsp/OptStage.h"

#include <cmath>

#include "dsp/BlockSettings.h"

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
    s.threshold = powf(10.0f, s.thresholdDb * 0.05f);
    s.makeUpDb = gain * 15.0f;
    s.active = bypass < 0.5f ? 1.0f : 0.0f;
    return s;
}
