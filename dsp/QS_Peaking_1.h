// QS_Peaking_1: one stereo second-order all-pass section, the core of a
// peaking band. The owner forms the band from input x and all-pass output a as
// 0.5·((x + a) + K·(x − a)), K being the band's centre gain.
//
// The section reads its inputs, settings and rate scale through pointers that
// the owner keeps; its two outputs live inside it. Both channels share one set
// of coefficients and keep separate histories.
#pragma once

struct PeakingSettings {
    float freq = 0.0f;   // normalised centre frequency, 0 to 1
    float width = 0.0f;  // normalised bandwidth control, larger is narrower
    float shape = 0.0f;  // below 0.5 the band is six times wider
};

// History of one channel: current and two past inputs and outputs.
struct AllPassHistory {
    float x = 0.0f, x1 = 0.0f, x2 = 0.0f;
    float y = 0.0f, y1 = 0.0f, y2 = 0.0f;
};

// The per-sample arithmetic of a section on plain values: coefficients, both
// histories and the section's own alternating guard offset. QS_Peaking_1 runs
// it in process(); an owner may also copy it out, run it in a tight loop and
// copy it back, with the same results.
struct PeakingCore {
    float c = 0.0f;   // -cos(w0)
    float k2 = 0.0f;  // (1 - t) / (1 + t)
    float e = 0.0f;   // (k2 + 1)·c
    double offset = 1e-24;
    AllPassHistory ch[2];

    // y = k2·x + e·x1 + x2 − (e·y1 + k2·y2) + d, summed in double, rounded once.
    static float channel(AllPassHistory& h, float x, float k2, float e, double d) {
        double sum = static_cast<double>(k2 * x);
        sum += d;
        sum += static_cast<double>(e * h.x1);
        sum += static_cast<double>(h.x2);
        sum -= static_cast<double>(e * h.y1 + k2 * h.y2);
        const float y = static_cast<float>(sum);
        h.x2 = h.x1;
        h.x1 = x;
        h.x = x;
        h.y2 = h.y1;
        h.y1 = y;
        h.y = y;
        return y;
    }

    // One sample on both channels; the outputs are ch[0].y and ch[1].y.
    void run(float left, float right) {
        offset *= -1.0;
        channel(ch[0], left, k2, e, offset);
        channel(ch[1], right, k2, e, offset);
    }
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
    // Takes back a core that was run outside; the outputs follow its histories.
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

// The coefficients for given settings and rate scale.
void peakingCoefficients(const PeakingSettings& s, float rateScale, float& c, float& k2);
