// The VST3 build: the engine and the editor behind the VST3 binary interface
// (the C description of it in DPF's "travesty" headers, by include path).
//
// One class, "KVB", made by the module's factory: a single component that is
// the audio processor and its own edit controller, so the editor reads the
// engine's meters directly. The host holds it through several interface
// pointers; each points at a slot of the instance (the slot's first word is
// the interface's function table), and every slot leads to the same instance
// and the same reference count.
//
// Threads, as VST3 hosts call:
//   control thread   factory, initialize/terminate, buses, setupProcessing,
//                    setActive, get/setState, parameter queries, createView
//                    (in practice the host's UI thread, which is also the
//                    editor's thread)
//   audio thread     process, setProcessing (some hosts), the meters
// Values shared between them are relaxed atomics; the audio thread never
// allocates, locks or calls the system.
//
// Two sets of parameter values:
//   - the engine's, which make the sound: written by process() from the
//     host's parameter queues (sample-accurate) and by the component's
//     setState;
//   - the controller's (shown_), which the host reads with
//     getParamNormalized and the editor shows: written by setParamNormalized,
//     the editor's edits, setState/setComponentState, and by process() for
//     every change it applies (automation), except on a parameter whose
//     gesture the editor holds.
// The editor's edits reach the sound the VST3 way: beginEdit/performEdit/
// endEdit to the host's component handler, which sends them back through the
// next process call's queues.
//
// Class id: the four 32-bit words 0x4B564231 0x9C2E4F7A 0xB8D15E63 0x2A7F0C94.
// Off Windows the 16 bytes are the words big-endian, in order
// (4B 56 42 31 9C 2E 4F 7A ...). On Windows the interface is COM's, and the
// bytes are a GUID's in memory: the first word little-endian, the second as
// two 16-bit halves each little-endian, the last two words big-endian
// (31 42 56 4B 4F 7A 9C 2E B8 D1 5E 63 2A 7F 0C 94). Hosts print the id from
// that layout, so every platform shows 4B5642319C2E4F7AB8D15E632A7F0C94
// (Ardour's cache: uid="4B5642319C2E4F7AB8D15E632A7F0C94").
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include "travesty/audio_processor.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/factory.h"
#include "travesty/view.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "editor/ControlsguiEditor.h"
#include "engine/Engine.h"
#include "engine/ParameterText.h"
#include "engine/State.h"
#include "platform/Module.h"
#include "resources/SkinResources.h"

#if defined(_WIN32)
#define KVB_EXPORT  // the module definition file names the exports
#else
#define KVB_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// --- what the host sees ----------------------------------------------------------

constexpr v3_tuid kClassId = V3_ID(0x4B564231, 0x9C2E4F7A, 0xB8D15E63, 0x2A7F0C94);
constexpr char kName[] = "KVB";
constexpr char kVendor[] = "https://kvb-audio.example";
constexpr char kVersion[] = "1.0.0";
constexpr char kSdkVersion[] = "VST 3.7.4";
constexpr char kCategory[] = "Audio Module Class";
constexpr char kSubCategories[] = "Fx|Dynamics";

// Parameter ids: 0 to 25 the parameters, 26 and 27 the meters.
constexpr int kNumHostParams = kNumNamedParams + 2;
constexpr v3_param_id kMeter1Id = kNumNamedParams;
constexpr float kMeterRangeDb = 30.0f;

constexpr v3_speaker_arrangement kStereo = V3_SPEAKER_L | V3_SPEAKER_R;
constexpr int kViewWidth = kvbeditor::kEditorWidth;  // at 100 %
constexpr int kViewHeight = kvbeditor::kEditorHeight;
constexpr unsigned kIdleMs = 30;

// Frames per engine call when the host left out a buffer and the scratch
// buffers stand in for it.
constexpr int kScratchFrames = 256;
// Parameter changes merged per engine call; more split the block.
constexpr int kChangeBatch = 128;
// Queues a process call reads (26 parameters: a host repeating itself
// beyond this has the rest ignored).
constexpr int kMaxQueues = 64;

// --- function tables the headers leave to us -----------------------------------

struct HandlerTable : v3_funknown {
    v3_component_handler handler;
};
struct Handler2Table : v3_funknown {
    v3_component_handler2 handler2;
};
struct StreamTable : v3_funknown {
    v3_bstream stream;
};

// The function table of a COM object the host made.
template <class Table>
const Table* tableOf(void* object) {
    return *static_cast<const Table* const*>(object);
}

bool sameId(const uint8_t* a, const v3_tuid b) { return a && std::memcmp(a, b, sizeof(v3_tuid)) == 0; }

void releaseObject(void* object) {
    if (object) tableOf<v3_funknown>(object)->unref(object);
}

