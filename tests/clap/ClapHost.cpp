#include "tests/clap/ClapHost.h"

#include "host/SharedModule.h"

#include <algorithm>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <poll.h>
#endif

namespace claptest {

// --- the module ------------------------------------------------------------------

ClapModule::ClapModule(const std::string& path) {
    std::string why;
    handle_ = kvbhost::openModule(path, why);
    if (!handle_) {
#if defined(_WIN32)
        error_ = "cannot load " + path;
#else
        error_ = why.empty() ? "cannot load " + path : why;
#endif
        return;
    }
    entry_ = static_cast<const clap_plugin_entry_t*>(symbol("clap_entry"));
    if (!entry_) {
        error_ = path + " exports no clap_entry";
        return;
    }
    if (!clap_version_is_compatible(entry_->clap_version) || !entry_->init || !entry_->init(path.c_str())) {
        error_ = path + ": the entry refused to start";
        entry_ = nullptr;
        return;
    }
    factory_ = static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (!factory_) error_ = path + " has no plug-in factory";
}

ClapModule::~ClapModule() {
    if (entry_) entry_->deinit();
    kvbhost::closeModule(handle_);
}

void* ClapModule::symbol(const char* name) const { return kvbhost::findSymbol(handle_, name); }

// --- the host's extensions ----------------------------------------------------------

namespace {

ClapInstance* instanceOf(const clap_host_t* h) { return static_cast<ClapInstance*>(h->host_data); }

}  // namespace

const void* ClapInstance::hostExtension(const clap_host_t* h, const char* id) {
    static const clap_host_params_t params = {
        [](const clap_host_t* hh, clap_param_rescan_flags) { ++instanceOf(hh)->calls.rescan; },
        [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
        [](const clap_host_t* hh) { ++instanceOf(hh)->calls.requestFlush; },
    };
    static const clap_host_state_t state = {[](const clap_host_t* hh) { ++instanceOf(hh)->calls.markDirty; }};
    static const clap_host_latency_t latency = {[](const clap_host_t* hh) { ++instanceOf(hh)->calls.latencyChanged; }};
    static const clap_host_thread_check_t threads = {
        [](const clap_host_t* hh) {
            const ClapInstance* self = instanceOf(hh);
            return std::this_thread::get_id() == self->mainThread_ && !self->inAudio_;
        },
        [](const clap_host_t* hh) { return instanceOf(hh)->inAudio_; },
    };
    static const clap_host_gui_t gui = {
        [](const clap_host_t*) {},
        [](const clap_host_t* hh, std::uint32_t, std::uint32_t) {
            ++instanceOf(hh)->calls.requestResize;
            return false;
        },
        [](const clap_host_t*) { return false; },
        [](const clap_host_t*) { return false; },
        [](const clap_host_t*, bool) {},
    };
    static const clap_host_timer_support_t timers = {
        [](const clap_host_t* hh, std::uint32_t periodMs, clap_id* timer) {
            ClapInstance* self = instanceOf(hh);
            if (!timer) return false;
            *timer = self->nextTimer_++;
            self->timers_.push_back({*timer, periodMs});
            return true;
        },
        [](const clap_host_t* hh, clap_id timer) {
            auto& t = instanceOf(hh)->timers_;
            const auto it = std::find_if(t.begin(), t.end(), [timer](const Timer& x) { return x.id == timer; });
            if (it == t.end()) return false;
            t.erase(it);
            return true;
        },
    };
#if !defined(_WIN32)
    static const clap_host_posix_fd_support_t fds = {
        [](const clap_host_t* hh, int fd, clap_posix_fd_flags_t flags) {
            instanceOf(hh)->fds_.push_back({fd, flags});
            return true;
        },
        [](const clap_host_t* hh, int fd, clap_posix_fd_flags_t flags) {
            for (Fd& f : instanceOf(hh)->fds_)
                if (f.fd == fd) {
                    f.flags = flags;
                    return true;
                }
            return false;
        },
        [](const clap_host_t* hh, int fd) {
            auto& f = instanceOf(hh)->fds_;
            const auto it = std::find_if(f.begin(), f.end(), [fd](const Fd& x) { return x.fd == fd; });
            if (it == f.end()) return false;
            f.erase(it);
            return true;
        },
    };
#endif
    if (!id || !of(h)->offerExtensions_) return nullptr;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &params;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &state;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &latency;
    if (std::strcmp(id, CLAP_EXT_THREAD_CHECK) == 0) return &threads;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &gui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &timers;
#if !defined(_WIN32)
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &fds;
#endif
    return nullptr;
}

// --- the instance ------------------------------------------------------------------------

ClapInstance::ClapInstance(const ClapModule& module, const char* id, bool offerExtensions)
    : offerExtensions_(offerExtensions), mainThread_(std::this_thread::get_id()) {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = this;
    host_.name = "kvb clap test host";
    host_.vendor = "https://kvb-audio.example";
    host_.url = "https://kvb-audio.example";
    host_.version = "1.0.0";
    host_.get_extension = &ClapInstance::hostExtension;
    host_.request_restart = [](const clap_host_t* h) { ++instanceOf(h)->calls.requestRestart; };
    host_.request_process = [](const clap_host_t*) {};
    host_.request_callback = [](const clap_host_t* h) { ++instanceOf(h)->calls.requestCallback; };

    inEvents_.reserve(4096);
    outEvents_.reserve(4096);
    inList_.ctx = this;
    inList_.size = [](const clap_input_events_t* l) {
        return static_cast<std::uint32_t>(static_cast<ClapInstance*>(l->ctx)->inEvents_.size());
    };
    inList_.get = [](const clap_input_events_t* l, std::uint32_t i) -> const clap_event_header_t* {
        const auto& e = static_cast<ClapInstance*>(l->ctx)->inEvents_;
        return i < e.size() ? &e[i].header : nullptr;
    };
    outList_.ctx = this;
    outList_.try_push = [](const clap_output_events_t* l, const clap_event_header_t* h) {
        auto& out = static_cast<ClapInstance*>(l->ctx)->outEvents_;
        if (!h || out.size() == out.capacity()) return false;  // no allocation while processing
        OutputEvent e{h->type, h->time, CLAP_INVALID_ID, 0.0, h->flags};
        if (h->type == CLAP_EVENT_PARAM_VALUE && h->size >= sizeof(clap_event_param_value_t)) {
            const auto* v = reinterpret_cast<const clap_event_param_value_t*>(h);
            e.id = v->param_id;
            e.value = v->value;
        } else if ((h->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || h->type == CLAP_EVENT_PARAM_GESTURE_END) &&
                   h->size >= sizeof(clap_event_param_gesture_t)) {
            e.id = reinterpret_cast<const clap_event_param_gesture_t*>(h)->param_id;
        }
        out.push_back(e);
        return true;
    };

    if (!module) return;
    const clap_plugin_factory_t* f = module.factory();
    if (!id) {
        const clap_plugin_descriptor_t* d = f->get_plugin_count(f) > 0 ? f->get_plugin_descriptor(f, 0) : nullptr;
        if (!d) return;
        id = d->id;
    }
    plugin_ = f->create_plugin(f, &host_, id);
    if (plugin_ && !plugin_->init(plugin_)) {
        plugin_->destroy(plugin_);
        plugin_ = nullptr;
    }
}

ClapInstance::~ClapInstance() {
    if (!plugin_) return;
    closeGui();
    deactivate();
    plugin_->destroy(plugin_);
}

bool ClapInstance::activate(double rate, std::uint32_t maxFrames) {
    if (!plugin_ || active_) return false;
    if (!plugin_->activate(plugin_, rate, 1, maxFrames)) return false;
    active_ = true;
    inAudio_ = true;
    const bool started = plugin_->start_processing(plugin_);
    inAudio_ = false;
    return started;
}

void ClapInstance::deactivate() {
    if (!active_) return;
    inAudio_ = true;
    plugin_->stop_processing(plugin_);
    inAudio_ = false;
    plugin_->deactivate(plugin_);
    active_ = false;
}

void ClapInstance::queueValue(clap_id id, double value, std::uint32_t frame) {
    clap_event_param_value_t e{};
    e.header = {sizeof e, frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = id;
    e.cookie = nullptr;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = value;
    inEvents_.push_back(e);
}

clap_process_status ClapInstance::process(const float* const* in, float* const* out, std::uint32_t frames) {
    clap_audio_buffer_t input{const_cast<float**>(in), nullptr, 2, 0, 0};
    clap_audio_buffer_t output{const_cast<float**>(out), nullptr, 2, 0, 0};
    clap_process_t p{};
    p.steady_time = -1;
    p.frames_count = frames;
    p.transport = nullptr;
    p.audio_inputs = &input;
    p.audio_outputs = &output;
    p.audio_inputs_count = 1;
    p.audio_outputs_count = 1;
    return process(p);
}

clap_process_status ClapInstance::process(clap_process_t& p) {
    p.in_events = &inList_;
    p.out_events = &outList_;
    inAudio_ = true;
    const clap_process_status status = plugin_->process(plugin_, &p);
    inAudio_ = false;
    inEvents_.clear();
    return status;
}

void ClapInstance::flush() {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    if (params) {
        inAudio_ = active_;
        params->flush(plugin_, &inList_, &outList_);
        inAudio_ = false;
    }
    inEvents_.clear();
}

std::vector<OutputEvent> ClapInstance::outputOf(std::uint16_t type) const {
    std::vector<OutputEvent> of;
    for (const OutputEvent& e : outEvents_)
        if (e.type == type) of.push_back(e);
    return of;
}

// --- params, state, latency -----------------------------------------------------------

std::uint32_t ClapInstance::paramCount() const {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    return params ? params->count(plugin_) : 0;
}

bool ClapInstance::paramInfo(std::uint32_t index, clap_param_info_t& info) const {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    return params && params->get_info(plugin_, index, &info);
}

double ClapInstance::paramValue(clap_id id) const {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    double v = -1.0;
    if (!params || !params->get_value(plugin_, id, &v)) return -1.0;
    return v;
}

std::string ClapInstance::valueToText(clap_id id, double value) const {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    char text[256] = {};
    if (!params || !params->value_to_text(plugin_, id, value, text, sizeof text)) return "(none)";
    return text;
}

bool ClapInstance::textToValue(clap_id id, const char* text, double& value) const {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    return params && params->text_to_value(plugin_, id, text, &value);
}

namespace {

struct Sink {
    std::vector<std::uint8_t>* bytes;
    std::size_t chunk;
};
struct Source {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at;
    std::size_t chunk;
};

}  // namespace

bool ClapInstance::saveState(std::vector<std::uint8_t>& out, std::size_t chunk) const {
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    if (!state) return false;
    out.clear();
    Sink sink{&out, chunk};
    clap_ostream_t stream{&sink, [](const clap_ostream_t* s, const void* buffer, std::uint64_t size) -> std::int64_t {
                              auto* k = static_cast<Sink*>(s->ctx);
                              const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, k->chunk));
                              const auto* b = static_cast<const std::uint8_t*>(buffer);
                              k->bytes->insert(k->bytes->end(), b, b + n);
                              return static_cast<std::int64_t>(n);
                          }};
    return state->save(plugin_, &stream);
}

bool ClapInstance::loadState(const std::vector<std::uint8_t>& in, std::size_t chunk) const {
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    if (!state) return false;
    Source source{&in, 0, chunk};
    clap_istream_t stream{&source, [](const clap_istream_t* s, void* buffer, std::uint64_t size) -> std::int64_t {
                              auto* k = static_cast<Source*>(s->ctx);
                              const std::size_t left = k->bytes->size() - k->at;
                              const std::size_t n = static_cast<std::size_t>(
                                  std::min<std::uint64_t>({size, k->chunk, static_cast<std::uint64_t>(left)}));
                              if (n) std::memcpy(buffer, k->bytes->data() + k->at, n);
                              k->at += n;
                              return static_cast<std::int64_t>(n);
                          }};
    return state->load(plugin_, &stream);
}

std::uint32_t ClapInstance::latency() const {
    const auto* l = extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
    return l ? l->get(plugin_) : 0;
}

// --- the editor --------------------------------------------------------------------------

bool ClapInstance::openGui(std::uintptr_t parent, std::uint32_t* width, std::uint32_t* height, double scale) {
    const auto* gui = extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
#if defined(_WIN32)
    const char* api = CLAP_WINDOW_API_WIN32;
#else
    const char* api = CLAP_WINDOW_API_X11;
#endif
    if (!gui || !gui->is_api_supported(plugin_, api, false) || !gui->create(plugin_, api, false)) return false;
    guiCreated_ = true;
    if (!gui->set_scale(plugin_, scale)) return false;
    std::uint32_t w = 0, h = 0;
    if (!gui->get_size(plugin_, &w, &h)) return false;
    if (width) *width = w;
    if (height) *height = h;
    clap_window_t window{};
    window.api = api;
    window.uptr = parent;
    return gui->set_parent(plugin_, &window) && gui->show(plugin_);
}

void ClapInstance::closeGui() {
    if (!guiCreated_) return;
    const auto* gui = extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    gui->hide(plugin_);
    gui->destroy(plugin_);
    guiCreated_ = false;
}

void ClapInstance::runTimers() {
    if (const auto* t = extension<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT)) {
        // A copy: an idle may register or unregister timers.
        const std::vector<Timer> due = timers_;
        for (const Timer& timer : due) t->on_timer(plugin_, timer.id);
    }
#if !defined(_WIN32)
    if (const auto* f = extension<clap_plugin_posix_fd_support_t>(CLAP_EXT_POSIX_FD_SUPPORT)) {
        const std::vector<Fd> watched = fds_;
        for (const Fd& w : watched) {
            pollfd p{w.fd, POLLIN, 0};
            if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) f->on_fd(plugin_, w.fd, CLAP_POSIX_FD_READ);
        }
    }
#endif
}

}  // namespace claptest
