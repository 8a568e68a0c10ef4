// The CLAP plug-in: the engine and the editor driven through the CLAP entry,
// its factory and the plug-in's extensions (params, state, latency,
// audio-ports, gui, and on Linux timer-support and posix-fd-support).
//
// Parameters as the host sees them:
//   ids 0-25   the plug-in's parameters in the VST 2.4 order, named by their
//              titles. Continuous ones take 0 to 1 (the engine's value
//              itself); stepped ones (switches, three and six positions) take
//              the whole numbers 0 to n-1, each held in the engine as the value
//              the processing reads as that position (positionValue).
//   ids 26-27  the two meters' gain reduction, 0 to 30 dB, read-only; their
//              values go out as parameter events when they change.
// Engine parameters 26 to 50 (the meters' own controls and spares) are no
// host parameters; the state keeps them.
//
// Threads:
//   main thread   the factory, init/destroy, activate/deactivate, the params
//                 queries, state, gui, timers and descriptors; the editor
//                 lives here.
//   audio thread  process, start/stop_processing, reset, and params flush
//                 while active (flush runs on the main thread otherwise).
// Parameter values live in the engine as relaxed atomics. The editor's edits
// go to the engine at once and to the host through a single-producer,
// single-consumer queue (UI thread in, process or flush out). Host changes
// played on the audio thread raise per-parameter flags that the editor's
// idle takes on the UI thread. Nothing on the audio thread allocates, locks
// or calls the system.
#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "clap/PosixFdSupport.h"
#include "editor/ControlsguiEditor.h"
#include "engine/Engine.h"
#include "engine/ParameterText.h"
#include "engine/State.h"
#include "platform/Module.h"
#include "resources/SkinResources.h"

namespace {

constexpr char kPluginId[] = "example.kvb-audio.kvb";
constexpr int kNumSettings = kNumNamedParams;        // ids 0-25
constexpr int kNumHostParams = kNumNamedParams + 2;  // and the meters, 26 and 27
constexpr double kMeterRange = 30.0;                 // dB of gain reduction
constexpr std::uint32_t kIdleMs = 30;

#if defined(_WIN32)
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif

// --- values ------------------------------------------------------------------

bool isSetting(clap_id id) { return id < static_cast<clap_id>(kNumSettings); }
bool isMeter(clap_id id) { return id == kMeter1Param || id == kMeter2Param; }

// The host's value of parameter `id` (0-25) for an engine value.
double clapValueOf(int id, float engineValue) {
    if (kvb::positionCount(id) == 0) return engineValue;
    return kvb::positionOf(id, engineValue);
}

// The engine value for a host's value: continuous values within 0 to 1 (the
// nearer end beyond it), positions cut to whole numbers within 0 to n-1 as
// CLAP reads stepped values; not-a-number is the default.
float engineValueOf(int id, double value) {
    const int n = kvb::positionCount(id);
    if (n == 0 || std::isnan(value)) return kvb::hostValue(id, value);
    const double top = n - 1;
    const double position = value < 0.0 ? 0.0 : (value > top ? top : value);
    return kvb::positionValue(id, static_cast<int>(position));
}

// A meter's reading as its parameter shows it: 0 to 30 dB, not-a-number at rest.
double meterValue(float gainReduction) {
    const double g = gainReduction;
    return g > 0.0 ? (g < kMeterRange ? g : kMeterRange) : 0.0;
}

// --- the editor's edits on their way to the host ---------------------------

// One gesture step of the editor, as it goes out.
struct Edit {
    std::uint16_t type;  // CLAP_EVENT_PARAM_GESTURE_BEGIN, _VALUE or _GESTURE_END
    std::uint16_t id;
    double value;
};

// Single producer (the UI thread), single consumer (process, or flush; the
// host never runs the two at once). Fixed size; nothing allocates.
class EditQueue {
public:
    bool push(const Edit& e) {
        const std::uint32_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) == kCapacity) return false;
        slots_[head & (kCapacity - 1)] = e;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }
    const Edit* front() const {
        const std::uint32_t tail = tail_.load(std::memory_order_relaxed);
        return head_.load(std::memory_order_acquire) == tail ? nullptr : &slots_[tail & (kCapacity - 1)];
    }
    void pop() { tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

private:
    static constexpr std::uint32_t kCapacity = 1024;
    Edit slots_[kCapacity];
    std::atomic<std::uint32_t> head_{0}, tail_{0};
};

