// A small VST3 host of our own, written against the C description of the
// interface (DPF's travesty headers, by include path) and nothing of the
// plug-in's: it loads a bundle or a binary, makes an instance through the
// module's factory, and plays a host's part towards it on Linux and Windows.
//
//   vst3host::Module   the loaded binary and its factory
//   vst3host::Plugin   one instance: rate and block size, activation,
//                      parameter changes queued at frames, a block
//                      processed, the meters read back, state, the editor
//
// The objects the plug-in calls back into during process() (the parameter
// queues) hold preallocated storage: processing allocates nothing on the
// host's side either, so a benchmark or an allocation guard measures the
// plug-in alone. One thread drives a Plugin, except where a test says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include "travesty/audio_processor.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/factory.h"
#include "travesty/host.h"
#include "travesty/view.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace vst3host {

// The function table of an object the plug-in made.
template <class Table>
const Table* tableOf(void* object) {
    return *static_cast<const Table* const*>(object);
}

std::string fromUtf16(const int16_t* text, int size = 128);

// --- the module -------------------------------------------------------------------

class Module {
public:
    Module() = default;
    ~Module() { unload(); }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // A bundle (X.vst3/, the binary inside for this platform) or a binary.
    // Calls the module's entry (ModuleEntry / InitDll) and takes its factory.
    // On failure answers false with a one-line error().
    bool load(const std::string& path);
    void unload();

    void* symbol(const char* name) const;
    v3_plugin_factory** factory() const { return factory_; }
    const std::string& binary() const { return binary_; }
    const std::string& error() const { return error_; }

    // The binary inside a bundle for this platform.
    static std::string binaryInBundle(const std::string& bundle);

private:
    void* handle_ = nullptr;
    v3_plugin_factory** factory_ = nullptr;
    std::string binary_;
    std::string error_;
};

// --- what the host implements ---------------------------------------------------------

// A COM object of the host's: its table first, then the way back. The host
// owns these; their reference counts are not kept.
template <class Owner>
struct HostSlot {
    const void* table;
    Owner* owner;
};

// One parameter's points in a block.
class ParamQueue {
public:
    ParamQueue();
    void reset(v3_param_id id) {
        id_ = id;
        points_.clear();
    }
    v3_param_id id() const { return id_; }
    // False when the preallocated room is full.
    bool add(int32_t frame, double value);
    int count() const { return static_cast<int>(points_.size()); }
    int32_t frame(int i) const { return points_[static_cast<std::size_t>(i)].first; }
    double value(int i) const { return points_[static_cast<std::size_t>(i)].second; }
    v3_param_value_queue** object() { return reinterpret_cast<v3_param_value_queue**>(&self_); }

    static constexpr std::size_t kMaxPoints = 8192;

private:
    HostSlot<ParamQueue> self_;
    v3_param_id id_ = 0;
    std::vector<std::pair<int32_t, double>> points_;
};

// The parameter changes of a block, in or out.
class ParamChanges {
public:
    ParamChanges();
    void clear() { used_ = 0; }
    // The queue of `id`, made when the block has none yet; null when full.
    ParamQueue* queueFor(v3_param_id id, int32_t* index = nullptr);
    int count() const { return used_; }
    ParamQueue& queue(int i) { return queues_[static_cast<std::size_t>(i)]; }
    // The last point of `id`'s queue, or `otherwise`.
    double last(v3_param_id id, double otherwise) const;
    v3_param_changes** object() { return reinterpret_cast<v3_param_changes**>(&self_); }

    static constexpr int kMaxQueues = 64;

private:
    HostSlot<ParamChanges> self_;
    std::vector<ParamQueue> queues_;
    int used_ = 0;
};

// A stream over bytes in memory (state). `failing` makes every read and
// write fail, as a broken file would.
class MemoryStream {
public:
    MemoryStream();
    explicit MemoryStream(std::vector<uint8_t> data);
    std::vector<uint8_t> data;
    std::size_t position = 0;
    bool failing = false;
    v3_bstream** object() { return reinterpret_cast<v3_bstream**>(&self_); }

private:
    HostSlot<MemoryStream> self_;
};

