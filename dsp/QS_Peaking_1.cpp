#include "dsp/QS_Peaking_1.h"

#include <cmath>

namespace {
constexpr double kPi = 3.141592653589793;

float widen(float t, float shape) {
    // A shape that is not a number fails the comparison and does not widen.
    return shape < 0.5f ? 6.0f * t : t;
}
}  // namespace

void peakingCoefficients(const PeakingSettings& s, float rateScale, float& c, float& k2) {
    const float f = s.freq * 0.899f + 0.001f;
    const float w0 = static_cast<float>(static_cast<double>(f) * kPi * static_cast<double>(rateScale));
    c = -cosf(w0);
    const float u = (0.3f - s.width * 0.29f) * 1.5f * s.freq;
    const float t = widen(tanf(u), s.shape);
    k2 = (1.0f - t) / (1.0f + t);
}

QS_Peaking_1::QS_Peaking_1(const float* left, const float* right, const PeakingSettings* s,
                           const float* scale)
    : leftIn(left), rightIn(right), settings(s), rateScale(scale) {
    // Primed for freq 0.1 and width 0.5 without reading the record's values.
    core_.c = -cosf(static_cast<float>(0.2855707844951427 * static_cast<double>(*rateScale)));
    const float t = widen(tanf(0.023250002f), settings->shape);
    core_.k2 = (1.0f - t) / (1.0f + t);
    core_.e = (core_.k2 + 1.0f) * core_.c;
}

void QS_Peaking_1::updateCoefficients() {
    peakingCoefficients(*settings, *rateScale, core_.c, core_.k2);
    core_.e = (core_.k2 + 1.0f) * core_.c;
}

void QS_Peaking_1::process() {
    core_.run(*leftIn, *rightIn);
    leftOut = core_.ch[0].y;
    rightOut = core_.ch[1].y;
}

void QS_Peaking_1::setCore(const PeakingCore& core) {
    core_ = core;
    leftOut = core_.ch[0].y;
    rightOut = core_.ch[1].y;
}
