#include "dsp/LevelMath.h"

#include "dsp/math/CrMath.h"

float log10Level(float x) { return crm::log10f(x); }
float exp10Gain(float x) { return crm::exp10f(x); }

void log10Array(const float* in, float* out, int n) { crm::log10Batch(in, out, n); }
void exp10Array(const float* in, float* out, int n) { crm::exp10Batch(in, out, n); }

float rateScaled(float c, float ratio) { return crm::expf(crm::logf(c) * ratio); }
