// Shared helpers of the signal-chain tests: a parameter set with the program
// defaults, test signals and level measurement.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <vector>

#include "dsp/Processor.h"
#include "params/Parameters.h"

struct Params {
    std::atomic<float> v[kNumParams];
    Params() {
        for (int i = 0; i < kNumParams; ++i)
            v[i].store(i < kNumNamedParams ? kParameterTable[i].defaultValue : 0.5f);
    }
    Params& set(int i, float value) {
        v[i].store(value, std::memory_order_relaxed);
        return *this;
    }
    float get(int i) const { return v[i].load(std::memory_order_relaxed); }
};

struct Stereo {
    std::vector<float> l, r;
    explicit Stereo(std::size_t n = 0) : l(n, 0.0f), r(n, 0.0f) {}
    std::size_t size() const { return l.size(); }
};

// Sine of amplitude a at f Hz.
inline std::vector<float> sine(std::size_t n, float fs, double f, double a) {
    std::vector<float> s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<float>(a * std::sin(6.283185307179586 * f * static_cast<double>(i) / fs));
    return s;
}

// A signal that visits quiet and loud passages, low and high frequencies,
// bursts and transients, different on the two channels.
inline Stereo variedSignal(std::size_t n, float fs, std::uint32_t seed = 7) {
    Stereo s(n);
    std::uint32_t rnd = seed;
    const double twoPi = 6.283185307179586;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / fs;
        rnd = rnd * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(rnd >> 8) / 16777216.0 - 0.5);
        const double env = 0.5 + 0.5 * std::sin(twoPi * 0.7 * t);          // slow swell
        const double burst = std::fmod(t, 0.3) < 0.02 ? 1.0 : 0.0;          // clicks
        const double sweep = std::sin(twoPi * (40.0 + 3000.0 * t) * t);   // rising tone
        const double bass = std::sin(twoPi * 60.0 * t);
        s.l[i] = static_cast<float>(1.4 * env * (0.6 * bass + 0.4 * sweep) + 0.3 * burst * noise);
        s.r[i] = static_cast<float>(0.8 * env * (0.3 * bass - 0.6 * sweep) + 0.05 * noise +
                                    0.5 * burst * std::sin(twoPi * 1500.0 * t));
    }
    return s;
}

inline double rms(const std::vector<float>& s, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

inline double peak(const std::vector<float>& s, std::size_t from, std::size_t to) {
    double m = 0.0;
    for (std::size_t i = from; i < to; ++i) m = std::max(m, std::fabs(static_cast<double>(s[i])));
    return m;
}

inline double db(double ratio) { return 20.0 * std::log10(ratio); }

// Runs a signal through a processor in blocks of the given size.
inline Stereo run(Processor& p, const Params& params, const Stereo& in, int block = 512) {
    Stereo out(in.size());
    for (std::size_t pos = 0; pos < in.size(); pos += static_cast<std::size_t>(block)) {
        const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(block), in.size() - pos));
        float* i[2] = {const_cast<float*>(in.l.data()) + pos, const_cast<float*>(in.r.data()) + pos};
        float* o[2] = {out.l.data() + pos, out.r.data() + pos};
        p.process(params.v, i, o, n);
    }
    return out;
}

inline bool sameBits(float a, float b) {
    std::uint32_t x, y;
    std::memcpy(&x, &a, 4);
    std::memcpy(&y, &b, 4);
    return x == y;
}
