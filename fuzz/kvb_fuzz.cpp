// libFuzzer target: one plug-in instance per input, created through the entry
// sequence as VSTPluginMain creates it (createEffectInstance with the editor's
// factory), then driven by
// the input's bytes as a stream of host operations in any order, and closed.
//
// Everything a host may legally pass is fair game: any opcode (0 to 80, every
// negative and huge one), any index, value and float (NaN, infinities, huge,
// subnormal), texts and strings, parameter indices and values of any kind,
// block sizes of 0, negative and large with audio that holds NaN, infinities
// and huge values, sample rates of any kind. Pointers follow the interface's
// rules, as a host's would: a text request gets a buffer of 256 bytes (more
// than any published text length), a string argument is zero-terminated,
// the speaker-arrangement request gets valid pointer slots or null, the chunk
// request a valid slot, the event request null or a valid empty list, the
// editor-open request null (there is no display here), and the audio buffers
// hold as many frames as the call says.
#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "shell/Vst2Editor.h"
#include "interface/vst24.h"
#include "platform/Module.h"
#include "resources/SkinResources.h"
#include "shell/Controlsgui.h"

using namespace vst;

namespace {

class Input {
public:
    Input(const std::uint8_t* d, std::size_t n) : data(d), size(n) {}
    bool empty() const { return pos >= size; }
    std::uint8_t byte() { return pos < size ? data[pos++] : 0; }
    template <typename T>
    T raw() {
        T v{};
        unsigned char b[sizeof(T)] = {};
        for (std::size_t i = 0; i < sizeof(T); ++i) b[i] = byte();
        std::memcpy(&v, b, sizeof v);
        return v;
    }

