// One-pole DC blocker at the host rate: y = x − x1 + pole·y, with a pole of
// 0.9987 per 1/44100 s, a 17.4 ms time constant (corner about 9.1 Hz) at any
// sample rate.
#pragma once

constexpr float kDcPole44k = 0.9987f;

// The pole for the running rate: 0.9987^(44100 / fs).
float dcBlockerPole(float rateRatio);

struct DcBlocker {
    float x1 = 0.0f;  // previous input
    float y = 0.0f;   // latest output

    float step(float x, float pole, double g) {
        y = static_cast<float>(static_cast<double>(x) + g - static_cast<double>(x1) +
                               static_cast<double>(pole * y));
        x1 = x;
        return y;
    }
};
