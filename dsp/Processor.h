// The signal processor: the whole state of the chain of one effect instance
// and the per-block processing. Placeholder pass-through until the chain lands.
#pragma once

#include <atomic>

class Processor {
public:
    Processor() = default;
    ~Processor() = default;
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;

    // Builds the side-chain sections and sets the chain to its start state.
    void setUp() {}
    // Takes the host rate; the caller has already rejected unusable rates.
    void setSampleRate(float /*fs*/) {}
    // Audio thread: one block through the chain, reading params 0 to 25.
    void process(const std::atomic<float>* /*params*/, float** in, float** out, int frames) {
        for (int i = 0; i < frames; ++i) {
            const float a = in[0][i], b = in[1][i];
            out[0][i] = a;
            out[1][i] = b;
        }
    }
    const std::atomic<float>* meterAddress(int i) const { return &meterValue[i]; }

    float inputConnected = 1.0f;

private:
    std::atomic<float> meterValue[2] = {{0.0f}, {0.0f}};
};
