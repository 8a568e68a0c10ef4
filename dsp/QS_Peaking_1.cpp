#include "dsp/QS_Peaking_1.h"

#include "dsp/math/CrMath.h"

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
    c = -crm::cosf(w0);
    const float u = (0.3f - s.width * 0.29f) * 1.5f * s.freq;
    const float t = widen(crm::tanf(u), s.shape);
    k2 = (1.0f - t) / (1.0f + t);
}

QS_Peaking_1::QS_Peaking_1(const float* left, const float* right, const PeakingSettings* s,
                           const float* scale)
    : leftIn(left), rightIn(right), settings(s), rateScale(scale) {
    // Primed for freq 0.1 and width 0.5 without reading the record's values.
    const float c = -crm::cosf(static_cast<float>(0.2855707844951427 * static_cast<double>(*rateScale)));
    const float t = widen(crm::tanf(0.023250002f), settings->shape);
    core_.setCoefficients(c, (1.0f - t) / (1.0f + t));
}

void QS_Peaking_1::updateCoefficients() {
    float c, k2;
    peakingCoefficients(*settings, *rateScale, c, k2);
    core_.setCoefficients(c, k2);
}

void QS_Peaking_1::process() {
    core_.run(f2(*leftIn, *rightIn));
    leftOut = core_.output(0);
    rightOut = core_.output(1);
}

void QS_Peaking_1::setCore(const PeakingCore& core) {
    core_ = core;
    leftOut = core_.output(0);
    rightOut = core_.output(1);
}