// `text` (ASCII) into a host's 128-unit UTF-16 string.
void toUtf16(const char* text, int16_t* out, int size = 128) {
    int i = 0;
    for (; text && text[i] && i < size - 1; ++i) out[i] = static_cast<int16_t>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

void copyText(char* out, std::size_t size, const char* text) { std::snprintf(out, size, "%s", text); }

// --- parameters --------------------------------------------------------------

bool isParameter(v3_param_id id) { return id < static_cast<v3_param_id>(kNumNamedParams); }
bool isMeter(v3_param_id id) { return id == kMeter1Id || id == kMeter1Id + 1; }

// A host's normalised value as the engine takes it: within 0 to 1, NaN as the
// default, a stepped parameter held on the position the processing reads.
float engineValue(int index, double normalised) {
    const float v = kvb::hostValue(index, normalised);
    return kvb::positionCount(index) > 0 ? kvb::positionValue(index, kvb::positionOf(index, v)) : v;
}

double meterNormalised(float gainReductionDb) {
    const double v = static_cast<double>(gainReductionDb) / kMeterRangeDb;
    return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0;  // NaN too: at rest
}

// --- the instance ------------------------------------------------------------------

class Plugin;
class View;

// The address a host holds for one interface: the function table, then the
// way back to the instance.
template <class Owner>
struct Slot {
    const void* table;
    Owner* owner;
};

template <class Owner>
Owner* ownerOf(void* self) {
    return static_cast<Slot<Owner>*>(self)->owner;
}

const skin::ModuleSkin& moduleSkin() {
    static const skin::ModuleSkin skin(hInstance);
    return skin;
}

class Plugin final : private EditorHost {
public:
    Plugin();
    ~Plugin();

    uint32_t ref() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t unref() {
        const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }
    v3_result query(const uint8_t* iid, void** out);

    // IPluginBase (component and controller alike).
    v3_result initialize(v3_funknown** context);
    v3_result terminate();

    // IComponent.
    int32_t busCount(int32_t media, int32_t direction) const;
    v3_result busInfo(int32_t media, int32_t direction, int32_t index, v3_bus_info* info) const;
    v3_result activateBus(int32_t media, int32_t direction, int32_t index) const;
    v3_result setActive(bool active);
    v3_result setState(v3_bstream** stream, bool engineToo);
    v3_result getState(v3_bstream** stream) const;

    // IAudioProcessor.
    v3_result setBusArrangements(const v3_speaker_arrangement* in, int32_t nIn,
                                 const v3_speaker_arrangement* out, int32_t nOut) const;
    v3_result setupProcessing(const v3_process_setup* setup);
    v3_result setProcessing(bool on) {
        processing_.store(on, std::memory_order_relaxed);
        return V3_OK;
    }
    v3_result process(v3_process_data* data);

    // IEditController.
    v3_result parameterInfo(int32_t index, v3_param_info* info) const;
    v3_result stringForValue(v3_param_id id, double normalised, int16_t* out) const;
    v3_result valueForString(v3_param_id id, const int16_t* text, double* out) const;
    double toPlain(v3_param_id id, double normalised) const;
    double toNormalised(v3_param_id id, double plain) const;
    double normalised(v3_param_id id) const;
    v3_result setNormalised(v3_param_id id, double value);
    v3_result setHandler(v3_component_handler** handler);
    v3_plugin_view** createView(const char* name);

    // The views: the editor they show, one window at a time.
    ControlsguiEditor* editor() const { return editor_.load(std::memory_order_acquire); }
    bool claimEditor(View* view);
    void releaseEditor(View* view);

    Slot<Plugin> component_, processor_, controller_, requirements_;

private:
    // EditorHost: the editor's gestures, on the UI thread.
    void beginEdit(int index) override;
    void performEdit(int index, float value) override;
    void endEdit(int index) override;
    float parameter(int index) const override;
    float meter(int which) const override { return engine_.meter(which); }

    // A value the controller now shows (UI thread or audio thread).
    void show(int index, float value) {
        shown_[index].store(value, std::memory_order_relaxed);
        if (ControlsguiEditor* e = editor()) e->parameterChanged(index);
    }
    void writeMeters(v3_param_changes** out);

    kvb::Engine engine_;
    std::atomic<uint32_t> refs_{0};
    std::atomic<bool> active_{false};
    std::atomic<bool> processing_{false};
    std::atomic<float> shown_[kNumNamedParams];
    std::atomic<bool> editing_[kNumNamedParams];
    std::atomic<uint32_t> program_{0};

    v3_funknown** hostContext_ = nullptr;
    v3_component_handler** handler_ = nullptr;
    void* handler2_ = nullptr;  // IComponentHandler2, when the host has it (setDirty)

    // Made on the first createView, kept to the end: the audio thread tells it
    // of automation (parameterChanged is lock-free) while any view comes and goes.
    std::atomic<ControlsguiEditor*> editor_{nullptr};
    View* editorOwner_ = nullptr;

    // Audio thread only.
    kvb::ParameterChange batch_[kChangeBatch];
    int32_t cursor_[kMaxQueues];
    int32_t points_[kMaxQueues];
    float silence_[kScratchFrames] = {};
    float discard_[2][kScratchFrames] = {};
};

// --- the plug-in view (the editor) --------------------------------------------------

class View {
public:
    explicit View(Plugin* plugin);
    ~View();

    uint32_t ref() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t unref() {
        const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }
    v3_result query(const uint8_t* iid, void** out);

    v3_result attached(void* parent, const char* type);
    v3_result removed();
    v3_result setFrame(v3_plugin_frame** frame);
    v3_result wheel(float distance);
    v3_result setContentScale(float factor);
    // The view's size in pixels at its scale.
    void size(int& width, int& height) const;
    v3_result key(bool down, int16_t character, int16_t code, int16_t modifiers);
    void idle() {
        if (open_) plugin_->editor()->idle();
    }

    Slot<View> view_, scale_, timer_, events_;

private:
    void startIdling();
    void stopIdling();

    std::atomic<uint32_t> refs_{0};
    Plugin* plugin_;
    v3_plugin_frame** frame_ = nullptr;
    v3_run_loop** runLoop_ = nullptr;
    bool open_ = false;
    float hostScale_ = 1.0f;
    bool timerOn_ = false;
    bool fdOn_ = false;
};

bool isPlatformType(const char* type) {
#if defined(_WIN32)
    return type && std::strcmp(type, V3_VIEW_PLATFORM_TYPE_HWND) == 0;
#else
    return type && std::strcmp(type, V3_VIEW_PLATFORM_TYPE_X11) == 0;
#endif
}

// ---------------------------------------------------------------------------------
// The interfaces' entry points: each finds its instance through the slot and
// forwards. The comments on Plugin's and View's members say who calls.

// Lambdas with the platform's calling convention (x86-64 has one; the
// attribute is the interface's own).
#if defined(_WIN32) && !defined(_WIN64)
#define V3_API_LAMBDA __attribute__((stdcall))
#else
#define V3_API_LAMBDA
#endif

#define KVB_UNKNOWN(Owner)                                                                          \
    [](void* self, const v3_tuid iid, void** obj) V3_API_LAMBDA -> v3_result {                      \
        return ownerOf<Owner>(self)->query(iid, obj);                                               \
    },                                                                                              \
        [](void* self) V3_API_LAMBDA -> uint32_t { return ownerOf<Owner>(self)->ref(); },           \
        [](void* self) V3_API_LAMBDA -> uint32_t { return ownerOf<Owner>(self)->unref(); }

v3_result V3_API initializeEntry(void* self, v3_funknown** context) {
    return ownerOf<Plugin>(self)->initialize(context);
}
v3_result V3_API terminateEntry(void* self) { return ownerOf<Plugin>(self)->terminate(); }

const v3_component_cpp kComponentTable = {
    {KVB_UNKNOWN(Plugin)},
    {initializeEntry, terminateEntry},
    {
        // get_controller_class_id: none, the component is its own controller.
        [](void*, v3_tuid) V3_API_LAMBDA -> v3_result { return V3_NOT_IMPLEMENTED; },
        // set_io_mode: every mode processes the same way.
        [](void*, int32_t) V3_API_LAMBDA -> v3_result { return V3_OK; },
        [](void* self, int32_t media, int32_t dir) V3_API_LAMBDA -> int32_t {
            return ownerOf<Plugin>(self)->busCount(media, dir);
        },
        [](void* self, int32_t media, int32_t dir, int32_t index, v3_bus_info* info) V3_API_LAMBDA -> v3_result {
            return ownerOf<Plugin>(self)->busInfo(media, dir, index, info);
        },
        // get_routing_info: no routing to tell (no event input).
        [](void*, v3_routing_info*, v3_routing_info*) V3_API_LAMBDA -> v3_result { return V3_FALSE; },
        [](void* self, int32_t media, int32_t dir, int32_t index, v3_bool) V3_API_LAMBDA -> v3_result {
            return ownerOf<Plugin>(self)->activateBus(media, dir, index);
        },
        [](void* self, v3_bool state) V3_API_LAMBDA -> v3_result { return ownerOf<Plugin>(self)->setActive(state != 0); },
        [](void* self, v3_bstream** s) V3_API_LAMBDA -> v3_result { return ownerOf<Plugin>(self)->setState(s, true); },
        [](void* self, v3_bstream** s) V3_API_LAMBDA -> v3_result { return ownerOf<Plugin>(self)->getState(s); },
    },
};

const v3_audio_processor_cpp kProcessorTable = {
    {KVB_UNKNOWN(Plugin)},
    {
        [](void* self, v3_speaker_arrangement* in, int32_t nIn, v3_speaker_arrangement* out, int32_t nOut)
            V3_API_LAMBDA -> v3_result { return ownerOf<Plugin>(self)->setBusArrangements(in, nIn, out, nOut); },
        [](void*, int32_t dir, int32_t index, v3_speaker_arrangement* arrangement) V3_API_LAMBDA -> v3_result {
            if (!arrangement || index != 0 || (dir != V3_INPUT && dir != V3_OUTPUT)) return V3_INVALID_ARG;
            *arrangement = kStereo;
            return V3_OK;
        },
        // can_process_sample_size: 32-bit floats only.
        [](void*, int32_t size) V3_API_LAMBDA -> v3_result { return size == V3_SAMPLE_32 ? V3_OK : V3_FALSE; },
        [](void*) V3_API_LAMBDA -> uint32_t { return static_cast<uint32_t>(kvb::Engine::kLatency); },
        [](void* self, v3_process_setup* setup) V3_API_LAMBDA -> v3_result {
            return ownerOf<Plugin>(self)->setupProcessing(setup);
        },
        [](void* self, v3_bool on) V3_API_LAMBDA -> v3_result { return ownerOf<Plugin>(self)->setProcessing(on != 0); },
        [](void* self, v3_process_data* data) V3_API_LAMBDA -> v3_result { return ownerOf<Plugin>(self)->process(data); },
        [](void*) V3_API_LAMBDA -> uint32_t { return 0; },  // no tail
    },
};

const v3_process_context_requirements_cpp kRequirementsTable = {
    {KVB_UNKNOWN(Plugin)},
    {[](void*) V3_API_LAMBDA -> uint32_t { return 0; }},  // no transport or tempo needed
};

const v3_edit_controller_cpp kControllerTable = {
    {KVB_UNKNOWN(Plugin)},
    {initializeEntry, terminateEntry},
    {
        [](void* self, v3_bstream** s) V3_API_LAMBDA -> v3_result { return ownerOf<Plugin>(self)->setState(s, false); },
        // The controller keeps no state of its own: the component's holds all.
        [](void*, v3_bstream**) V3_API_LAMBDA -> v3_result { return V3_OK; },
        [](void*, v3_bstream**) V3_API_LAMBDA -> v3_result { return V3_OK; },
        [](void*) V3_API_LAMBDA -> int32_t { return kNumHostParams; },
        [](void* self, int32_t index, v3_param_info* info) V3_API_LAMBDA -> v3_result {
            return ownerOf<Plugin>(self)->parameterInfo(index, info);
        },
        [](void* self, v3_param_id id, double v, v3_str_128 out) V3_API_LAMBDA -> v3_result {
            return ownerOf<Plugin>(self)->stringForValue(id, v, out);
        },
        [](void* self, v3_param_id id, int16_t* text, double* out) V3_API_LAMBDA -> v3_result {
            return ownerOf<Plugin>(self)->valueForString(id, text, out);
        },
        [](void* self, v3_param_id id, double v) V3_API_LAMBDA -> double { return ownerOf<Plugin>(self)->toPlain(id, v); },
        [](void* self, v3_param_id id, double v) V3_API_LAMBDA -> double {
            return ownerOf<Plugin>(self)->toNormalised(id, v);
        },
        [](void* self, v3_param_id id) V3_API_LAMBDA -> double { return ownerOf<Plugin>(self)->normalised(id); },
        [](void* self, v3_param_id id, double v) V3_API_LAMBDA -> v3_result {
            return ownerOf<Plugin>(self)->setNormalised(id, v);
        },
        [](void* self, v3_component_handler** h) V3_API_LAMBDA -> v3_result {
            return ownerOf<Plugin>(self)->setHandler(h);
        },
        [](void* self, const char* name) V3_API_LAMBDA -> v3_plugin_view** {
            return ownerOf<Plugin>(self)->createView(name);
        },
    },
};

const v3_plugin_view_cpp kViewTable = {
    {KVB_UNKNOWN(View)},
    {
        [](void*, const char* type) V3_API_LAMBDA -> v3_result { return isPlatformType(type) ? V3_OK : V3_FALSE; },
        [](void* self, void* parent, const char* type) V3_API_LAMBDA -> v3_result {
            return ownerOf<View>(self)->attached(parent, type);
        },
        [](void* self) V3_API_LAMBDA -> v3_result { return ownerOf<View>(self)->removed(); },
        [](void* self, float distance) V3_API_LAMBDA -> v3_result { return ownerOf<View>(self)->wheel(distance); },
        [](void* self, int16_t c, int16_t code, int16_t mods) V3_API_LAMBDA -> v3_result {
            return ownerOf<View>(self)->key(true, c, code, mods);
        },
        [](void* self, int16_t c, int16_t code, int16_t mods) V3_API_LAMBDA -> v3_result {
            return ownerOf<View>(self)->key(false, c, code, mods);
        },
        [](void* self, v3_view_rect* r) V3_API_LAMBDA -> v3_result {
            if (!r) return V3_INVALID_ARG;
            int w = 0, h = 0;
            ownerOf<View>(self)->size(w, h);
            *r = {0, 0, w, h};
            return V3_OK;
        },
        // on_size: the size follows the scale alone; the host's is noted, not
        // followed.
        [](void*, v3_view_rect* r) V3_API_LAMBDA -> v3_result { return r ? V3_OK : V3_INVALID_ARG; },
        [](void*, v3_bool) V3_API_LAMBDA -> v3_result { return V3_OK; },
        [](void* self, v3_plugin_frame** frame) V3_API_LAMBDA -> v3_result {
            return ownerOf<View>(self)->setFrame(frame);
        },
        [](void*) V3_API_LAMBDA -> v3_result { return V3_FALSE; },  // can_resize
        [](void* self, v3_view_rect* r) V3_API_LAMBDA -> v3_result {
            if (!r) return V3_INVALID_ARG;
            int w = 0, h = 0;
            ownerOf<View>(self)->size(w, h);
            *r = {r->left, r->top, r->left + w, r->top + h};
            return V3_OK;
        },
    },
};

// The host's content scale: the editor is drawn at the nearest scale of its
// skin, and an open one asks the host's frame for its new size.
const v3_plugin_view_content_scale_cpp kScaleTable = {
    {KVB_UNKNOWN(View)},
    {[](void* self, float factor) V3_API_LAMBDA -> v3_result {
        return ownerOf<View>(self)->setContentScale(factor);
    }},
};

// Linux: the host's run loop calls these on its UI thread.
const v3_timer_handler_cpp kTimerTable = {
    {KVB_UNKNOWN(View)},
    {[](void* self) V3_API_LAMBDA { ownerOf<View>(self)->idle(); }},
};
const v3_event_handler_cpp kEventTable = {
    {KVB_UNKNOWN(View)},
    {[](void* self, int) V3_API_LAMBDA { ownerOf<View>(self)->idle(); }},
};

// ---------------------------------------------------------------------------------

Plugin::Plugin()
    : component_{&kComponentTable, this}, processor_{&kProcessorTable, this},
      controller_{&kControllerTable, this}, requirements_{&kRequirementsTable, this} {
    for (int i = 0; i < kNumNamedParams; ++i) {
        const float v = engineValue(i, parameterDefault(i));
        engine_.setParameter(i, v);
        shown_[i].store(v, std::memory_order_relaxed);
        editing_[i].store(false, std::memory_order_relaxed);
    }
}

Plugin::~Plugin() {
    terminate();
    delete editor_.load(std::memory_order_relaxed);
}

// queryInterface on any of the instance's interfaces, any thread.
v3_result Plugin::query(const uint8_t* iid, void** out) {
    if (!out) return V3_INVALID_ARG;
    void* found = nullptr;
    if (sameId(iid, v3_funknown_iid) || sameId(iid, v3_plugin_base_iid) || sameId(iid, v3_component_iid))
        found = &component_;
    else if (sameId(iid, v3_audio_processor_iid)) found = &processor_;
    else if (sameId(iid, v3_edit_controller_iid)) found = &controller_;
    else if (sameId(iid, v3_process_context_requirements_iid)) found = &requirements_;
    *out = found;
    if (!found) return V3_NO_INTERFACE;
    ref();
    return V3_OK;
}

// initialize, control thread, after creation (Ardour calls it a second time
// through the controller): keeps the host's context.
v3_result Plugin::initialize(v3_funknown** context) {
    if (context && !hostContext_) {
        tableOf<v3_funknown>(context)->ref(context);
        hostContext_ = context;
    }
    return V3_OK;
}

// terminate, control thread, before the last release: lets go of what the
// host gave.
v3_result Plugin::terminate() {
    setHandler(nullptr);
    releaseObject(hostContext_);
    hostContext_ = nullptr;
    return V3_OK;
}

// getBusCount, getBusInfo, activateBus: control thread. One stereo input and
// one stereo output bus; no event buses.
int32_t Plugin::busCount(int32_t media, int32_t direction) const {
    return media == V3_AUDIO && (direction == V3_INPUT || direction == V3_OUTPUT) ? 1 : 0;
}

v3_result Plugin::busInfo(int32_t media, int32_t direction, int32_t index, v3_bus_info* info) const {
    if (!info || busCount(media, direction) <= index || index < 0) return V3_INVALID_ARG;
    std::memset(info, 0, sizeof *info);
    info->media_type = V3_AUDIO;
    info->direction = direction;
    info->channel_count = 2;
    toUtf16(direction == V3_INPUT ? "Input" : "Output", info->bus_name);
    info->bus_type = V3_MAIN;
    info->flags = V3_DEFAULT_ACTIVE;
    return V3_OK;
}

v3_result Plugin::activateBus(int32_t media, int32_t direction, int32_t index) const {
    return index == 0 && busCount(media, direction) == 1 ? V3_OK : V3_INVALID_ARG;
}

// setActive, control thread, with processing stopped: each activation starts
// the chain without history; no gain is reduced while inactive.
v3_result Plugin::setActive(bool active) {
    const bool was = active_.exchange(active, std::memory_order_relaxed);
    if (active && !was) engine_.reset();
    if (!active) engine_.publishMeters(0.0f, 0.0f);
    return V3_OK;
}

// setBusArrangements, control thread, while inactive: stereo in, stereo out,
// nothing else.
v3_result Plugin::setBusArrangements(const v3_speaker_arrangement* in, int32_t nIn,
                                     const v3_speaker_arrangement* out, int32_t nOut) const {
    if (nIn != 1 || nOut != 1 || !in || !out) return V3_FALSE;
    return in[0] == kStereo && out[0] == kStereo ? V3_OK : V3_FALSE;
}

// setupProcessing, control thread, while inactive: the rate (one the engine
// cannot use is ignored, 44100 or the last good one stays) and the longest
// block. 64-bit samples are refused; so is a call while active, which would
// change the rate under the audio thread.
v3_result Plugin::setupProcessing(const v3_process_setup* setup) {
    if (!setup || setup->symbolic_sample_size != V3_SAMPLE_32) return V3_FALSE;
    if (active_.load(std::memory_order_relaxed)) return V3_FALSE;
    engine_.prepare(setup->sample_rate, setup->max_block_size);
    return V3_OK;
}

namespace {

// The points of the host's queues for our parameters, merged in frame order
// (a queue's points are in order; between queues, the earlier frame first,
// and at the same frame the earlier queue first).
struct QueueMerge {
    v3_param_changes** changes;
    int count;
    int32_t* cursor;  // the next point of each queue, -1 once done
    int32_t* points;  // each queue's number of points

    v3_param_value_queue** queue(int q) const {
        return tableOf<v3_param_changes_cpp>(changes)->changes.get_param_data(changes, q);
    }
    // The queue holding the earliest point left, or -1; its point in *frame.
    int next(int32_t& frame, double& value) const {
        int best = -1;
        for (int q = 0; q < count; ++q) {
            if (cursor[q] < 0) continue;
            if (cursor[q] >= points[q]) {
                cursor[q] = -1;
                continue;
            }
            int32_t f;
            double v;
            v3_param_value_queue** pq = queue(q);
            if (!pq || tableOf<v3_param_value_queue_cpp>(pq)->queue.get_point(pq, cursor[q], &f, &v) != V3_OK) {
                cursor[q] = -1;  // this queue is done
                continue;
            }
            if (best < 0 || f < frame) {
                best = q;
                frame = f;
                value = v;
            }
        }
        return best;
    }
};

}  // namespace


// process, audio thread (a call of 0 frames carrying parameter changes alone
// is the host's flush, at any time). Whatever the host hands over is taken
// without harm: missing buses, channels or buffers are silence in and
// discarded out, outputs may be the inputs, a negative frame count is 0.
// The changes of the input parameter queues apply at their frames (a change
// at or after the end applies after the block); the meters go to the output
// parameter changes.
v3_result Plugin::process(v3_process_data* d) {
    if (!d) return V3_INVALID_ARG;
    if (d->symbolic_sample_size != V3_SAMPLE_32) return V3_FALSE;
    const int32_t frames = d->nframes > 0 ? d->nframes : 0;

    const float* in[2] = {silence_, silence_};
    float* out[2] = {discard_[0], discard_[1]};
    bool given[4] = {false, false, false, false};  // in L, in R, out L, out R
    const v3_audio_bus_buffers* inBus = d->num_input_buses > 0 ? d->inputs : nullptr;
    const v3_audio_bus_buffers* outBus = d->num_output_buses > 0 ? d->outputs : nullptr;
    for (int c = 0; c < 2; ++c) {
        if (inBus && inBus->num_channels > c && inBus->channel_buffers_32 && inBus->channel_buffers_32[c]) {
            in[c] = inBus->channel_buffers_32[c];
            given[c] = true;
        }
        if (outBus && outBus->num_channels > c && outBus->channel_buffers_32 && outBus->channel_buffers_32[c]) {
            out[c] = outBus->channel_buffers_32[c];
            given[2 + c] = true;
        }
    }
    const bool scratch = !(given[0] && given[1] && given[2] && given[3]);
    const int32_t step = scratch ? kScratchFrames : frames;

    QueueMerge merge{d->input_params, 0, cursor_, points_};
    if (d->input_params) {
        const int32_t n = tableOf<v3_param_changes_cpp>(d->input_params)->changes.get_param_count(d->input_params);
        merge.count = n < 0 ? 0 : (n > kMaxQueues ? kMaxQueues : n);
    }
    // Only the queues of our parameters take part.
    v3_param_id ids[kMaxQueues];
    for (int q = 0; q < merge.count; ++q) {
        v3_param_value_queue** pq = merge.queue(q);
        const v3_param_value_queue* table = pq ? &tableOf<v3_param_value_queue_cpp>(pq)->queue : nullptr;
        ids[q] = table ? table->get_param_id(pq) : ~0u;
        points_[q] = table ? table->get_point_count(pq) : 0;
        cursor_[q] = table && isParameter(ids[q]) ? 0 : -1;
    }

    int32_t frame = 0;
    double value = 0.0;
    int q = merge.next(frame, value);
    // The change a merged point makes, on the frame `at` of the call at `pos`.
    const auto take = [&](int32_t pos) {
        const int index = static_cast<int>(ids[q]);
        const float v = engineValue(index, value);
        const int32_t at = frame > pos ? frame : pos;  // out of order: at once
        const kvb::ParameterChange c{static_cast<uint32_t>(at - pos), index, v};
        if (!editing_[index].load(std::memory_order_relaxed) && shown_[index].load(std::memory_order_relaxed) != v)
            show(index, v);
        ++cursor_[q];
        q = merge.next(frame, value);
        return c;
    };

    int32_t pos = 0;
    do {
        // One engine call: up to the end of the block (or of a scratch
        // buffer's length), with the changes before that end. When the batch
        // runs full, the call ends at the frame of its last change, which
        // then applies after the call, before the next: the same sound.
        int32_t end = frames - pos < step ? frames : pos + step;
        int n = 0;
        while (q >= 0 && frame < end) {
            if (n == kChangeBatch) {
                end = pos + static_cast<int32_t>(batch_[n - 1].frame);
                break;
            }
            batch_[n++] = take(pos);
        }
        const float* i[2];
        float* o[2];
        for (int c = 0; c < 2; ++c) {
            i[c] = given[c] ? in[c] + pos : in[c];
            o[c] = given[2 + c] ? out[c] + pos : out[c];
        }
        engine_.process(i, o, end - pos, batch_, n);
        pos = end;
    } while (pos < frames);
    // What is left applies after the block (the whole flush, for 0 frames).
    while (q >= 0) {
        const kvb::ParameterChange c = take(frames);
        engine_.setParameter(c.index, c.value);
    }

    writeMeters(d->output_params);
    return V3_OK;
}

// The meters' gain reductions, 0 to 30 dB as 0 to 1, once per process call.
void Plugin::writeMeters(v3_param_changes** changes) {
    if (!changes) return;
    for (int w = 0; w < 2; ++w) {
        v3_param_id id = kMeter1Id + static_cast<v3_param_id>(w);
        int32_t index = 0;
        v3_param_value_queue** pq = tableOf<v3_param_changes_cpp>(changes)->changes.add_param_data(changes, &id, &index);
        if (!pq) continue;
        int32_t point = 0;
        tableOf<v3_param_value_queue_cpp>(pq)->queue.add_point(pq, 0, meterNormalised(engine_.meter(w)), &point);
    }
}

// setState (component: the sound and what the controller shows) and
// setComponentState (controller: what it shows), control thread: the
// engine's state blob. A stream that cannot be read or a blob that is not a
// state of ours (short, another tag, a newer version, values that are not
// numbers) changes nothing and answers an error; values beyond 0 to 1 are
// read as the nearer end, stepped ones held on their positions.
v3_result Plugin::setState(v3_bstream** stream, bool engineToo) {
    if (!stream) return V3_INVALID_ARG;
    unsigned char data[1024];
    std::size_t size = 0;
    while (size < sizeof data) {
        int32_t got = 0;
        const auto room = static_cast<int32_t>(sizeof data - size);
        if (tableOf<StreamTable>(stream)->stream.read(stream, data + size, room, &got) != V3_OK || got <= 0) break;
        size += static_cast<std::size_t>(got > room ? room : got);
    }
    kvb::SavedState state;
    if (kvb::readState(data, size, state) != kvb::StateError::None) return V3_INVALID_ARG;
    if (engineToo) program_.store(state.program, std::memory_order_relaxed);
    for (int i = 0; i < kNumParams; ++i) {
        const float raw = state.values[i];
        const float v = i < kNumNamedParams ? engineValue(i, raw) : (raw < 0.0f ? 0.0f : (raw > 1.0f ? 1.0f : raw));
        if (engineToo) engine_.setParameter(i, v);
        if (i < kNumNamedParams) show(i, v);
    }
    return V3_OK;
}

// getState, control thread: the blob of the engine's values and the program.
v3_result Plugin::getState(v3_bstream** stream) const {
    if (!stream) return V3_INVALID_ARG;
    kvb::SavedState state;
    state.program = program_.load(std::memory_order_relaxed);
    for (int i = 0; i < kNumParams; ++i) state.values[i] = engine_.parameter(i);
    unsigned char data[kvb::kStateBytes];
    kvb::writeState(state, data);
    int32_t written = 0;
    if (tableOf<StreamTable>(stream)->stream.write(stream, data, sizeof data, &written) != V3_OK ||
        written != static_cast<int32_t>(sizeof data))
        return V3_FALSE;
    return V3_OK;
}

// getParameterInfo, control thread.
v3_result Plugin::parameterInfo(int32_t index, v3_param_info* info) const {
    if (!info || index < 0 || index >= kNumHostParams) return V3_INVALID_ARG;
    std::memset(info, 0, sizeof *info);
    info->param_id = static_cast<v3_param_id>(index);
    info->unit_id = 0;  // the root unit
    if (isMeter(info->param_id)) {
        const bool first = index == static_cast<int32_t>(kMeter1Id);
        toUtf16(first ? "Gain reduction 1" : "Gain reduction 2", info->title);
        toUtf16(first ? "GR1" : "GR2", info->short_title);
        toUtf16("dB", info->units);
        info->flags = V3_PARAM_READ_ONLY;
        return V3_OK;
    }
    const kvb::ParameterDescription& p = kvb::describeParameter(index);
    toUtf16(p.title, info->title);
    toUtf16(parameterName(index), info->short_title);
    toUtf16(p.unit, info->units);
    const int positions = kvb::positionCount(index);
    info->step_count = positions > 0 ? positions - 1 : 0;
    info->default_normalised_value = engineValue(index, parameterDefault(index));
    info->flags = V3_PARAM_CAN_AUTOMATE;
    // Modes by name are a list; the six times and ratios are numbers.
    if (positions > 0 && !kvb::positionsAreNumbers(index)) info->flags |= V3_PARAM_IS_LIST;
    return V3_OK;
}

// getParamStringByValue, any thread: the value in real units.
v3_result Plugin::stringForValue(v3_param_id id, double normalised, int16_t* out) const {
    if (!out) return V3_INVALID_ARG;
    char text[64];
    if (isParameter(id)) {
        kvb::formatValue(static_cast<int>(id), engineValue(static_cast<int>(id), normalised), text, sizeof text);
    } else if (isMeter(id)) {
        const double v = normalised > 0.0 ? (normalised < 1.0 ? normalised : 1.0) : 0.0;
        std::snprintf(text, sizeof text, "%.1f dB", v * kMeterRangeDb);
    } else {
        return V3_INVALID_ARG;
    }
    toUtf16(text, out);
    return V3_OK;
}

// getParamValueByString, any thread: a text as formatValue writes it (or a
// position's name, or a number in the unit).
v3_result Plugin::valueForString(v3_param_id id, const int16_t* text, double* out) const {
    if (!text || !out || !(isParameter(id) || isMeter(id))) return V3_INVALID_ARG;
    char narrow[128];
    int n = 0;
    for (; n < 127 && text[n]; ++n) {
        if (text[n] < 0 || text[n] > 126) return V3_FALSE;  // none of our texts has such a character
        narrow[n] = static_cast<char>(text[n]);
    }
    narrow[n] = 0;
    if (isMeter(id)) {
        char* end = nullptr;
        const double db = std::strtod(narrow, &end);
        if (end == narrow || !std::isfinite(db)) return V3_FALSE;
        *out = meterNormalised(static_cast<float>(db));
        return V3_OK;
    }
    float v = 0.0f;
    if (!kvb::parseValue(static_cast<int>(id), narrow, v)) return V3_FALSE;
    *out = v;
    return V3_OK;
}

// normalizedParamToPlain and back, any thread. A stepped parameter's plain
// value is the number of its position (0 to stepCount), as the processing
// reads the normalised value; the way back is that position's value on the
// grid k / stepCount. A continuous parameter's plain value is its normalised
// value; a meter's, its gain reduction in dB.
double Plugin::toPlain(v3_param_id id, double normalised) const {
    if (isMeter(id)) return (normalised > 0.0 ? (normalised < 1.0 ? normalised : 1.0) : 0.0) * kMeterRangeDb;
    if (!isParameter(id)) return 0.0;
    const int i = static_cast<int>(id);
    const float v = engineValue(i, normalised);
    return kvb::positionCount(i) > 0 ? kvb::positionOf(i, v) : v;
}

double Plugin::toNormalised(v3_param_id id, double plain) const {
    if (isMeter(id)) return std::isnan(plain) ? 0.0 : meterNormalised(static_cast<float>(plain));
    if (!isParameter(id)) return 0.0;
    const int i = static_cast<int>(id);
    const int positions = kvb::positionCount(i);
    if (positions == 0) return kvb::hostValue(i, plain);
    if (std::isnan(plain)) return engineValue(i, parameterDefault(i));
    const double k = std::round(plain < 0.0 ? 0.0 : (plain > positions - 1 ? positions - 1 : plain));
    return kvb::positionValue(i, static_cast<int>(k));
}

// getParamNormalized, any thread: what the controller shows; a meter's
// latest reading.
double Plugin::normalised(v3_param_id id) const {
    if (isParameter(id)) return shown_[id].load(std::memory_order_relaxed);
    if (isMeter(id)) return meterNormalised(engine_.meter(static_cast<int>(id - kMeter1Id)));
    return 0.0;
}

// setParamNormalized, UI thread: the host tells the controller a value (its
// own generic editor, automation it plays, a meter it reflects). The editor
// shows it; the sound takes it from the processing queues.
v3_result Plugin::setNormalised(v3_param_id id, double value) {
    if (isMeter(id)) return V3_OK;  // the editor reads the meters itself
    if (!isParameter(id)) return V3_INVALID_ARG;
    show(static_cast<int>(id), engineValue(static_cast<int>(id), value));
    return V3_OK;
}

// setComponentHandler, UI thread: where the editor's gestures go.
v3_result Plugin::setHandler(v3_component_handler** handler) {
    if (handler == handler_) return V3_OK;
    releaseObject(handler2_);
    handler2_ = nullptr;
    releaseObject(handler_);
    handler_ = handler;
    if (handler_) {
        tableOf<v3_funknown>(handler_)->ref(handler_);
        void* h2 = nullptr;
        if (tableOf<v3_funknown>(handler_)->query_interface(handler_, v3_component_handler2_iid, &h2) == V3_OK)
            handler2_ = h2;
    }
    return V3_OK;
}

// createView, UI thread: the editor, for "editor" views only.
v3_plugin_view** Plugin::createView(const char* name) {
    if (!name || std::strcmp(name, "editor") != 0) return nullptr;
    if (!editor()) {
        ControlsguiEditor* e = nullptr;
        try {
            e = new ControlsguiEditor(*this, moduleSkin());
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        editor_.store(e, std::memory_order_release);
    }
    View* view = new (std::nothrow) View(this);
    if (!view) return nullptr;
    view->ref();
    return reinterpret_cast<v3_plugin_view**>(&view->view_);
}

bool Plugin::claimEditor(View* view) {
    if (editorOwner_ && editorOwner_ != view) return false;
    editorOwner_ = view;
    return true;
}

void Plugin::releaseEditor(View* view) {
    if (editorOwner_ == view) editorOwner_ = nullptr;
}

// The editor's gestures, UI thread. Parameters 0 to 25 go to the host; the
// meters' own controls (26, 27) are kept in the engine alone, and the host
// hears only that the state changed.
void Plugin::beginEdit(int index) {
    if (index < 0 || index >= kNumNamedParams) return;
    editing_[index].store(true, std::memory_order_relaxed);
    if (handler_) tableOf<HandlerTable>(handler_)->handler.begin_edit(handler_, static_cast<v3_param_id>(index));
}

void Plugin::performEdit(int index, float value) {
    if (index == kMeter1Param || index == kMeter2Param) {
        engine_.setParameter(index, kvb::hostValue(index, value));
        if (handler2_) tableOf<Handler2Table>(handler2_)->handler2.set_dirty(handler2_, 1);
        return;
    }
    if (index < 0 || index >= kNumNamedParams) return;
    const float v = engineValue(index, value);
    if (v == shown_[index].load(std::memory_order_relaxed)) return;  // the same setting: no news
    shown_[index].store(v, std::memory_order_relaxed);
    if (handler_)
        tableOf<HandlerTable>(handler_)->handler.perform_edit(handler_, static_cast<v3_param_id>(index), v);
}

void Plugin::endEdit(int index) {
    if (index < 0 || index >= kNumNamedParams) return;
    if (handler_) tableOf<HandlerTable>(handler_)->handler.end_edit(handler_, static_cast<v3_param_id>(index));
    editing_[index].store(false, std::memory_order_relaxed);
}

float Plugin::parameter(int index) const {
    if (index >= 0 && index < kNumNamedParams) return shown_[index].load(std::memory_order_relaxed);
    return engine_.parameter(index);
}

// ---------------------------------------------------------------------------------

View::View(Plugin* plugin)
    : view_{&kViewTable, this}, scale_{&kScaleTable, this}, timer_{&kTimerTable, this},
      events_{&kEventTable, this}, plugin_(plugin) {
    plugin_->ref();
}

View::~View() {
    if (open_) removed();
    releaseObject(frame_);
    plugin_->unref();
}

// queryInterface, UI thread (and the host's run loop).
v3_result View::query(const uint8_t* iid, void** out) {
    if (!out) return V3_INVALID_ARG;
    void* found = nullptr;
    if (sameId(iid, v3_funknown_iid) || sameId(iid, v3_plugin_view_iid)) found = &view_;
    else if (sameId(iid, v3_plugin_view_content_scale_iid)) found = &scale_;
#if !defined(_WIN32)
    else if (sameId(iid, v3_timer_handler_iid)) found = &timer_;
    else if (sameId(iid, v3_event_handler_iid)) found = &events_;
#endif
    *out = found;
    if (!found) return V3_NO_INTERFACE;
    ref();
    return V3_OK;
}

// attached, UI thread: the editor opens in the host's window (an X11 window
// id, or an HWND) and starts idling. One view shows the editor at a time.
v3_result View::attached(void* parent, const char* type) {
    if (!parent || !isPlatformType(type) || open_) return V3_FALSE;
    ControlsguiEditor* editor = plugin_->editor();
    if (!editor || !plugin_->claimEditor(this)) return V3_FALSE;
    editor->setScale(hostScale_);  // another view may have shown it at another
    if (!editor->open(parent)) {
        plugin_->releaseEditor(this);
        return V3_FALSE;
    }
    open_ = true;
    startIdling();
    return V3_OK;
}

// removed, UI thread: stops idling and closes the editor's window.
v3_result View::removed() {
    if (!open_) return V3_FALSE;
    stopIdling();
    plugin_->editor()->close();
    plugin_->releaseEditor(this);
    open_ = false;
    return V3_OK;
}

// setFrame, UI thread, before attached (or after: idling then starts here).
v3_result View::setFrame(v3_plugin_frame** frame) {
    if (frame == frame_) return V3_OK;
    if (open_) stopIdling();
    releaseObject(frame_);
    frame_ = frame;
    if (frame_) tableOf<v3_funknown>(frame_)->ref(frame_);
    if (open_) startIdling();
    return V3_OK;
}

// Windows: the editor's own timer. Linux: the run loop the host's frame
// offers, a timer and the X display's descriptor.
void View::startIdling() {
    ControlsguiEditor* editor = plugin_->editor();
#if defined(_WIN32)
    editor->idleOnOwnTimer(kIdleMs);
#else
    if (!frame_ || runLoop_) return;
    void* loop = nullptr;
    if (tableOf<v3_funknown>(frame_)->query_interface(frame_, v3_run_loop_iid, &loop) != V3_OK || !loop) return;
    runLoop_ = static_cast<v3_run_loop**>(loop);
    const v3_run_loop& rl = tableOf<v3_run_loop_cpp>(runLoop_)->loop;
    timerOn_ = rl.register_timer(runLoop_, reinterpret_cast<v3_timer_handler**>(&timer_), kIdleMs) == V3_OK;
    const int fd = editor->eventFd();
    fdOn_ = fd >= 0 && rl.register_event_handler(runLoop_, reinterpret_cast<v3_event_handler**>(&events_), fd) == V3_OK;
#endif
}

void View::stopIdling() {
    if (!runLoop_) return;
    const v3_run_loop& rl = tableOf<v3_run_loop_cpp>(runLoop_)->loop;
    if (timerOn_) rl.unregister_timer(runLoop_, reinterpret_cast<v3_timer_handler**>(&timer_));
    if (fdOn_) rl.unregister_event_handler(runLoop_, reinterpret_cast<v3_event_handler**>(&events_));
    timerOn_ = fdOn_ = false;
    releaseObject(runLoop_);
    runLoop_ = nullptr;
}

// setContentScaleFactor, UI thread: before attached (the editor opens at the
// scale) or while open (the editor takes the size of the scale and the host's
// frame is asked to follow with resizeView).
v3_result View::setContentScale(float factor) {
    if (!(factor > 0.0f) || factor > 100.0f) return V3_INVALID_ARG;
    hostScale_ = factor;
    if (!open_) return V3_OK;
    ControlsguiEditor* editor = plugin_->editor();
    if (editor->setScale(factor) && frame_) {
        v3_view_rect r{0, 0, editor->width(), editor->height()};
        tableOf<v3_plugin_frame_cpp>(frame_)->frame.resize_view(
            frame_, reinterpret_cast<v3_plugin_view**>(&view_), &r);
    }
    return V3_OK;
}

void View::size(int& width, int& height) const {
    const ControlsguiEditor* editor = plugin_->editor();
    if (open_ && editor) {
        width = editor->width();
        height = editor->height();
        return;
    }
    const int percent = kvbeditor::skinPercentFor(hostScale_);
    width = kvbeditor::scaled(kViewWidth, percent);
    height = kvbeditor::scaled(kViewHeight, percent);
}

// onWheel, onKeyDown, onKeyUp, UI thread. The key codes and modifier bits
// are those the editor knows from VST 2.4 (the same numbering).
v3_result View::wheel(float distance) {
    return open_ && plugin_->editor()->onWheel(distance) ? V3_TRUE : V3_FALSE;
}

v3_result View::key(bool down, int16_t character, int16_t code, int16_t modifiers) {
    if (!open_) return V3_FALSE;
    vst::VstKeyCode k{character, static_cast<unsigned char>(code), static_cast<unsigned char>(modifiers)};
    ControlsguiEditor* editor = plugin_->editor();
    return (down ? editor->onKeyDown(k) : editor->onKeyUp(k)) ? V3_TRUE : V3_FALSE;
}

// --- the factory -------------------------------------------------------------------

void classInfo(v3_class_info* info) {
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->class_id, kClassId, sizeof(v3_tuid));
    info->cardinality = 0x7FFFFFFF;
    copyText(info->category, sizeof info->category, kCategory);
    copyText(info->name, sizeof info->name, kName);
}

// The module's one factory: never deleted, its reference count unused.
// Every call comes from the host's control thread.
const v3_plugin_factory_cpp kFactoryTable = {
    {
        [](void* self, const v3_tuid iid, void** obj) V3_API_LAMBDA -> v3_result {
            if (!obj) return V3_INVALID_ARG;
            const bool ours = sameId(iid, v3_funknown_iid) || sameId(iid, v3_plugin_factory_iid) ||
                              sameId(iid, v3_plugin_factory_2_iid) || sameId(iid, v3_plugin_factory_3_iid);
            *obj = ours ? self : nullptr;
            return ours ? V3_OK : V3_NO_INTERFACE;
        },
        [](void*) V3_API_LAMBDA -> uint32_t { return 1; },
        [](void*) V3_API_LAMBDA -> uint32_t { return 1; },
    },
    {
        [](void*, v3_factory_info* info) V3_API_LAMBDA -> v3_result {
            if (!info) return V3_INVALID_ARG;
            std::memset(info, 0, sizeof *info);
            copyText(info->vendor, sizeof info->vendor, kVendor);
            copyText(info->url, sizeof info->url, kVendor);
            info->flags = 0x10;  // strings in UTF-16 where the interface has them
            return V3_OK;
        },
        [](void*) V3_API_LAMBDA -> int32_t { return 1; },
        [](void*, int32_t index, v3_class_info* info) V3_API_LAMBDA -> v3_result {
            if (!info || index != 0) return V3_INVALID_ARG;
            classInfo(info);
            return V3_OK;
        },
        [](void*, const v3_tuid classId, const v3_tuid iid, void** instance) V3_API_LAMBDA -> v3_result {
            if (!instance) return V3_INVALID_ARG;
            *instance = nullptr;
            if (!sameId(classId, kClassId)) return V3_NO_INTERFACE;
            Plugin* plugin = nullptr;
            try {
                plugin = new Plugin;
            } catch (const std::bad_alloc&) {
                return V3_NOMEM;
            }
            plugin->ref();
            const v3_result r = plugin->query(iid, instance);
            plugin->unref();  // gone again when the interface was not ours
            return r;
        },
    },
    {
        [](void*, int32_t index, v3_class_info_2* info) V3_API_LAMBDA -> v3_result {
            if (!info || index != 0) return V3_INVALID_ARG;
            v3_class_info one;
            classInfo(&one);
            std::memset(info, 0, sizeof *info);
            std::memcpy(info->class_id, one.class_id, sizeof(v3_tuid));
            info->cardinality = one.cardinality;
            std::memcpy(info->category, one.category, sizeof info->category);
            std::memcpy(info->name, one.name, sizeof info->name);
            copyText(info->sub_categories, sizeof info->sub_categories, kSubCategories);
            copyText(info->vendor, sizeof info->vendor, kVendor);
            copyText(info->version, sizeof info->version, kVersion);
            copyText(info->sdk_version, sizeof info->sdk_version, kSdkVersion);
            return V3_OK;
        },
    },
    {
        [](void*, int32_t index, v3_class_info_3* info) V3_API_LAMBDA -> v3_result {
            if (!info || index != 0) return V3_INVALID_ARG;
            v3_class_info one;
            classInfo(&one);
            std::memset(info, 0, sizeof *info);
            std::memcpy(info->class_id, one.class_id, sizeof(v3_tuid));
            info->cardinality = one.cardinality;
            std::memcpy(info->category, one.category, sizeof info->category);
            toUtf16(kName, info->name, 64);
            copyText(info->sub_categories, sizeof info->sub_categories, kSubCategories);
            toUtf16(kVendor, info->vendor, 64);
            toUtf16(kVersion, info->version, 64);
            toUtf16(kSdkVersion, info->sdk_version, 64);
            return V3_OK;
        },
        [](void*, v3_funknown**) V3_API_LAMBDA -> v3_result { return V3_OK; },  // nothing taken from it
    },
};

Slot<void> gFactory{&kFactoryTable, nullptr};

}  // namespace

// --- the module's exports -------------------------------------------------------------
// Called by the host's loader, on the thread that loads the module.

extern "C" {

KVB_EXPORT void* GetPluginFactory() { return &gFactory; }

#if defined(_WIN32)
KVB_EXPORT bool InitDll() { return true; }
KVB_EXPORT bool ExitDll() { return true; }
#else
KVB_EXPORT bool ModuleEntry(void*) { return true; }
KVB_EXPORT bool ModuleExit() { return true; }
#endif
}
