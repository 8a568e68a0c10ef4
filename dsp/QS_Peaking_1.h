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

// One step of a section: y = k2·x + d + e·x1 + x2 − (e·y1 + k2·y2), the
// products in single precision, the sum in double in this order, rounded
// once; then the histories move on (after a step x1 and y1 hold the current
// input and output). On lanes of any width: F2 with D2 sums for both
// channels of one section, F4 with D4 sums for two sections side by side,
// each lane with its own coefficients and guard offset d.
template <class F, class D>
KVB_ALWAYS_INLINE inline F peakingStep(F x, const D& d, F k2, F e, F& x1, F& x2, F& y1, F& y2) {
    using Sums = DoubleLanes<D>;
    const D sum = Sums::widen(k2 * x) + d + Sums::widen(e * x1) + Sums::widen(x2) - Sums::widen(e * y1 + k2 * y2);
    const F y = narrow(sum);
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
}

// The per-sample state of a section on plain values: coefficients, the
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

    // One step (peakingStep); both channels add the same offset, negated at
    // every call.
    KVB_ALWAYS_INLINE F2 run(F2 x) {
        offset *= -1.0;
        return peakingStep(x, d2(offset), k2s, es, x1, x2, y1, y2);
    }

    float output(int channel) const { return lane(y1, channel); }

private:
    F2 k2s = zero2(), es = zero2();
};

// Two sections side by side in four lanes (the first's channels in lanes 0
// and 1, the second's in 2 and 3), each lane stepping as PeakingCore::run
// does, for a loop that runs both on every step; split() hands the states
// back. D4 is the form's four double lanes.
template <class D4>
class PeakingPair {
public:
    PeakingPair(const PeakingCore& a, const PeakingCore& b)
        : k2(f4(f2(a.k2), f2(b.k2))), e(f4(f2(a.e), f2(b.e))), x1(f4(a.x1, b.x1)), x2(f4(a.x2, b.x2)),
          y1(f4(a.y1, b.y1)), y2(f4(a.y2, b.y2)), offset(D4::of(d2(a.offset), d2(b.offset))) {}

    KVB_ALWAYS_INLINE F4 run(F4 x) {
        offset = negated(offset);
        ++steps;
        return peakingStep(x, offset, k2, e, x1, x2, y1, y2);
    }

    void split(PeakingCore& a, PeakingCore& b) const {
        a.x1 = low(x1), a.x2 = low(x2), a.y1 = low(y1), a.y2 = low(y2);
        b.x1 = high(x1), b.x2 = high(x2), b.y1 = high(y1), b.y2 = high(y2);
        // Each offset negated once a step, as run() would have.
        if (steps % 2 != 0) {
            a.offset *= -1.0;
            b.offset *= -1.0;
        }
    }

private:
    F4 k2, e, x1, x2, y1, y2;
    D4 offset;
    int steps = 0;
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
