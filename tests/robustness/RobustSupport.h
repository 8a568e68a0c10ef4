// Shared by the robustness tests: a host callback that is safe on any thread,
// one plug-in instance driven through its AEffect record exactly as a host
// drives it, and a deterministic programme signal that stays within 0 dBFS.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

#include "interface/vst24.h"
#include "params/Parameters.h"
#include "shell/Controlsgui.h"
#include "tests/support/TestPlugin.h"

namespace robust {

// Answers like a VST 2.4 host of version 2400 whose inputs are all connected.
// Records nothing, allocates nothing, so any thread may call it.
inline vst::intptr hostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*,
                                float) {
    switch (opcode) {
    case vst::audioMasterVersion: return 2400;
    case vst::audioMasterPinConnected: return 0;  // connected
    default: return 0;
    }
}

// One instance, created through the entry sequence and closed with effClose.
class Instance {
public:
    Instance() : e(kvbtest::createPlugin(&hostCallback)) {
        if (e) dispatch(vst::effOpen);
    }
    ~Instance() {
        if (e) dispatch(vst::effClose);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    explicit operator bool() const { return e != nullptr; }
    vst::AEffect* effect() const { return e; }

    vst::intptr dispatch(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                         void* ptr = nullptr, float opt = 0.0f) const {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
    void setParameter(int index, float value) const { e->setParameter(e, index, value); }
    float getParameter(int index) const { return e->getParameter(e, index); }
    void process(float** in, float** out, int frames) const { e->processReplacing(e, in, out, frames); }

    // What a host does to change the rate: processing already stopped by the
    // caller, then suspend, rate, block size, resume.
    void changeRate(float rate, int maxBlock) const {
        dispatch(vst::effMainsChanged, 0, 0);
        dispatch(vst::effSetSampleRate, 0, 0, nullptr, rate);
        dispatch(vst::effSetBlockSize, 0, maxBlock);
        dispatch(vst::effMainsChanged, 0, 1);
    }

    // The published meter values (dB of gain reduction), as the editor reads them.
    float meter(int i) const {
        Controlsgui* c = object();
        const std::atomic<float>* m = i == 0 ? c->getMeter1Address() : c->getMeter2Address();
        return m->load(std::memory_order_relaxed);
    }
    Controlsgui* object() const {
        return static_cast<Controlsgui*>(static_cast<AudioEffect*>(e->object));
    }

private:
    vst::AEffect* e;
};

// A small, fast generator for reproducible pseudo-random choices.
struct Rng {
    std::uint64_t s;
    explicit Rng(std::uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint32_t next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<std::uint32_t>(s >> 11);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
    float unit() { return static_cast<float>(next() & 0xFFFFFF) / 16777216.0f; }  // [0, 1)
};

// Programme material whose every sample lies within [-1, 1]: passages of
// tones, noise, full-scale square waves, clicks, quiet hiss and digital
// silence, different on the two channels, changing every few thousand samples.
class Programme {
public:
    explicit Programme(std::uint64_t seed) : rng(seed) { pick(); }

    void fill(float* l, float* r, int frames, float rate) {
        for (int i = 0; i < frames; ++i) {
            if (left-- <= 0) pick();
            const double step = 6.283185307179586 / rate;
            phase1 += f1 * step;
            phase2 += f2 * step;
            if (phase1 > 6.283185307179586) phase1 -= 6.283185307179586;
            if (phase2 > 6.283185307179586) phase2 -= 6.283185307179586;
            const float noise = rng.unit() * 2.0f - 1.0f;
            float a = 0.0f, b = 0.0f;
            switch (kind) {
            case 0: a = b = 0.0f; break;  // digital silence
            case 1:
                a = static_cast<float>(level * std::sin(phase1));
                b = static_cast<float>(level * std::sin(phase2));
                break;
            case 2: a = b = static_cast<float>(level) * noise; break;
            case 3:
                a = phase1 < 3.141592653589793 ? static_cast<float>(level) : -static_cast<float>(level);
                b = -a;
                break;
            case 4: a = b = (left % 997 == 0) ? static_cast<float>(level) : 0.0f; break;  // clicks
            default: a = 1e-6f * noise; b = -a; break;  // hiss far below every threshold
            }
            l[i] = clamp(a);
            r[i] = clamp(b);
        }
    }

private:
    static float clamp(float v) { return v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v); }
    void pick() {
        kind = rng.below(6);
        level = rng.below(4) == 0 ? 1.0 : std::pow(10.0, -3.0 * rng.unit());
        f1 = 20.0 + 8000.0 * rng.unit() * rng.unit();
        f2 = 20.0 + 8000.0 * rng.unit() * rng.unit();
        left = 500 + rng.below(20000);
    }

    Rng rng;
    int kind = 0;
    double level = 1.0, f1 = 100.0, f2 = 100.0, phase1 = 0.0, phase2 = 0.0;
    int left = 0;
};

// Values of every switch, selector and step that the processing tells apart,
// and a few points between and at the edges, all within 0 to 1.
inline float interestingValue(Rng& rng) {
    static const float values[] = {0.0f, 1.0f, 0.5f, 0.32f, 0.33f, 0.34f, 0.65f, 0.66f, 0.67f,
                                   0.18f, 0.19f, 0.37f, 0.55f, 0.73f, 0.91f, 0.999f, 0.25f, 0.75f};
    if (rng.below(3) == 0) return rng.unit();
    return values[rng.below(static_cast<int>(sizeof values / sizeof values[0]))];
}

}  // namespace robust
