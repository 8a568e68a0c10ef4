#include "dsp/TransformerStage.h"

TransformerSettings transformerSettings(int mode) {
    const TransformerMode& m = kTransformerModes[mode];
    TransformerSettings s;
    s.threshold = m.threshold;
    s.slope = m.slope;
    s.release = smootherCoef(m.release);
    return s;
}

TransformerLanes transformerLanes(const TransformerSettings& ch1, const TransformerSettings& ch2) {
    return {f2(ch1.threshold, ch2.threshold), f2(ch1.slope, ch2.slope), f2(ch1.release.c, ch2.release.c),
            f2(ch1.release.oneMinusC, ch2.release.oneMinusC)};
}
