// A plain, sample-by-sample model of the whole chain, written straight from
// the processing steps with no shared code: arrays shifted by hand, the
// side-chain sections called through their pointers, every setting derived
// where it is used. The processor must match it bit for bit.
#pragma once

#include <cstdint>

class ReferenceChain {
public:
    ReferenceChain();
    void setSampleRate(float fs);
    // params: parameters 0 to 25.
    void process(const float* params, const float* in1, const float* in2, float* out1, float* out2,
                 int frames);
    float meter[2] = {0.0f, 0.0f};

private:
    struct Section {
        const float* inL;
        const float* inR;
        const float* freq;
        const float* width;
        const float* rate;
        double d = 1e-24;
        float c = 0, k2 = 0;
        float h[2][6] = {};  // x, x1, x2, y, y1, y2
        float out[2] = {};
        void coefficients();
        void process();
    };
    struct Filter {
        float x[9] = {};
        float y[9] = {};
        float step(float in, double g);
    };

    float step(int k, float v, float s, float c);

    double denormal = 1.0000000195414814e-24;
    double inOffset = 6.309573444801929e-06;
    float ratio = 1.0f, osRatio = 0.25f;
    std::uint32_t rng = 1;
    float secIn[3][2] = {};
    float freq[3] = {}, width[3] = {};
    Section sec[3];
    Filter interp[2], decim[2];
    float emph[2] = {}, over[2] = {}, s1[2] = {}, s2[2] = {}, s3[2] = {}, red[2] = {};
    float dis[2] = {};
    float dcX[2] = {}, dcY[2] = {};
    float tLevel[2] = {}, tGain[2] = {1.0f, 1.0f};
};