// What a full queue could not take, kept per parameter until it goes out.
enum : std::uint8_t { kResendValue = 1, kResendEnd = 2 };

clap_event_param_value_t valueEvent(clap_id id, double value, std::uint32_t time, std::uint32_t flags) {
    clap_event_param_value_t e{};
    e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, flags};
    e.param_id = id;
    e.cookie = nullptr;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = value;
    return e;
}

clap_event_param_gesture_t gestureEvent(std::uint16_t type, clap_id id, std::uint32_t time) {
    clap_event_param_gesture_t e{};
    e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
    e.param_id = id;
    return e;
}

bool push(const clap_output_events_t* out, const clap_event_header_t& e) {
    return out && out->try_push && out->try_push(out, &e);
}

const skin::ModuleSkin& moduleSkin() {
    // The skin bound into this module.
    static const skin::ModuleSkin skin(hInstance);
    return skin;
}

// --- the instance ----------------------------------------------------------

struct Plugin;

// The editor, idled by the host's timer and descriptor (Linux) or by its own
// timer (Windows): each idle first moves the controls of the parameters the
// host changed since the last.
class ClapEditor final : public ControlsguiEditor {
public:
    ClapEditor(Plugin& plugin, EditorHost& seam) : ControlsguiEditor(seam, moduleSkin()), plugin_(plugin) {}
    void idle() override;

private:
    Plugin& plugin_;
};

struct Plugin final : EditorHost {
    explicit Plugin(const clap_host_t* h);

    // EditorHost, the UI (main) thread.
    void beginEdit(int index) override;
    void performEdit(int index, float value) override;
    void endEdit(int index) override;
    float parameter(int index) const override { return engine.parameter(index); }
    float meter(int which) const override { return engine.meter(which); }

    void requestFlush();
    // Audio thread (or main thread in an inactive flush): the editor's edits
    // that wait, out to the host at `time`, as far as the host takes them.
    void sendEdits(const clap_output_events_t* out, std::uint32_t time);
    void sendMeters(const clap_output_events_t* out, std::uint32_t time);
    void hostChanged(int index) { changedByHost[index].store(true, std::memory_order_release); }

    // Processing (audio thread).
    struct Io {
        const float* in[2];
        float* out[2];
        bool direct;
    };
    void runSpan(const Io& io, std::uint32_t from, std::uint32_t to);
    clap_process_status process(const clap_process_t& p);

    // Editor (main thread).
    bool openEditor();
    void closeEditor();
    void idleEditor();

    clap_plugin_t clap{};
    const clap_host_t* host;
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_state_t* hostState = nullptr;
    const clap_host_gui_t* hostGui = nullptr;
    const clap_host_timer_support_t* hostTimers = nullptr;
    const clap_host_posix_fd_support_t* hostFds = nullptr;

    kvb::Engine engine;
    std::uint32_t program = 0;  // kept from a loaded state, written back
    // Set on the main thread, read on the audio thread too.
    std::atomic<bool> active{false};
    std::atomic<bool> processing{false};

    // Audio thread: the changes of the span being gathered, scratch audio for
    // ports the host leaves out, and what the meters last reported.
    static constexpr int kMaxChanges = 64;
    static constexpr std::uint32_t kScratchFrames = 256;
    kvb::ParameterChange changes[kMaxChanges];
    int changeCount = 0;
    float silence[kScratchFrames] = {};
    float discard[2][kScratchFrames] = {};
    double sentMeter[2] = {-1.0, -1.0};

    // Between the threads.
    EditQueue edits;
    std::atomic<std::uint8_t> resend[kNumSettings];
    std::atomic<bool> changedByHost[kNumSettings];

    // UI thread.
    bool gestureOpen[kNumSettings] = {};
    std::unique_ptr<ClapEditor> editor;
    double scale = 1.0;  // the host's, kept for an editor made later
    void* parent = nullptr;
    bool hasParent = false;
    clap_id timer = CLAP_INVALID_ID;
    int watchedFd = -1;
};

Plugin* self(const clap_plugin_t* p) { return static_cast<Plugin*>(p->plugin_data); }

void ClapEditor::idle() {
    plugin_.idleEditor();
    ControlsguiEditor::idle();
}

// --- the editor's side -------------------------------------------------------

void Plugin::beginEdit(int index) {
    if (index < 0 || index >= kNumSettings) return;
    // A gesture whose end is still waiting to go out goes on instead.
    if (resend[index].fetch_and(static_cast<std::uint8_t>(~kResendEnd)) & kResendEnd) {
        gestureOpen[index] = true;
        return;
    }
    gestureOpen[index] = edits.push({CLAP_EVENT_PARAM_GESTURE_BEGIN, static_cast<std::uint16_t>(index), 0.0});
    requestFlush();
}

