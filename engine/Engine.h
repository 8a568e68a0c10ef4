// The processing of one plug-in instance as every format's glue drives it:
// the 51 parameter values, the signal chain and its two meters. Nothing here
// knows a plug-in format; the glue of each (VST 2.4 in shell/, LV2, VST3,
// CLAP) turns its host's calls into these.
//
// Threads: parameter values and meters are relaxed atomics, read and written
// from any thread. prepare, setSampleRate and reset belong to the host's
// control thread while no block is being processed (CLAP may reset on its
// audio thread: reset allocates nothing); process belongs to the audio
// thread. Nothing but construction allocates.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/Processor.h"
#include "params/Parameters.h"

namespace kvb {

// A parameter set to a value from a frame of the block on.
struct ParameterChange {
    std::uint32_t frame;
    std::int32_t index;
    float value;
};

class Engine {
public:
    // Samples the output lags the input by, at every rate.
    static constexpr int kLatency = 3;

    // Parameters at their defaults, 44100 Hz, every state at rest. Throws
    // std::bad_alloc when memory runs out.
    Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Any thread. Values are stored as given, not clamped (each consumer reads
    // them by its fixed rule); indices outside 0 to 50 are ignored, and read
    // as 0.
    void setParameter(int index, float value) {
        if (isParameterIndex(index)) params_[index].store(value, std::memory_order_relaxed);
    }
    float parameter(int index) const {
        return isParameterIndex(index) ? params_[index].load(std::memory_order_relaxed) : 0.0f;
    }

    // Control thread. A rate that is not a positive float, or so small that
    // 44100 / rate overflows, is ignored (answers false): the rate stays.
    bool setSampleRate(double rate);
    float sampleRate() const { return rate_; }
    // The rate and the longest block the host will hand over (kept for the
    // glue's own buffers; the chain takes blocks of any length).
    void prepare(double rate, int maxFrames);
    int maxFrames() const { return maxFrames_; }
    // Every history and smoothing state back to its start state, meters at
    // rest; parameters and rate stay. The output from here on is a fresh
    // instance's at the same rate and settings, bit for bit.
    void reset();

    // Audio thread: `frames` frames from in[0], in[1] to out[0], out[1]
    // (outputs may be the inputs). The parameter values are read at the start
    // of the call; with frames <= 0 only that set-up runs.
    void process(const float* const* in, float* const* out, int frames);
    // The same, setting parameters at frames of the block: the block is split
    // at each change's frame and the value applies from there on. Changes come
    // in order of their frames (a change out of order applies where it is met;
    // one at or after the end of the block applies after the block). Without
    // changes, and for any split, the output is the same bits as one call.
    void process(const float* const* in, float* const* out, int frames,
                 const ParameterChange* changes, int count);

    // Gain reductions in dB that the two meters show; any thread.
    float meter(int which) const { return meterAddress(which)->load(std::memory_order_relaxed); }
    const std::atomic<float>* meterAddress(int which) const {
        return processor_.meterAddress(which == 1 ? 1 : 0);
    }
    // Sets what the meters show until the next processed sample.
    void publishMeters(float meter1, float meter2) { processor_.publishMeters(meter1, meter2); }

    // For inspection and the tests of compiled forms.
    Processor& processor() { return processor_; }
    const Processor& processor() const { return processor_; }

private:
    std::atomic<float> params_[kNumParams];
    Processor processor_;
    float rate_ = 44100.0f;
    int maxFrames_ = 0;
};

}  // namespace kvb