// What the controller told the host, in order.
struct Edit {
    enum Kind { Begin, Perform, End, Dirty, Restart } kind;
    v3_param_id id;
    double value;
};

class ComponentHandler {
public:
    ComponentHandler();
    std::vector<Edit> edits;
    v3_component_handler** object() { return reinterpret_cast<v3_component_handler**>(&self_); }

    HostSlot<ComponentHandler> self_, second_;
};

// Linux: the host's run loop, offered through the plug frame. The test or
// tool calls runOnce() as a host's UI loop would.
class RunLoop {
public:
    struct Timer {
        v3_timer_handler** handler;
        uint64_t ms;
    };
    struct FdHandler {
        v3_event_handler** handler;
        int fd;
    };
    std::vector<Timer> timers;
    std::vector<FdHandler> fdHandlers;
    // Every timer fires once; every handler whose descriptor is readable
    // (or all, with `allFds`) is called.
    void runOnce(bool allFds = false);
};

class PlugFrame {
public:
    PlugFrame();
    RunLoop loop;
    bool offerRunLoop = true;
    int resizeRequests = 0;
    v3_plugin_frame** object() { return reinterpret_cast<v3_plugin_frame**>(&self_); }

    HostSlot<PlugFrame> self_, loop_;
};

// --- one instance ---------------------------------------------------------------------

class Plugin {
public:
    Plugin() = default;
    ~Plugin() { destroy(); }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // The first audio effect class of the module's factory (or the class
    // `classId`), initialised, with this host's component handler. A
    // controller of a class of its own is made and initialised too.
    bool create(const Module& module, const uint8_t* classId = nullptr);
    void destroy();
    explicit operator bool() const { return component != nullptr; }
    const std::string& error() const { return error_; }

    // setupProcessing (32-bit floats), with the instance inactive.
    v3_result setup(double rate, int maxBlock, int32_t mode = V3_REALTIME);
    // setActive(true) then setProcessing(true); and the reverse.
    bool activate();
    void deactivate();
    bool active() const { return active_; }
    uint32_t latency();

    // A change of parameter `id` to the normalised `value` from `frame` of
    // the next processed block on (points of one parameter in frame order).
    bool queueChange(v3_param_id id, int32_t at, double value);
    // A block of `frames` from in[0..1] to out[0..1] (the outputs may be the
    // inputs), with the queued changes, which are then forgotten. The output
    // parameter changes stay readable in `outputChanges` until the next block.
    v3_result process(const float* const* in, float* const* out, int32_t frames);
    // The process call on data the caller has filled (its parameter changes
    // are the caller's too).
    v3_result processRaw(v3_process_data& data);

    ParamChanges inputChanges, outputChanges;

    // State: the component's blob, and a blob back (component, then the
    // controller's setComponentState as hosts do). Answers the component's result.
    bool getState(std::vector<uint8_t>& out);
    v3_result setState(const std::vector<uint8_t>& blob);

    // Controller queries.
    int32_t parameterCount();
    bool parameterInfo(int32_t index, v3_param_info& info);
    std::string text(v3_param_id id, double normalised);
    bool valueOf(v3_param_id id, const std::string& text, double& normalised);
    double normalised(v3_param_id id);
    // The index of the parameter whose short title (or title) is `name`, or -1.
    int32_t findParameter(const std::string& name);

    // The editor: createView("editor"), then setFrame and attached in
    // `parent` (an X11 window id or an HWND). close() removes and releases it.
    bool openEditor(void* parent);
    void closeEditor();
    v3_plugin_view** view = nullptr;

    v3_component** component = nullptr;
    v3_audio_processor** processor = nullptr;
    v3_edit_controller** controller = nullptr;
    bool separateController = false;
    ComponentHandler handler;
    PlugFrame frame;

private:
    std::string error_;
    bool active_ = false;
    float silence_[1] = {0.0f};
};

// The host application object handed to initialize.
v3_funknown** hostContext();

}  // namespace vst3host
