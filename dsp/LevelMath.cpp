#include "dsp/LevelMath.h"

#include <cmath>

float log10Level(float x) { return log10f(x); }
float exp10Gain(float x) { return powf(10.0f, x); }

void log10Array(const float* in, float* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = log10f(in[i]);
}

float rateScaled(float c, float ratio) { return expf(logf(c) * ratio); }

void exp10Array(const float* in, float* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = powf(10.0f, in[i]);
}
