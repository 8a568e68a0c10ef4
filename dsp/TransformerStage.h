// The transformer stage at the host rate: a gain on the peaks of a two-sample
// average above a threshold. The gain drops at once when the level rises and
// recovers with a release coefficient applied per output sample (not scaled
// to the rate). Modes 0 and 1 have negative slopes: above the threshold the
// output level falls as the input rises.
#pragma once

#include <cmath>

#include "dsp/Smoother.h"

struct TransformerMode {
    float threshold;
    float slope;
    float release;
};

// The slopes are these single-precision values exactly, not −0.1 and 0.2.
constexpr TransformerMode kTransformerModes[3] = {
    {0.5f, -0.3f, 0.9997f},
    {0.7f, -0.100000024f, 0.9995f},
    {0.9f, 0.19999999f, 0.999f},
};

struct TransformerSettings {
    float threshold = 0.9f;
    float slope = 0.19999999f;
    SmootherCoef release;
};

TransformerSettings transformerSettings(int mode);

struct TransformerChannel {
    float level = 0.0f;  // two-sample average of the input
    float gain = 1.0f;

    float step(float x, const TransformerSettings& s, double g) {
        level = (x + level) * 0.5f;
        const float a = std::fabs(level);
        float c = a > s.threshold ? ((a - s.threshold) * s.slope + s.threshold) / a : 1.0f;
        if (c > gain) c = smoothStep(c, gain, s.release, g);
        gain = c;
        return x * c;
    }
};
