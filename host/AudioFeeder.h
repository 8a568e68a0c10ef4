// The built-in signal played into a plug-in, for the editor commands: run
// ahead at once (so that the meters have something to show), or looped in
// real time on an audio thread of the host's own.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>
#include <vector>

#include "host/DemoSignal.h"
#include "interface/vst24.h"

namespace kvbhost {

// The built-in signal, looped, played into the plug-in in real time on a
// thread of its own, as a host's audio thread would (no sound card: the
// output is dropped).
class AudioFeeder {
public:
    AudioFeeder(vst::AEffect* e, float sampleRate) : effect(e), rate(sampleRate) {
        const auto frames = static_cast<std::size_t>(kDemoSeconds * sampleRate);
        left.resize(frames);
        right.resize(frames);
        renderDemoSignal(sampleRate, frames, left.data(), right.data());
    }
    ~AudioFeeder() { stop(); }

    // Runs `seconds` of the signal through the plug-in at once.
    void runFor(double seconds) {
        auto blocks = static_cast<long>(seconds * rate / kBlock);
        while (blocks-- > 0) processBlock();
    }

    void start() {
        running = true;
        worker = std::thread([this] {
            const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(kBlock / static_cast<double>(rate)));
            auto next = std::chrono::steady_clock::now();
            while (running.load(std::memory_order_relaxed)) {
                processBlock();
                next += period;
                std::this_thread::sleep_until(next);
            }
        });
    }

    void stop() {
        running = false;
        if (worker.joinable()) worker.join();
    }

private:
    static constexpr int kBlock = 512;

    void processBlock() {
        float inL[kBlock], inR[kBlock], outL[kBlock], outR[kBlock];
        for (int i = 0; i < kBlock; ++i) {
            inL[i] = left[position];
            inR[i] = right[position];
            if (++position >= left.size()) position = 0;
        }
        float* ins[2] = {inL, inR};
        float* outs[2] = {outL, outR};
        effect->processReplacing(effect, ins, outs, kBlock);
    }

    vst::AEffect* effect;
    float rate;
    std::vector<float> left, right;
    std::size_t position = 0;
    std::thread worker;
    std::atomic<bool> running{false};
};

}  // namespace kvbhost