void Plugin::performEdit(int index, float value) {
    if (index == kMeter1Param || index == kMeter2Param) {
        // The meters' own controls: the state keeps them, the host has no
        // parameter for them.
        engine.setParameter(index, kvb::hostValue(index, value));
        if (hostState && hostState->mark_dirty) hostState->mark_dirty(host);
        return;
    }
    if (index < 0 || index >= kNumSettings) return;
    const float engineValue = engineValueOf(index, clapValueOf(index, kvb::hostValue(index, value)));
    const double clapValue = clapValueOf(index, engineValue);
    if (clapValue == clapValueOf(index, engine.parameter(index))) return;
    engine.setParameter(index, engineValue);
    if (!edits.push({CLAP_EVENT_PARAM_VALUE, static_cast<std::uint16_t>(index), clapValue}))
        resend[index].fetch_or(kResendValue);
    requestFlush();
    if (hostState && hostState->mark_dirty) hostState->mark_dirty(host);
}

void Plugin::endEdit(int index) {
    if (index < 0 || index >= kNumSettings || !gestureOpen[index]) return;
    gestureOpen[index] = false;
    if (!edits.push({CLAP_EVENT_PARAM_GESTURE_END, static_cast<std::uint16_t>(index), 0.0}))
        resend[index].fetch_or(kResendEnd);
    requestFlush();
}

// While the host processes, the next process call takes the edits; otherwise
// it is asked to flush.
void Plugin::requestFlush() {
    if (!processing.load(std::memory_order_relaxed) && hostParams && hostParams->request_flush)
        hostParams->request_flush(host);
}

void Plugin::sendEdits(const clap_output_events_t* out, std::uint32_t time) {
    if (!out) return;
    while (const Edit* e = edits.front()) {
        if (e->type == CLAP_EVENT_PARAM_VALUE) {
            const auto v = valueEvent(e->id, e->value, time, 0);
            if (!push(out, v.header)) return;
        } else {
            const auto g = gestureEvent(e->type, e->id, time);
            if (!push(out, g.header)) return;
        }
        edits.pop();
    }
    for (int i = 0; i < kNumSettings; ++i) {
        if (resend[i].load(std::memory_order_relaxed) == 0) continue;
        const std::uint8_t bits = resend[i].exchange(0);
        if (bits & kResendValue) {
            const auto v = valueEvent(static_cast<clap_id>(i), clapValueOf(i, engine.parameter(i)), time, 0);
            if (!push(out, v.header)) {
                resend[i].fetch_or(bits);
                return;
            }
        }
        if (bits & kResendEnd) {
            const auto g = gestureEvent(CLAP_EVENT_PARAM_GESTURE_END, static_cast<clap_id>(i), time);
            if (!push(out, g.header)) {
                resend[i].fetch_or(kResendEnd);
                return;
            }
        }
    }
}

void Plugin::sendMeters(const clap_output_events_t* out, std::uint32_t time) {
    for (int w = 0; w < 2; ++w) {
        const double v = meterValue(engine.meter(w));
        if (v == sentMeter[w]) continue;
        const auto e = valueEvent(static_cast<clap_id>(kMeter1Param + w), v, time, CLAP_EVENT_DONT_RECORD);
        if (push(out, e.header)) sentMeter[w] = v;
    }
}

// UI thread, from every idle of the editor: the host's changes move the
// controls.
void Plugin::idleEditor() {
    if (!editor) return;
    for (int i = 0; i < kNumSettings; ++i)
        if (changedByHost[i].load(std::memory_order_relaxed) &&
            changedByHost[i].exchange(false, std::memory_order_acquire))
            editor->parameterChanged(i);
}

bool Plugin::openEditor() {
    if (!editor || !hasParent) return false;
    if (editor->isOpen()) return true;
    if (!editor->open(parent)) return false;
#if defined(_WIN32)
    editor->idleOnOwnTimer(kIdleMs);
#else
    if (hostTimers && hostTimers->register_timer && !hostTimers->register_timer(host, kIdleMs, &timer))
        timer = CLAP_INVALID_ID;
    const int fd = editor->eventFd();
    if (fd >= 0 && hostFds && hostFds->register_fd && hostFds->register_fd(host, fd, CLAP_POSIX_FD_READ))
        watchedFd = fd;
#endif
    return true;
}

