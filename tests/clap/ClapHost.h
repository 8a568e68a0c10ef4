// A small CLAP host of our own, for the tests, kvb_clap_render and the
// benchmarks: it loads a .clap file, initialises its entry, creates a plug-in
// through the factory and plays the host's part towards it on one thread —
// activation, parameter events at frames, blocks of stereo audio, parameter
// flushes, state through streams, and the editor in a window of the caller's
// with timers and descriptors the caller drives.
//
// The host offers params, state, latency, thread-check, gui, timer-support
// and (not on Windows) posix-fd-support, and records what the plug-in asks of
// them; or, asked to, no extension at all. process() allocates nothing as
// long as fewer events are queued and sent than the reserved room holds.
#pragma once

#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "clap/PosixFdSupport.h"

namespace claptest {

// A .clap file, loaded and its entry initialised; deinitialised and unloaded
// with the object.
class ClapModule {
public:
    explicit ClapModule(const std::string& path);
    ~ClapModule();
    ClapModule(const ClapModule&) = delete;
    ClapModule& operator=(const ClapModule&) = delete;

    explicit operator bool() const { return factory_ != nullptr; }
    // Why loading failed.
    const std::string& error() const { return error_; }
    const clap_plugin_entry_t* entry() const { return entry_; }
    const clap_plugin_factory_t* factory() const { return factory_; }
    // An exported symbol, for checks of the binary's exports.
    void* symbol(const char* name) const;

private:
    void* handle_ = nullptr;
    const clap_plugin_entry_t* entry_ = nullptr;
    const clap_plugin_factory_t* factory_ = nullptr;
    std::string error_;
};

// An event the plug-in sent the host.
struct OutputEvent {
    std::uint16_t type;  // CLAP_EVENT_PARAM_VALUE, _GESTURE_BEGIN, _GESTURE_END, ...
    std::uint32_t time;
    clap_id id;
    double value;        // of a value event
    std::uint32_t flags;
};

// What the plug-in asked of the host's extensions.
struct HostCalls {
    int requestFlush = 0;
    int markDirty = 0;
    int rescan = 0;
    int latencyChanged = 0;
    int requestResize = 0;
    int requestCallback = 0;
    int requestRestart = 0;
};

class ClapInstance {
public:
    // An instance of plug-in `id` (the factory's first when null), created and
    // initialised; the host offers its extensions unless told not to.
    explicit ClapInstance(const ClapModule& module, const char* id = nullptr, bool offerExtensions = true);
    ~ClapInstance();
    ClapInstance(const ClapInstance&) = delete;
    ClapInstance& operator=(const ClapInstance&) = delete;

    explicit operator bool() const { return plugin_ != nullptr; }
    const clap_plugin_t* plugin() const { return plugin_; }
    const clap_host_t* host() const { return &host_; }
    template <class T>
    const T* extension(const char* id) const {
        return plugin_ ? static_cast<const T*>(plugin_->get_extension(plugin_, id)) : nullptr;
    }

    // activate and start_processing; stop_processing and deactivate.
    bool activate(double rate, std::uint32_t maxFrames);
    void deactivate();
    bool active() const { return active_; }

    // A parameter value event for the next process() or flush(), at `frame`.
    // Events go out in the order they were queued.
    void queueValue(clap_id id, double value, std::uint32_t frame = 0);
    // Any event, as given (for events of other kinds, sizes and orders).
    void queueRaw(const clap_event_param_value_t& event) { inEvents_.push_back(event); }
    std::size_t queued() const { return inEvents_.size(); }

    // One block: stereo in and out (either may be the other), the queued
    // events in, the plug-in's events appended to output().
    clap_process_status process(const float* const* in, float* const* out, std::uint32_t frames);
    // The same with the host's own buffers as the caller set them up.
    clap_process_status process(clap_process_t& p);
    // params flush with the queued events, as a host does between blocks or
    // while it does not process.
    void flush();

    std::vector<OutputEvent>& output() { return outEvents_; }
    // Of output(), only the events of `type`.
    std::vector<OutputEvent> outputOf(std::uint16_t type) const;

    // The params extension.
    std::uint32_t paramCount() const;
    bool paramInfo(std::uint32_t index, clap_param_info_t& info) const;
    double paramValue(clap_id id) const;
    std::string valueToText(clap_id id, double value) const;
    bool textToValue(clap_id id, const char* text, double& value) const;

    // The state, written and read at most `chunk` bytes a call.
    bool saveState(std::vector<std::uint8_t>& out, std::size_t chunk = SIZE_MAX) const;
    bool loadState(const std::vector<std::uint8_t>& in, std::size_t chunk = SIZE_MAX) const;

    std::uint32_t latency() const;

    // The editor embedded in `parent` (an X11 window id or an HWND): create,
    // set_scale (`scale`), get_size, set_parent, show. Answers false at the
    // first step that fails.
    bool openGui(std::uintptr_t parent, std::uint32_t* width = nullptr, std::uint32_t* height = nullptr,
                 double scale = 1.0);
    // hide and destroy.
    void closeGui();
    // One turn of the host's run loop: every registered timer fires, then
    // every registered descriptor that is readable is reported.
    void runTimers();
    std::size_t timerCount() const { return timers_.size(); }
    std::size_t fdCount() const { return fds_.size(); }

    HostCalls calls;

private:
    static const void* hostExtension(const clap_host_t* h, const char* id);
    static ClapInstance* of(const clap_host_t* h) { return static_cast<ClapInstance*>(h->host_data); }

    struct Timer {
        clap_id id;
        std::uint32_t periodMs;
    };
    struct Fd {
        int fd;
        clap_posix_fd_flags_t flags;
    };

    clap_host_t host_{};
    bool offerExtensions_;
    const clap_plugin_t* plugin_ = nullptr;
    bool active_ = false;
    bool guiCreated_ = false;
    std::thread::id mainThread_;
    bool inAudio_ = false;

    std::vector<clap_event_param_value_t> inEvents_;
    std::vector<OutputEvent> outEvents_;
    clap_input_events_t inList_{};
    clap_output_events_t outList_{};

    std::vector<Timer> timers_;
    std::vector<Fd> fds_;
    clap_id nextTimer_ = 1;
};

}  // namespace claptest
