// The LV2 plug-in: the same effect object as the VST 2.4 build, driven
// through the LV2 descriptor. The glue plays the host's part towards the
// effect (a callback of its own, the AEffect record) and the plug-in's part
// towards the LV2 host: ports in, audio and meters out.
//
// What a host may send and what it gets:
// - control values are read at every run; beyond 0 to 1 they are taken as
//   the nearer end, not-a-number as 0 (Ports.h);
// - a port left unconnected (null) is silence on an input, discarded on an
//   output, and keeps its last value on a control input;
// - ports may be connected to other buffers between any two run calls;
// - a run of 0 frames processes nothing and writes only the control outputs;
// - a sample rate that is not a positive float is ignored (44100 Hz stays).
// run() allocates nothing and locks nothing.
#include <lv2/core/lv2.h>

#include <cfloat>
#include <cstdint>
#include <new>

#include "lv2/Ports.h"
#include "shell/Controlsgui.h"
#include "shell/EditorFactory.h"

using namespace kvblv2;

// The processing instance has no editor: the editor runs in the UI binary on
// an effect object of its own. This definition takes the place of the
// editor's factory, so the widget layer is not linked into this binary.
void createEditor(AudioEffect* /*effect*/) {}

namespace {

// Frames per call when an audio port is unconnected and the scratch buffers
// stand in for it.
constexpr std::uint32_t kScratchFrames = 256;
// Frames per call otherwise: any count an int32 can hold.
constexpr std::uint32_t kMaxCallFrames = 1u << 30;

vst::intptr effectHost(vst::AEffect* /*effect*/, vst::int32 opcode, vst::int32 /*index*/,
                       vst::intptr /*value*/, void* /*ptr*/, float /*opt*/) {
    // A VST 2.4 host's version; every other request (automation, pin
    // connections, MIDI) has nothing to do here and answers 0 (for a pin:
    // connected).
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

struct Instance {
    vst::AEffect* record = nullptr;
    Controlsgui* effect = nullptr;
    float sampleRate = 0.0f;  // 0: the effect's own 44100 Hz
    bool ranSinceActivate = false;

    const float* controls[kNumParamPorts] = {};
    float* meters[2] = {};
    float* latency = nullptr;
    const float* in[2] = {};
    float* out[2] = {};

    float silence[kScratchFrames] = {};
    float discard[2][kScratchFrames] = {};
};

Controlsgui* effectOf(vst::AEffect* record) {
    return static_cast<Controlsgui*>(static_cast<AudioEffect*>(record->object));
}

void closeEffect(vst::AEffect* record) {
    record->dispatcher(record, vst::effClose, 0, 0, nullptr, 0.0f);
}

// A new effect at the instance's rate, or null when there is no memory.
vst::AEffect* newEffect(float sampleRate) {
    vst::AEffect* record = createEffectInstance(effectHost);
    if (record && sampleRate > 0.0f)
        record->dispatcher(record, vst::effSetSampleRate, 0, 0, nullptr, sampleRate);
    return record;
}

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double rate, const char* /*bundle*/,
                       const LV2_Feature* const* /*features*/) {
    Instance* self = new (std::nothrow) Instance;
    if (!self) return nullptr;
    // Only a rate a float can hold is passed on (converting a larger double
    // is undefined); the effect itself ignores zero, negative and non-finite ones.
    if (rate > 0.0 && rate <= static_cast<double>(FLT_MAX)) self->sampleRate = static_cast<float>(rate);
    self->record = newEffect(self->sampleRate);
    if (!self->record) {
        delete self;
        return nullptr;
    }
    self->effect = effectOf(self->record);
    return self;
}

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

// A host that activates again after a deactivate asks for an instance without
// history: a fresh effect takes over, with the parameter values of the old.
// Should memory run out, the old one carries on as it is.
void activate(LV2_Handle handle) {
    auto* self = static_cast<Instance*>(handle);
    if (self->ranSinceActivate) {
        if (vst::AEffect* fresh = newEffect(self->sampleRate)) {
            for (int i = 0; i < static_cast<int>(kNumParamPorts); ++i)
                fresh->setParameter(fresh, i, self->record->getParameter(self->record, i));
            closeEffect(self->record);
            self->record = fresh;
            self->effect = effectOf(fresh);
        }
    }
    self->ranSinceActivate = false;
    self->record->dispatcher(self->record, vst::effMainsChanged, 0, 1, nullptr, 0.0f);
}

void deactivate(LV2_Handle handle) {
    auto* self = static_cast<Instance*>(handle);
    self->record->dispatcher(self->record, vst::effMainsChanged, 0, 0, nullptr, 0.0f);
}

void run(LV2_Handle handle, std::uint32_t frames) {
    auto* self = static_cast<Instance*>(handle);
    Controlsgui* effect = self->effect;
    self->ranSinceActivate = true;

    for (int i = 0; i < static_cast<int>(kNumParamPorts); ++i)
        if (const float* c = self->controls[i]) effect->setParameter(i, portValue(*c));

    const bool allConnected = self->in[0] && self->in[1] && self->out[0] && self->out[1];
    const std::uint32_t step = allConnected ? kMaxCallFrames : kScratchFrames;
    if (frames == 0) {
        // The block set-up alone, as a VST 2.4 host's empty block gets it.
        float* none[2] = {self->discard[0], self->discard[1]};
        effect->processReplacing(none, none, 0);
    }
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = frames - done < step ? frames - done : step;
        float* in[2];
        float* out[2];
        for (int c = 0; c < 2; ++c) {
            // The processing only reads its inputs.
            in[c] = self->in[c] ? const_cast<float*>(self->in[c]) + done : self->silence;
            out[c] = self->out[c] ? self->out[c] + done : self->discard[c];
        }
        effect->processReplacing(in, out, static_cast<vst::int32>(n));
        done += n;
    }

    if (self->meters[0]) *self->meters[0] = effect->getMeter1Address()->load(std::memory_order_relaxed);
    if (self->meters[1]) *self->meters[1] = effect->getMeter2Address()->load(std::memory_order_relaxed);
    if (self->latency) *self->latency = static_cast<float>(kInitialDelay);
}

void cleanup(LV2_Handle handle) {
    auto* self = static_cast<Instance*>(handle);
    closeEffect(self->record);
    delete self;
}

const void* extensionData(const char* /*uri*/) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    kPluginUri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData,
};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