void Plugin::closeEditor() {
    if (timer != CLAP_INVALID_ID && hostTimers && hostTimers->unregister_timer)
        hostTimers->unregister_timer(host, timer);
    timer = CLAP_INVALID_ID;
    if (watchedFd >= 0 && hostFds && hostFds->unregister_fd) hostFds->unregister_fd(host, watchedFd);
    watchedFd = -1;
    if (editor) editor->close();
}

// --- processing ----------------------------------------------------------------

Plugin::Plugin(const clap_host_t* h) : host(h) {
    for (auto& r : resend) r.store(0, std::memory_order_relaxed);
    for (auto& c : changedByHost) c.store(false, std::memory_order_relaxed);
}

// Frames [from, to) of the block, with the gathered changes (frames within
// [from, to], in order). A span of no frames sets the values for what follows.
void Plugin::runSpan(const Io& io, std::uint32_t from, std::uint32_t to) {
    if (from == to) {
        for (int k = 0; k < changeCount; ++k) engine.setParameter(changes[k].index, changes[k].value);
    } else {
        const std::uint32_t step = io.direct ? to - from : kScratchFrames;
        int next = 0;
        for (std::uint32_t at = from; at < to;) {
            const std::uint32_t n = to - at < step ? to - at : step;
            const bool last = at + n == to;
            int end = next;
            for (; end < changeCount && (last || changes[end].frame < at + n); ++end) changes[end].frame -= at;
            const float* in[2];
            float* out[2];
            for (int c = 0; c < 2; ++c) {
                in[c] = io.in[c] ? io.in[c] + at : silence;
                out[c] = io.out[c] ? io.out[c] + at : discard[c];
            }
            engine.process(in, out, static_cast<int>(n), changes + next, end - next);
            next = end;
            at += n;
        }
    }
    for (int k = 0; k < changeCount; ++k) hostChanged(changes[k].index);
    changeCount = 0;
}

clap_process_status Plugin::process(const clap_process_t& p) {
    const std::uint32_t frames = p.frames_count;
    Io io{};
    const clap_audio_buffer_t* inPort = p.audio_inputs_count > 0 ? p.audio_inputs : nullptr;
    clap_audio_buffer_t* outPort = p.audio_outputs_count > 0 ? p.audio_outputs : nullptr;
    for (int c = 0; c < 2; ++c) {
        io.in[c] = inPort && inPort->data32 && inPort->channel_count > static_cast<std::uint32_t>(c)
                       ? inPort->data32[c] : nullptr;
        io.out[c] = outPort && outPort->data32 && outPort->channel_count > static_cast<std::uint32_t>(c)
                        ? outPort->data32[c] : nullptr;
    }
    io.direct = io.in[0] && io.in[1] && io.out[0] && io.out[1];

    sendEdits(p.out_events, 0);

    // The host's values at their frames; a change out of order applies where
    // it is met, one past the block after it.
    const clap_input_events_t* events = p.in_events;
    const std::uint32_t count = events && events->size && events->get ? events->size(events) : 0;
    std::uint32_t spanStart = 0, last = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        const clap_event_header_t* h = events->get(events, k);
        if (!h || h->space_id != CLAP_CORE_EVENT_SPACE_ID || h->type != CLAP_EVENT_PARAM_VALUE ||
            h->size < sizeof(clap_event_param_value_t))
            continue;
        const auto* e = reinterpret_cast<const clap_event_param_value_t*>(h);
        if (!isSetting(e->param_id)) continue;
        std::uint32_t t = h->time < frames ? h->time : frames;
        if (t < last) t = last;
        last = t;
        if (changeCount == kMaxChanges) {
            runSpan(io, spanStart, t);
            spanStart = t;
        }
        const int id = static_cast<int>(e->param_id);
        changes[changeCount++] = {t, id, engineValueOf(id, e->value)};
    }
    if (frames == 0) {
        // The block set-up alone, as a VST 2.4 host's empty block gets it.
        const float* in[2] = {silence, silence};
        float* out[2] = {discard[0], discard[1]};
        engine.process(in, out, 0, changes, changeCount);
        for (int k = 0; k < changeCount; ++k) hostChanged(changes[k].index);
        changeCount = 0;
    } else {
        runSpan(io, spanStart, frames);
    }

    if (outPort) outPort->constant_mask = 0;
    sendMeters(p.out_events, frames > 0 ? frames - 1 : 0);
    return CLAP_PROCESS_CONTINUE;
}

