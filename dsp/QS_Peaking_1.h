// QS_Peaking_1: one stereo second-order all-pass section, the core of a
// peaking band. The owner forms the band from input x and all-pass output a as
// 0.5·((x + a) + K·(x − a)), K being the band's centre gain.
//
// The section reads its inputs, settings and rate scale through pointers that
// the owner keeps; its two outputs live inside it. Both channels share one set
// of coefficients and keep separate histories.
#pragma once

#include "dsp/ChannelPair.h"

struct PeakingSettings {
    float freq = 0.0f;   // normalised centre frequency, 0 to 1
    float width = 0.0f;  // normalised bandwidth control, larger is narrower
    float shape = 0.0f;  // below 0.5 the band is six times wider
};

// The coefficients for given settings and a rate scale of 44100 / running rate.
void peakingCoefficients(const PeakingSettings& s, float rateScale, float& c, float& k2);

// The per-sample arithmetic of a section on plain values: coefficients, the
// histories of both channels side by side and the section's own alternating
// guard offset. QS_Peaking_1 runs it in process(); the processor copies it
// out, runs it in its loop and copies it back.
struct PeakingCore {
    float c = 0.0f;   // -cos(w0)
    float k2 = 0.0f;  // (1 - t) / (1 + t)
    float e = 0.0f;   // (k2 + 1)·c
    double offset = 1e-24;
    // Previous inputs and outputs; after a step x1 and y1 hold the current ones.
    F2 x1 = zero2(), x2 = zero2(), y1 = zero2(), y2 = zero2();

    void setCoefficients(float cosTerm, float k2Term) {
        c = cosTerm;
        k2 = k2Term;
        e = (k2 + 1.0f) * c;
        k2s = f2(k2);
        es = f2(e);
    }

    // y = k2·x + d + e·x1 + x2 − (e·y1 + k2·y2): products in single precision,
    // the sum in double in this order, rounded once. Both channels add the
    // same offset, negated at every call.
    KVB_ALWAYS_INLINE F2 run(F2 x) {
        offset *= -1.0;
        const D2 sum = widen(k2s * x) + d2(offset) + widen(es * x1) + widen(x2) - widen(es * y1 + k2s * y2);
        const F2 y = narrow(sum);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

    float output(int channel) const { return lane(y1, channel); }

private:
    F2 k2s = zero2(), es = zero2();
};

class QS_Peaking_1 {
public:
    QS_Peaking_1(const float* leftIn, const float* rightIn, const PeakingSettings* settings,
                 const float* rateScale);

    QS_Peaking_1(const QS_Peaking_1&) = delete;
    QS_Peaking_1& operator=(const QS_Peaking_1&) = delete;

    // Addresses valid for the life of the section.
    const float* leftOutput() const { return &leftOut; }
    const float* rightOutput() const { return &rightOut; }

    // Recomputes the coefficients from the settings and the rate scale;
    // leaves the histories alone.
    void updateCoefficients();
    // Reads both inputs, runs one sample, updates both outputs.
    void process();

    const PeakingCore& core() const { return core_; }
    // Takes back a core that was run elsewhere; the outputs follow it.
    void setCore(const PeakingCore& core);

private:
    const float* leftIn;
    const float* rightIn;
    const PeakingSettings* settings;
    const float* rateScale;
    float leftOut = 0.0f;
    float rightOut = 0.0f;
    PeakingCore core_;
};
