#include "dsp/DisStage.h"

#include <cmath>

#include "dsp/LevelMath.h"

int disIndex(float v) {
    const float p = v * 5.5f;
    // Written so that a value that is not a number also lands on row 0.
    if (p >= 1.0f && p < 6.0f) return static_cast<int>(p);
    return 0;
}

DisChannelSettings disChannelSettings(float thr, float attack, float ratio, float release,
                                      float gain, float bypass, float scFilter, float osRateRatio) {
    DisChannelSettings s;
    s.smoother.up = smootherCoef(rateScaled(kDisTable[disIndex(attack)].attack, osRateRatio));
    s.smoother.down = smootherCoef(rateScaled(kDisTable[disIndex(release)].release, osRateRatio));
    s.thresholdDb = thr * 40.0f - 40.0f;
    s.threshold = exp10Gain(s.thresholdDb * 0.05f);
    s.ratio = kDisTable[disIndex(ratio)].ratio;
    s.makeUpDb = gain * 15.0f;
    s.active = bypass < 0.5f ? 1.0f : 0.0f;
    s.bandGain = scFilter < 0.5f ? 0.5f : 1.0f;
    return s;
}

DisStepSettings disStepSettings(const DisChannelSettings (&ch)[2], bool linked) {
    DisStepSettings s;
    s.smoother = pairOf(ch[0].smoother, ch[1].smoother);
    s.bandGain = f2(ch[0].bandGain, ch[1].bandGain);
    s.thresholdDb = f2(ch[0].thresholdDb, ch[1].thresholdDb);
    s.threshold = f2(ch[0].threshold, ch[1].threshold);
    s.ratio = f2(ch[0].ratio, ch[1].ratio);
    s.makeUpDb = f2(ch[0].makeUpDb, ch[1].makeUpDb);
    s.active = f2(ch[0].active, ch[1].active);
    s.linked = linked;
    return s;
}