// --- clap_plugin -------------------------------------------------------------------

// Main thread, once after create: the host's extensions (any may be missing).
bool pluginInit(const clap_plugin_t* plugin) {
    Plugin* s = self(plugin);
    const clap_host_t* h = s->host;
    const auto ext = [h](const char* id) { return h->get_extension ? h->get_extension(h, id) : nullptr; };
    s->hostParams = static_cast<const clap_host_params_t*>(ext(CLAP_EXT_PARAMS));
    s->hostState = static_cast<const clap_host_state_t*>(ext(CLAP_EXT_STATE));
    s->hostGui = static_cast<const clap_host_gui_t*>(ext(CLAP_EXT_GUI));
#if !defined(_WIN32)
    s->hostTimers = static_cast<const clap_host_timer_support_t*>(ext(CLAP_EXT_TIMER_SUPPORT));
    s->hostFds = static_cast<const clap_host_posix_fd_support_t*>(ext(CLAP_EXT_POSIX_FD_SUPPORT));
#endif
    return true;
}

// Main thread, last: a host that skipped deactivating is forgiven.
void pluginDestroy(const clap_plugin_t* plugin) {
    Plugin* s = self(plugin);
    s->closeEditor();
    s->editor.reset();
    delete s;
}

// Main thread: the rate (an unusable one leaves the last rate) and a chain
// without history. A second activation without deactivating is refused.
bool pluginActivate(const clap_plugin_t* plugin, double rate, std::uint32_t /*minFrames*/,
                    std::uint32_t maxFrames) {
    Plugin* s = self(plugin);
    if (s->active.load(std::memory_order_relaxed)) return false;
    s->engine.prepare(rate, maxFrames > 0x7fffffffu ? 0x7fffffff : static_cast<int>(maxFrames));
    s->engine.reset();
    s->active.store(true, std::memory_order_relaxed);
    return true;
}

// Main thread: no gain is reduced while the instance does not run.
void pluginDeactivate(const clap_plugin_t* plugin) {
    Plugin* s = self(plugin);
    if (!s->active.load(std::memory_order_relaxed)) return;
    s->processing.store(false, std::memory_order_relaxed);
    s->engine.publishMeters(0.0f, 0.0f);
    s->active.store(false, std::memory_order_relaxed);
}

// Audio thread.
bool pluginStartProcessing(const clap_plugin_t* plugin) {
    Plugin* s = self(plugin);
    if (!s->active.load(std::memory_order_relaxed)) return false;
    s->processing.store(true, std::memory_order_relaxed);
    return true;
}

void pluginStopProcessing(const clap_plugin_t* plugin) {
    self(plugin)->processing.store(false, std::memory_order_relaxed);
}

// Audio thread: every history back to its start; values and rate stay.
void pluginReset(const clap_plugin_t* plugin) {
    Plugin* s = self(plugin);
    if (s->active.load(std::memory_order_relaxed)) s->engine.reset();
}

// Audio thread. An instance that is not active processes nothing.
clap_process_status pluginProcess(const clap_plugin_t* plugin, const clap_process_t* process) {
    Plugin* s = self(plugin);
    if (!process || !s->active.load(std::memory_order_relaxed)) return CLAP_PROCESS_ERROR;
    return s->process(*process);
}

// Main thread, after a request_callback, which this plug-in never makes.
void pluginOnMainThread(const clap_plugin_t* /*plugin*/) {}

// --- params ----------------------------------------------------------------------
// The host's main thread, whenever it lists, reads or shows values (flush:
// see there). Values are read from the engine's atomics.

std::uint32_t paramsCount(const clap_plugin_t* /*plugin*/) { return kNumHostParams; }

bool paramsInfo(const clap_plugin_t* /*plugin*/, std::uint32_t index, clap_param_info_t* info) {
    if (!info || index >= static_cast<std::uint32_t>(kNumHostParams)) return false;
    *info = clap_param_info_t{};
    info->id = index;
    info->cookie = nullptr;
    const int i = static_cast<int>(index);
    if (isMeter(index)) {
        info->flags = CLAP_PARAM_IS_READONLY;
        std::snprintf(info->name, sizeof info->name, "Meter %d", i - kMeter1Param + 1);
        info->min_value = 0.0;
        info->max_value = kMeterRange;
        info->default_value = 0.0;
        return true;
    }
    const int n = kvb::positionCount(i);
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (n > 0) info->flags |= CLAP_PARAM_IS_STEPPED;
    std::snprintf(info->name, sizeof info->name, "%s", kvb::describeParameter(i).title);
    info->min_value = 0.0;
    info->max_value = n > 0 ? n - 1 : 1.0;
    info->default_value = clapValueOf(i, parameterDefault(i));
    return true;
}

