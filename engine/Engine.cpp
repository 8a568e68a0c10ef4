#include "engine/Engine.h"

#include <cfloat>
#include <cmath>

namespace kvb {

Engine::Engine() {
    for (int i = 0; i < kNumParams; ++i) params_[i].store(parameterDefault(i), std::memory_order_relaxed);
    processor_.setUp();
}

bool Engine::setSampleRate(double rate) {
    // Only a rate a float can hold is taken (converting a larger double is
    // undefined); the processor refuses what leaves 44100 / rate unusable.
    if (!(rate > 0.0 && rate <= static_cast<double>(FLT_MAX))) return false;
    const float fs = static_cast<float>(rate);
    if (!(fs > 0.0f) || !std::isfinite(44100.0f / fs)) return false;
    processor_.setSampleRate(fs);
    rate_ = fs;
    return true;
}

void Engine::prepare(double rate, int maxFrames) {
    setSampleRate(rate);
    maxFrames_ = maxFrames > 0 ? maxFrames : 0;
}

void Engine::reset() { processor_.reset(); }

void Engine::process(const float* const* in, float* const* out, int frames) {
    float* i[2] = {const_cast<float*>(in[0]), const_cast<float*>(in[1])};
    float* o[2] = {out[0], out[1]};
    processor_.process(params_, i, o, frames);
}

void Engine::process(const float* const* in, float* const* out, int frames,
                     const ParameterChange* changes, int count) {
    int next = 0;
    const auto apply = [&](const ParameterChange& c) { setParameter(c.index, c.value); };
    if (frames <= 0) {
        while (next < count) apply(changes[next++]);
        process(in, out, frames);
        return;
    }
    const auto total = static_cast<std::uint32_t>(frames);
    std::uint32_t done = 0;
    while (done < total) {
        while (next < count && changes[next].frame <= done) apply(changes[next++]);
        const std::uint32_t end = next < count && changes[next].frame < total ? changes[next].frame : total;
        const float* i[2] = {in[0] + done, in[1] + done};
        float* o[2] = {out[0] + done, out[1] + done};
        process(i, o, static_cast<int>(end - done));
        done = end;
    }
    while (next < count) apply(changes[next++]);
}

}  // namespace kvb
