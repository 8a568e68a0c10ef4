#include "dsp/TransformerStage.h"

TransformerSettings transformerSettings(int mode) {
    const TransformerMode& m = kTransformerModes[mode];
    TransformerSettings s;
    s.threshold = m.threshold;
    s.slope = m.slope;
    s.release = smootherCoef(m.release);
    return s;
}