bool paramsValue(const clap_plugin_t* plugin, clap_id id, double* value) {
    const Plugin* s = self(plugin);
    if (!value) return false;
    if (isSetting(id)) *value = clapValueOf(static_cast<int>(id), s->engine.parameter(static_cast<int>(id)));
    else if (isMeter(id)) *value = meterValue(s->engine.meter(static_cast<int>(id) - kMeter1Param));
    else return false;
    return true;
}

bool paramsValueToText(const clap_plugin_t* /*plugin*/, clap_id id, double value, char* text,
                       std::uint32_t size) {
    if (!text || size == 0) return false;
    if (isSetting(id)) {
        const int i = static_cast<int>(id);
        kvb::formatValue(i, engineValueOf(i, value), text, size);
    } else if (isMeter(id)) {
        std::snprintf(text, size, "%.1f dB", meterValue(static_cast<float>(value)));
    } else {
        return false;
    }
    return true;
}

bool paramsTextToValue(const clap_plugin_t* /*plugin*/, clap_id id, const char* text, double* value) {
    if (!text || !value) return false;
    if (isSetting(id)) {
        float v = 0.0f;
        if (!kvb::parseValue(static_cast<int>(id), text, v)) return false;
        *value = clapValueOf(static_cast<int>(id), v);
        return true;
    }
    if (!isMeter(id)) return false;
    char* end = nullptr;
    const double dB = std::strtod(text, &end);
    if (end == text || !std::isfinite(dB)) return false;
    while (*end == ' ') ++end;
    if ((end[0] == 'd' || end[0] == 'D') && (end[1] == 'b' || end[1] == 'B')) end += 2;
    while (*end == ' ') ++end;
    if (*end) return false;
    *value = meterValue(static_cast<float>(dB));
    return true;
}

// Audio thread while active, main thread otherwise: the host's values at
// once, the editor's edits out.
void paramsFlush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out) {
    Plugin* s = self(plugin);
    const std::uint32_t count = in && in->size && in->get ? in->size(in) : 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        const clap_event_header_t* h = in->get(in, k);
        if (!h || h->space_id != CLAP_CORE_EVENT_SPACE_ID || h->type != CLAP_EVENT_PARAM_VALUE ||
            h->size < sizeof(clap_event_param_value_t))
            continue;
        const auto* e = reinterpret_cast<const clap_event_param_value_t*>(h);
        if (!isSetting(e->param_id)) continue;
        const int id = static_cast<int>(e->param_id);
        s->engine.setParameter(id, engineValueOf(id, e->value));
        s->hostChanged(id);
    }
    s->sendEdits(out, 0);
}

const clap_plugin_params_t kParams = {paramsCount, paramsInfo, paramsValue, paramsValueToText,
                                      paramsTextToValue, paramsFlush};

// --- state ---------------------------------------------------------------------