    // A float of any kind, the troublesome ones often.
    float anyFloat() {
        constexpr float inf = std::numeric_limits<float>::infinity();
        switch (byte() % 16) {
        case 0: return std::numeric_limits<float>::quiet_NaN();
        case 1: return inf;
        case 2: return -inf;
        case 3: return std::numeric_limits<float>::max();
        case 4: return -3e38f;
        case 5: return std::numeric_limits<float>::denorm_min();
        case 6: return -1e-40f;
        case 7: return -0.0f;
        case 8: return 0.0f;
        case 9: return 1.0f;
        case 10: return 1e6f;
        case 11:
        case 12: return raw<float>();  // every bit pattern, signalling NaNs included
        default: return static_cast<float>(byte()) / 255.0f;
        }
    }
    std::int32_t anyIndex() {
        switch (byte() % 8) {
        case 0: return raw<std::int32_t>();
        case 1: return -1 - (byte() % 4);
        case 2: return std::numeric_limits<std::int32_t>::min();
        case 3: return std::numeric_limits<std::int32_t>::max();
        default: return byte() % 60;  // around and beyond the 51 parameters
        }
    }
    intptr anyValue() {
        switch (byte() % 6) {
        case 0: return raw<intptr>();
        case 1: return -static_cast<intptr>(byte());
        case 2: return std::numeric_limits<intptr>::min();
        default: return byte() % 64;
        }
    }
    int frames() {
        switch (byte() % 8) {
        case 0: return 0;
        case 1: return -1 - (byte() % 8);
        case 2: return std::numeric_limits<int>::min();
        case 3: return 2048 + byte() * 64;  // up to 18368 frames
        default: return 1 + byte() * 2;
        }
    }
    // Audio: specials from the input, then a tone once the input runs dry.
    void fill(float* x, int n) {
        for (int i = 0; i < n; ++i) {
            if (empty()) {
                x[i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
                continue;
            }
            const std::uint8_t b = byte();
            x[i] = b < 32 ? anyFloat() : (static_cast<float>(b) - 144.0f) / 112.0f;
        }
    }
    // A zero-terminated string in a 256-byte buffer.
    void text(char* buf) {
        const std::size_t n = byte() % 40;
        for (std::size_t i = 0; i < n; ++i) buf[i] = static_cast<char>(byte());
        buf[n] = 0;
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
};

// The host: its version answer and its pin answer come from the input.
intptr hostVersion = 2400;
intptr hostPin = 0;
intptr host(AEffect*, int32 opcode, int32, intptr, void*, float) {
    switch (opcode) {
    case audioMasterVersion: return hostVersion;
    case audioMasterPinConnected: return hostPin;
    case audioMasterCanDo:
    case audioMasterBeginEdit:
    case audioMasterEndEdit: return 1;
    default: return 0;
    }
}

// Set once a processing parameter (0 to 25) has been given a value outside 0
// to 1; until then every output sample must be finite, whatever the audio
// (NaN, infinities and the largest floats included), the rate or the block
// size.
bool wild = false;
void noteValue(int32 index, float value) {
    if (index >= 0 && index < 26 && !(value >= 0.0f && value <= 1.0f)) wild = true;
}
void checkFinite(const float* x, int n) {
    if (wild) return;
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(x[i])) __builtin_trap();
}

// The layout of the event list a host passes with effProcessEvents.
struct EventList {
    int32 numEvents;
    intptr reserved;
    void* events[2];
};

void dispatchAny(AEffect* e, Input& in) {
    const std::uint8_t which = in.byte();
    int32 opcode;
    if (which < 200) opcode = which % 81;  // every opcode from 0 to 80
    else if (which < 228) opcode = in.raw<int32>();
    else if (which < 242) opcode = -1 - in.byte();
    else opcode = 80 + in.byte() * 1000;
    if (opcode == effClose) return;  // only at the end

    const int32 index = in.anyIndex();
    intptr value = in.anyValue();
    const float opt = in.anyFloat();
    alignas(16) char buffer[256];
    in.text(buffer);
    void* ptr = (in.byte() % 5 == 0) ? nullptr : buffer;

    void* slots[2] = {buffer, buffer};  // overwritten when the plug-in answers
    EventList events{};
    switch (opcode) {
    case effEditOpen: ptr = nullptr; break;  // no parent window to give here
    case effGetChunk: ptr = (in.byte() & 1) ? &slots[0] : nullptr; break;
    case effSetChunk: value = static_cast<intptr>(std::strlen(buffer)); break;  // the chunk's size
    case effProcessEvents: ptr = (in.byte() & 1) ? &events : nullptr; break;
    case effGetSpeakerArrangement:
        value = (in.byte() & 1) ? reinterpret_cast<intptr>(&slots[0]) : 0;
        ptr = (in.byte() & 1) ? &slots[1] : nullptr;
        break;
    case effSetSpeakerArrangement:
        // Two arrangement records; ours are the buffer's bytes.
        value = (in.byte() & 1) ? reinterpret_cast<intptr>(buffer) : 0;
        break;
    case effVendorSpecific:
        if (in.byte() & 1) {  // the mouse-wheel message, with any distance
            e->dispatcher(e, opcode, fourCC('s', 't', 'C', 'A'), fourCC('W', 'h', 'e', 'e'), ptr, opt);
            return;
        }
        break;
    default: break;
    }
    e->dispatcher(e, opcode, index, value, ptr, opt);
}

void processAny(AEffect* e, Input& in) {
    const std::uint8_t how = in.byte();
    const int frames = in.frames();
    const std::size_t n = frames > 0 ? static_cast<std::size_t>(frames) : 1;
    if (how % 8 == 7) {
        std::vector<double> a(n), b(n), c(n), d(n);
        double* ins[2] = {a.data(), b.data()};
        double* outs[2] = {c.data(), d.data()};
        e->processDoubleReplacing(e, ins, outs, frames);
        return;
    }
    std::vector<float> a(n), b(n), c(n), d(n);
    const int filled = static_cast<int>(std::min<std::size_t>(n, 512));
    in.fill(a.data(), filled);
    in.fill(b.data(), filled);
    float* ins[2] = {a.data(), b.data()};
    float* outs[2] = {c.data(), d.data()};
    if (how % 8 == 6) {
        e->process(e, ins, outs, frames);  // the accumulating entry
    } else if (how % 8 == 5) {
        e->processReplacing(e, ins, ins, frames);  // in place
        checkFinite(a.data(), frames);
        checkFinite(b.data(), frames);
    } else {
        e->processReplacing(e, ins, outs, frames);
        checkFinite(c.data(), frames);
        checkFinite(d.data(), frames);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint8_t setup = in.byte();
    hostVersion = setup % 16 == 0 ? 0 : 2400;  // a host that answers 0 gets no instance
    hostPin = (setup >> 4) & 1;
    wild = false;

    static const skin::ModuleSkin skin(hInstance);
    static const Vst2EditorFactory editors(skin);
    AEffect* e = createEffectInstance(setup % 32 == 1 ? nullptr : &host, &editors);
    if (!e) return 0;
    if (e->magic != kEffectMagic || !e->dispatcher || !e->processReplacing) __builtin_trap();

    for (int op = 0; op < 256 && !in.empty(); ++op) {
        switch (in.byte() % 10) {
        case 0:
        case 1:
        case 2: dispatchAny(e, in); break;
        case 3: {
            const int32 index = in.anyIndex();
            const float value = in.anyFloat();
            noteValue(index, value);
            e->setParameter(e, index, value);
            break;
        }
        case 4: (void)e->getParameter(e, in.anyIndex()); break;
        case 5:
        case 6: processAny(e, in); break;
        case 7: {
            // A rate change as hosts make it.
            e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
            e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, in.anyFloat());
            e->dispatcher(e, effSetBlockSize, 0, in.anyValue(), nullptr, 0.0f);
            e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
            break;
        }
        case 8: {
            // What a host asks when it shows the plug-in: every text, any index.
            char text[256];
            const int32 index = in.anyIndex();
            for (int32 op2 : {effGetParamLabel, effGetParamDisplay, effGetParamName, effGetProgramName,
                              effGetEffectName, effGetVendorString, effGetProductString}) {
                std::memset(text, 0x55, sizeof text);
                e->dispatcher(e, op2, index, 0, text, 0.0f);
                // A display request for a parameter that does not exist leaves
                // the buffer as it was; every other answer is terminated.
                if (op2 == effGetParamDisplay && !isParameterIndex(index)) continue;
                if (std::memchr(text, 0, sizeof text) == nullptr) __builtin_trap();
                // Displays and labels keep to the published length.
                if ((op2 == effGetParamDisplay || op2 == effGetParamLabel) &&
                    std::strlen(text) >= static_cast<std::size_t>(kVstMaxParamStrLen))
                    __builtin_trap();
                if (op2 == effGetProgramName &&
                    std::strlen(text) >= static_cast<std::size_t>(kVstMaxProgNameLen))
                    __builtin_trap();
            }
            std::memset(text, 0x55, sizeof text);
            e->dispatcher(e, effGetProgramNameIndexed, index, in.anyValue(), text, 0.0f);
            break;
        }
        default: {
            // A program change, in range or not, and a program name.
            char text[256];
            e->dispatcher(e, effSetProgram, 0, in.anyValue(), nullptr, 0.0f);
            in.text(text);
            e->dispatcher(e, effSetProgramName, 0, 0, text, 0.0f);
            break;
        }
        }
    }
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
