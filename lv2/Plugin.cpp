// The LV2 plug-in: the engine driven through the LV2 descriptor. The glue
// plays the plug-in's part towards the LV2 host: ports in, audio and meters
// out.
//
// What a host may send and what it gets:
// - control values are read at every run; beyond 0 to 1 they are taken as
//   the nearer end, not-a-number as 0 (Ports.h);
// - a port left unconnected (null) is silence on an input, discarded on an
//   output, and keeps its last value on a control input;
// - ports may be connected to other buffers between any two run calls;
// - a run of 0 frames processes nothing and writes only the control outputs;
// - a sample rate that is not a positive float is ignored (44100 Hz stays);
// - every activation starts without history (the engine's reset).
// run() allocates nothing and locks nothing.
#include <lv2/core/lv2.h>

#include <cstdint>
#include <new>

#include "engine/Engine.h"
#include "lv2/Ports.h"

using namespace kvblv2;

namespace {

// Frames per call when an audio port is unconnected and the scratch buffers
// stand in for it.
constexpr std::uint32_t kScratchFrames = 256;
// Frames per call otherwise: any count an int32 can hold.
constexpr std::uint32_t kMaxCallFrames = 1u << 30;

struct Instance {
    kvb::Engine engine;

    const float* controls[kNumParamPorts] = {};
    float* meters[2] = {};
    float* latency = nullptr;
    const float* in[2] = {};
    float* out[2] = {};

    float silence[kScratchFrames] = {};
    float discard[2][kScratchFrames] = {};
};

// lv2:instantiate, the host's control thread: a new instance at `rate`, or
// null when there is no memory.
LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double rate, const char* /*bundle*/,
                       const LV2_Feature* const* /*features*/) {
    Instance* self = nullptr;
    try {
        self = new Instance;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    self->engine.setSampleRate(rate);
    return self;
}

// lv2:connect_port, any time outside run() (also between runs).
void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    auto* self = static_cast<Instance*>(handle);
    if (isParamPort(port)) {
        self->controls[port] = static_cast<const float*>(data);
        return;
    }
    switch (port) {
    case kMeter1Port: self->meters[0] = static_cast<float*>(data); break;
    case kMeter2Port: self->meters[1] = static_cast<float*>(data); break;
    case kLatencyPort: self->latency = static_cast<float*>(data); break;
    case kInLeftPort: self->in[0] = static_cast<const float*>(data); break;
    case kInRightPort: self->in[1] = static_cast<const float*>(data); break;
    case kOutLeftPort: self->out[0] = static_cast<float*>(data); break;
    case kOutRightPort: self->out[1] = static_cast<float*>(data); break;
    default: break;  // no such port
    }
}

// lv2:activate, the host's control thread, before the first run and after
// each deactivate: the chain starts without history.
void activate(LV2_Handle handle) { static_cast<Instance*>(handle)->engine.reset(); }

// lv2:deactivate: no gain is reduced while the instance does not run.
void deactivate(LV2_Handle handle) { static_cast<Instance*>(handle)->engine.publishMeters(0.0f, 0.0f); }

// lv2:run, the host's audio thread.
void run(LV2_Handle handle, std::uint32_t frames) {
    auto* self = static_cast<Instance*>(handle);
    kvb::Engine& engine = self->engine;

    for (int i = 0; i < static_cast<int>(kNumParamPorts); ++i)
        if (const float* c = self->controls[i]) engine.setParameter(i, portValue(*c));

    const bool allConnected = self->in[0] && self->in[1] && self->out[0] && self->out[1];
    const std::uint32_t step = allConnected ? kMaxCallFrames : kScratchFrames;
    if (frames == 0) {
        // The block set-up alone, as a VST 2.4 host's empty block gets it.
        const float* none[2] = {self->silence, self->silence};
        float* discard[2] = {self->discard[0], self->discard[1]};
        engine.process(none, discard, 0);
    }
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = frames - done < step ? frames - done : step;
        const float* in[2];
        float* out[2];
        for (int c = 0; c < 2; ++c) {
            in[c] = self->in[c] ? self->in[c] + done : self->silence;
            out[c] = self->out[c] ? self->out[c] + done : self->discard[c];
        }
        engine.process(in, out, static_cast<int>(n));
        done += n;
    }

    if (self->meters[0]) *self->meters[0] = engine.meter(0);
    if (self->meters[1]) *self->meters[1] = engine.meter(1);
    if (self->latency) *self->latency = static_cast<float>(kvb::Engine::kLatency);
}

// lv2:cleanup, the host's control thread, after the last deactivate.
void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

const void* extensionData(const char* /*uri*/) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    kPluginUri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData,
};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