// Main thread: the engine's state blob, however few bytes the stream takes
// at a time.
bool stateSave(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    const Plugin* s = self(plugin);
    if (!stream || !stream->write) return false;
    kvb::SavedState state;
    state.program = s->program;
    for (int i = 0; i < kNumParams; ++i) state.values[i] = s->engine.parameter(i);
    unsigned char blob[kvb::kStateBytes];
    kvb::writeState(state, blob);
    for (std::size_t done = 0; done < sizeof blob;) {
        const std::int64_t n = stream->write(stream, blob + done, sizeof blob - done);
        if (n <= 0 || static_cast<std::uint64_t>(n) > sizeof blob - done) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Main thread: a state this build wrote, read in as many pieces as the
// stream gives; anything else leaves the instance as it was.
bool stateLoad(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    Plugin* s = self(plugin);
    if (!stream || !stream->read) return false;
    unsigned char blob[kvb::kStateBytes];
    std::size_t got = 0;
    while (got < sizeof blob) {
        const std::int64_t n = stream->read(stream, blob + got, sizeof blob - got);
        if (n < 0 || static_cast<std::uint64_t>(n) > sizeof blob - got) return false;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    kvb::SavedState state;
    if (kvb::readState(blob, got, state) != kvb::StateError::None) return false;
    s->program = state.program;
    for (int i = 0; i < kNumParams; ++i) s->engine.setParameter(i, kvb::hostValue(i, state.values[i]));
    for (int i = 0; i < kNumSettings; ++i) s->hostChanged(i);
    if (s->hostParams && s->hostParams->rescan) s->hostParams->rescan(s->host, CLAP_PARAM_RESCAN_VALUES);
    return true;
}

const clap_plugin_state_t kState = {stateSave, stateLoad};

// --- latency and audio ports ------------------------------------------------------
// The host's main thread, when it scans or lays out the instance; the
// answers never change.

std::uint32_t latencyGet(const clap_plugin_t* /*plugin*/) { return kvb::Engine::kLatency; }

const clap_plugin_latency_t kLatency = {latencyGet};

std::uint32_t portsCount(const clap_plugin_t* /*plugin*/, bool /*isInput*/) { return 1; }

bool portsGet(const clap_plugin_t* /*plugin*/, std::uint32_t index, bool isInput, clap_audio_port_info_t* info) {
    if (index != 0 || !info) return false;
    *info = clap_audio_port_info_t{};
    info->id = 0;
    std::snprintf(info->name, sizeof info->name, "%s", isInput ? "Main input" : "Main output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = 0;  // the output may be the input's buffers
    return true;
}

const clap_plugin_audio_ports_t kAudioPorts = {portsCount, portsGet};

// --- gui (main thread) --------------------------------------------------------------

bool guiIsApiSupported(const clap_plugin_t* /*plugin*/, const char* api, bool floating) {
    return !floating && api && std::strcmp(api, kWindowApi) == 0;
}

bool guiPreferredApi(const clap_plugin_t* /*plugin*/, const char** api, bool* floating) {
    if (api) *api = kWindowApi;
    if (floating) *floating = false;
    return true;
}

bool guiCreate(const clap_plugin_t* plugin, const char* api, bool floating) {
    Plugin* s = self(plugin);
    if (!guiIsApiSupported(plugin, api, floating)) return false;
    if (s->editor) return true;
    try {
        s->editor = std::make_unique<ClapEditor>(*s, *s);
    } catch (const std::bad_alloc&) {
        return false;
    }
    s->editor->setScale(s->scale);
    if (s->editor->width() > 0) return true;  // the skin's background is there
    s->editor.reset();
    return false;
}

void guiDestroy(const clap_plugin_t* plugin) {
    Plugin* s = self(plugin);
    s->closeEditor();
    s->editor.reset();
    s->hasParent = false;
    s->parent = nullptr;
}

// The editor is drawn at the nearest scale of its skin; an open one asks the
// host for its new size (request_resize), one not yet shown tells it through
// get_size.
bool guiSetScale(const clap_plugin_t* plugin, double scale) {
    Plugin* s = self(plugin);
    if (!(scale > 0.0) || scale > 100.0) return false;
    s->scale = scale;
    if (!s->editor || !s->editor->setScale(scale)) return true;
    if (s->editor->isOpen() && s->hostGui && s->hostGui->request_resize)
        s->hostGui->request_resize(s->host, static_cast<std::uint32_t>(s->editor->width()),
                                   static_cast<std::uint32_t>(s->editor->height()));
    return true;
}

bool guiGetSize(const clap_plugin_t* plugin, std::uint32_t* width, std::uint32_t* height) {
    const Plugin* s = self(plugin);
    if (!s->editor || !width || !height) return false;
    *width = static_cast<std::uint32_t>(s->editor->width());
    *height = static_cast<std::uint32_t>(s->editor->height());
    return true;
}

bool guiCanResize(const clap_plugin_t* /*plugin*/) { return false; }

// Hosts ask even of a window that cannot be resized: neither way.
bool guiResizeHints(const clap_plugin_t* /*plugin*/, clap_gui_resize_hints_t* hints) {
    if (!hints) return false;
    *hints = clap_gui_resize_hints_t{};
    return true;
}

bool guiAdjustSize(const clap_plugin_t* /*plugin*/, std::uint32_t* /*width*/, std::uint32_t* /*height*/) {
    return false;
}

bool guiSetSize(const clap_plugin_t* plugin, std::uint32_t width, std::uint32_t height) {
    const Plugin* s = self(plugin);
    return s->editor && width == static_cast<std::uint32_t>(s->editor->width()) &&
           height == static_cast<std::uint32_t>(s->editor->height());
}

// The editor opens in the host's window at once.
bool guiSetParent(const clap_plugin_t* plugin, const clap_window_t* window) {
    Plugin* s = self(plugin);
    if (!s->editor || !window || (window->api && std::strcmp(window->api, kWindowApi) != 0)) return false;
#if defined(_WIN32)
    void* handle = window->win32;
#else
    void* handle = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window->x11));
#endif
    if (!handle) return false;
    s->closeEditor();
    s->parent = handle;
    s->hasParent = true;
    return s->openEditor();
}

bool guiSetTransient(const clap_plugin_t* /*plugin*/, const clap_window_t* /*window*/) { return false; }

void guiSuggestTitle(const clap_plugin_t* /*plugin*/, const char* /*title*/) {}

bool guiShow(const clap_plugin_t* plugin) { return self(plugin)->openEditor(); }

// Hidden, the editor lets its window go and idles no more; show opens it again.
bool guiHide(const clap_plugin_t* plugin) {
    Plugin* s = self(plugin);
    if (!s->editor) return false;
    s->closeEditor();
    return true;
}

const clap_plugin_gui_t kGui = {guiIsApiSupported, guiPreferredApi, guiCreate,      guiDestroy,
                                guiSetScale,       guiGetSize,      guiCanResize,   guiResizeHints,
                                guiAdjustSize,     guiSetSize,      guiSetParent,   guiSetTransient,
                                guiSuggestTitle,   guiShow,         guiHide};

#if !defined(_WIN32)
// Main thread: the host's timer, about every 30 ms while the editor is open.
void onTimer(const clap_plugin_t* plugin, clap_id id) {
    Plugin* s = self(plugin);
    if (id == s->timer && s->editor && s->editor->isOpen()) s->editor->idle();
}

const clap_plugin_timer_support_t kTimerSupport = {onTimer};

// Main thread: input waits on the editor's X11 connection.
void onFd(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t /*flags*/) {
    Plugin* s = self(plugin);
    if (fd == s->watchedFd && s->editor && s->editor->isOpen()) s->editor->idle();
}

const clap_plugin_posix_fd_support_t kPosixFdSupport = {onFd};
#endif

// Any thread: the plug-in's extensions, static tables.
const void* pluginExtension(const clap_plugin_t* /*plugin*/, const char* id) {
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kLatency;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPorts;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGui;
#if !defined(_WIN32)
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimerSupport;
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &kPosixFdSupport;
#endif
    return nullptr;
}

// --- the factory and the entry ------------------------------------------------------

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_COMPRESSOR,
                                 CLAP_PLUGIN_FEATURE_STEREO, nullptr};

const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION_INIT,
    kPluginId,
    "KVB",
    "https://kvb-audio.example",
    "https://kvb-audio.example",
    "",
    "",
    "1.0.0",
    "Stereo dynamics processor",
    const_cast<const char**>(kFeatures),
};

// The factory, any thread.
std::uint32_t factoryCount(const clap_plugin_factory_t* /*factory*/) { return 1; }

const clap_plugin_descriptor_t* factoryDescriptor(const clap_plugin_factory_t* /*factory*/, std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

// Any thread: a new instance for a host of CLAP 1.x, or null.
const clap_plugin_t* factoryCreate(const clap_plugin_factory_t* /*factory*/, const clap_host_t* host,
                                   const char* id) {
    if (!host || !id || std::strcmp(id, kPluginId) != 0 || !clap_version_is_compatible(host->clap_version))
        return nullptr;
    Plugin* s = nullptr;
    try {
        s = new Plugin(host);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    clap_plugin_t& p = s->clap;
    p.desc = &kDescriptor;
    p.plugin_data = s;
    p.init = pluginInit;
    p.destroy = pluginDestroy;
    p.activate = pluginActivate;
    p.deactivate = pluginDeactivate;
    p.start_processing = pluginStartProcessing;
    p.stop_processing = pluginStopProcessing;
    p.reset = pluginReset;
    p.process = pluginProcess;
    p.get_extension = pluginExtension;
    p.on_main_thread = pluginOnMainThread;
    return &p;
}

const clap_plugin_factory_t kFactory = {factoryCount, factoryDescriptor, factoryCreate};

// The entry, any thread: init after loading the file (some hosts once per
// scan of it, each with its deinit), the factory for any id.
bool entryInit(const char* /*path*/) { return true; }
void entryDeinit() {}
const void* entryFactory(const char* id) {
    return id && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}

}  // namespace

extern "C" {
const clap_plugin_entry_t clap_entry = {CLAP_VERSION_INIT, entryInit, entryDeinit, entryFactory};
}
