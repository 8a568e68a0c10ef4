#include "tests/vst3/Vst3Host.h"

#include "host/SharedModule.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <poll.h>
#include <sys/stat.h>
#endif

namespace vst3host {

namespace {

bool sameId(const uint8_t* a, const v3_tuid b) { return a && std::memcmp(a, b, sizeof(v3_tuid)) == 0; }

template <class Owner>
Owner* ownerOf(void* self) {
    return static_cast<HostSlot<Owner>*>(self)->owner;
}

void release(void* object) {
    if (object) tableOf<v3_funknown>(object)->unref(object);
}

template <class T>
T** queryOf(void* object, const v3_tuid iid) {
    void* out = nullptr;
    if (!object || tableOf<v3_funknown>(object)->query_interface(object, iid, &out) != V3_OK) return nullptr;
    return static_cast<T**>(out);
}

uint32_t V3_API noRef(void*) { return 1; }

void toUtf16(const std::string& text, int16_t* out, std::size_t size) {
    std::size_t i = 0;
    for (; i < text.size() && i + 1 < size; ++i) out[i] = static_cast<int16_t>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

// --- the host's objects' function tables ---------------------------------------------

const v3_param_value_queue_cpp kQueueTable = {
    {[](void* self, const v3_tuid iid, void** obj) V3_API -> v3_result {
         const bool ok = sameId(iid, v3_funknown_iid) || sameId(iid, v3_param_value_queue_iid);
         *obj = ok ? self : nullptr;
         return ok ? V3_OK : V3_NO_INTERFACE;
     },
     noRef, noRef},
    {
        [](void* self) V3_API -> v3_param_id { return ownerOf<ParamQueue>(self)->id(); },
        [](void* self) V3_API -> int32_t { return ownerOf<ParamQueue>(self)->count(); },
        [](void* self, int32_t i, int32_t* frame, double* value) V3_API -> v3_result {
            ParamQueue* q = ownerOf<ParamQueue>(self);
            if (i < 0 || i >= q->count() || !frame || !value) return V3_INVALID_ARG;
            *frame = q->frame(i);
            *value = q->value(i);
            return V3_OK;
        },
        [](void* self, int32_t frame, double value, int32_t* index) V3_API -> v3_result {
            ParamQueue* q = ownerOf<ParamQueue>(self);
            if (!q->add(frame, value)) return V3_NOMEM;
            if (index) *index = q->count() - 1;
            return V3_OK;
        },
    },
};

const v3_param_changes_cpp kChangesTable = {
    {[](void* self, const v3_tuid iid, void** obj) V3_API -> v3_result {
         const bool ok = sameId(iid, v3_funknown_iid) || sameId(iid, v3_param_changes_iid);
         *obj = ok ? self : nullptr;
         return ok ? V3_OK : V3_NO_INTERFACE;
     },
     noRef, noRef},
    {
        [](void* self) V3_API -> int32_t { return ownerOf<ParamChanges>(self)->count(); },
        [](void* self, int32_t i) V3_API -> v3_param_value_queue** {
            ParamChanges* c = ownerOf<ParamChanges>(self);
            return i >= 0 && i < c->count() ? c->queue(i).object() : nullptr;
        },
        [](void* self, v3_param_id* id, int32_t* index) V3_API -> v3_param_value_queue** {
            ParamQueue* q = id ? ownerOf<ParamChanges>(self)->queueFor(*id, index) : nullptr;
            return q ? q->object() : nullptr;
        },
    },
};

struct StreamTable : v3_funknown {
    v3_bstream stream;
};

const StreamTable kStreamTable = {
    {[](void* self, const v3_tuid iid, void** obj) V3_API -> v3_result {
         const bool ok = sameId(iid, v3_funknown_iid) || sameId(iid, v3_bstream_iid);
         *obj = ok ? self : nullptr;
         return ok ? V3_OK : V3_NO_INTERFACE;
     },
     noRef, noRef},
    {
        [](void* self, void* buffer, int32_t n, int32_t* got) V3_API -> v3_result {
            MemoryStream* s = ownerOf<MemoryStream>(self);
            if (s->failing || !buffer || n < 0) return V3_INTERNAL_ERR;
            const std::size_t left = s->data.size() - s->position;
            const std::size_t take = static_cast<std::size_t>(n) < left ? static_cast<std::size_t>(n) : left;
            if (take > 0) std::memcpy(buffer, s->data.data() + s->position, take);
            s->position += take;
            if (got) *got = static_cast<int32_t>(take);
            return V3_OK;
        },
        [](void* self, void* buffer, int32_t n, int32_t* written) V3_API -> v3_result {
            MemoryStream* s = ownerOf<MemoryStream>(self);
            if (s->failing || !buffer || n < 0) return V3_INTERNAL_ERR;
            const auto* b = static_cast<const uint8_t*>(buffer);
            if (s->position + static_cast<std::size_t>(n) > s->data.size()) s->data.resize(s->position + n);
            if (n > 0) std::memcpy(s->data.data() + s->position, b, static_cast<std::size_t>(n));
            s->position += static_cast<std::size_t>(n);
            if (written) *written = n;
            return V3_OK;
        },
        [](void* self, int64_t pos, int32_t mode, int64_t* result) V3_API -> v3_result {
            MemoryStream* s = ownerOf<MemoryStream>(self);
            const int64_t base = mode == V3_SEEK_SET ? 0 : mode == V3_SEEK_CUR ? static_cast<int64_t>(s->position)
                                                                               : static_cast<int64_t>(s->data.size());
            const int64_t to = base + pos;
            if (to < 0 || to > static_cast<int64_t>(s->data.size())) return V3_INVALID_ARG;
            s->position = static_cast<std::size_t>(to);
            if (result) *result = to;
            return V3_OK;
        },
        [](void* self, int64_t* pos) V3_API -> v3_result {
            if (!pos) return V3_INVALID_ARG;
            *pos = static_cast<int64_t>(ownerOf<MemoryStream>(self)->position);
            return V3_OK;
        },
    },
};

struct HandlerTable : v3_funknown {
    v3_component_handler handler;
};
struct Handler2Table : v3_funknown {
    v3_component_handler2 handler2;
};

v3_result V3_API handlerQuery(void* self, const v3_tuid iid, void** obj) {
    ComponentHandler* h = ownerOf<ComponentHandler>(self);
    void* found = nullptr;
    if (sameId(iid, v3_funknown_iid) || sameId(iid, v3_component_handler_iid)) found = &h->self_;
    else if (sameId(iid, v3_component_handler2_iid)) found = &h->second_;
    *obj = found;
    return found ? V3_OK : V3_NO_INTERFACE;
}

void record(void* self, Edit::Kind kind, v3_param_id id, double value) {
    ownerOf<ComponentHandler>(self)->edits.push_back({kind, id, value});
}

const HandlerTable kHandlerTable = {
    {handlerQuery, noRef, noRef},
    {
        [](void* self, v3_param_id id) V3_API -> v3_result { return record(self, Edit::Begin, id, 0), V3_OK; },
        [](void* self, v3_param_id id, double v) V3_API -> v3_result {
            return record(self, Edit::Perform, id, v), V3_OK;
        },
        [](void* self, v3_param_id id) V3_API -> v3_result { return record(self, Edit::End, id, 0), V3_OK; },
        [](void* self, int32_t flags) V3_API -> v3_result { return record(self, Edit::Restart, 0, flags), V3_OK; },
    },
};

const Handler2Table kHandler2Table = {
    {handlerQuery, noRef, noRef},
    {
        [](void* self, v3_bool state) V3_API -> v3_result { return record(self, Edit::Dirty, 0, state), V3_OK; },
        [](void*, const char*) V3_API -> v3_result { return V3_NOT_IMPLEMENTED; },
        [](void*) V3_API -> v3_result { return V3_NOT_IMPLEMENTED; },
        [](void*) V3_API -> v3_result { return V3_NOT_IMPLEMENTED; },
    },
};

v3_result V3_API frameQuery(void* self, const v3_tuid iid, void** obj) {
    PlugFrame* f = ownerOf<PlugFrame>(self);
    void* found = nullptr;
    if (sameId(iid, v3_funknown_iid) || sameId(iid, v3_plugin_frame_iid)) found = &f->self_;
#if !defined(_WIN32)
    else if (f->offerRunLoop && sameId(iid, v3_run_loop_iid)) found = &f->loop_;
#endif
    *obj = found;
    return found ? V3_OK : V3_NO_INTERFACE;
}

const v3_plugin_frame_cpp kFrameTable = {
    {frameQuery, noRef, noRef},
    {[](void* self, v3_plugin_view**, v3_view_rect*) V3_API -> v3_result {
        ++ownerOf<PlugFrame>(self)->resizeRequests;
        return V3_OK;
    }},
};

const v3_run_loop_cpp kRunLoopTable = {
    {frameQuery, noRef, noRef},
    {
        [](void* self, v3_event_handler** h, int fd) V3_API -> v3_result {
            if (!h) return V3_INVALID_ARG;
            ownerOf<PlugFrame>(self)->loop.fdHandlers.push_back({h, fd});
            return V3_OK;
        },
        [](void* self, v3_event_handler** h) V3_API -> v3_result {
            auto& v = ownerOf<PlugFrame>(self)->loop.fdHandlers;
            for (auto it = v.begin(); it != v.end(); ++it)
                if (it->handler == h) return v.erase(it), V3_OK;
            return V3_INVALID_ARG;
        },
        [](void* self, v3_timer_handler** h, uint64_t ms) V3_API -> v3_result {
            if (!h) return V3_INVALID_ARG;
            ownerOf<PlugFrame>(self)->loop.timers.push_back({h, ms});
            return V3_OK;
        },
        [](void* self, v3_timer_handler** h) V3_API -> v3_result {
            auto& v = ownerOf<PlugFrame>(self)->loop.timers;
            for (auto it = v.begin(); it != v.end(); ++it)
                if (it->handler == h) return v.erase(it), V3_OK;
            return V3_INVALID_ARG;
        },
    },
};

const v3_host_application_cpp kHostTable = {
    {[](void* self, const v3_tuid iid, void** obj) V3_API -> v3_result {
         const bool ok = sameId(iid, v3_funknown_iid) || sameId(iid, v3_host_application_iid);
         *obj = ok ? self : nullptr;
         return ok ? V3_OK : V3_NO_INTERFACE;
     },
     noRef, noRef},
    {
        [](void*, v3_str_128 name) V3_API -> v3_result {
            toUtf16("kvb vst3 host", name, 128);
            return V3_OK;
        },
        [](void*, v3_tuid, v3_tuid, void** obj) V3_API -> v3_result {
            if (obj) *obj = nullptr;
            return V3_NOT_IMPLEMENTED;
        },
    },
};

HostSlot<void> gHost{&kHostTable, nullptr};

}  // namespace

v3_funknown** hostContext() { return reinterpret_cast<v3_funknown**>(&gHost); }

std::string fromUtf16(const int16_t* text, int size) {
    std::string s;
    for (int i = 0; i < size && text[i]; ++i) s += text[i] > 0 && text[i] < 128 ? static_cast<char>(text[i]) : '?';
    return s;
}

// --- the module -------------------------------------------------------------------

std::string Module::binaryInBundle(const std::string& bundle) {
    std::string dir = bundle;
    while (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    const std::size_t slash = dir.find_last_of("/\\");
    std::string stem = slash == std::string::npos ? dir : dir.substr(slash + 1);
    if (stem.size() > 5 && stem.compare(stem.size() - 5, 5, ".vst3") == 0) stem.resize(stem.size() - 5);
#if defined(_WIN32)
    return dir + "/Contents/x86_64-win/" + stem + ".vst3";
#else
    return dir + "/Contents/x86_64-linux/" + stem + ".so";
#endif
}

bool Module::load(const std::string& path) {
    unload();
    binary_ = path;
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        binary_ = binaryInBundle(path);
    std::string why;
    handle_ = kvbhost::openModule(binary_, why);
    if (!handle_) {
        error_ = "cannot load " + binary_ + " (" + why + ")";
        return false;
    }
    using Entry = bool (*)();
    auto entry = reinterpret_cast<Entry>(symbol("InitDll"));
#else
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) binary_ = binaryInBundle(path);
    std::string why;
    handle_ = kvbhost::openModule(binary_, why);
    if (!handle_) {
        error_ = "cannot load " + binary_ + ": " + why;
        return false;
    }
    using Entry = bool (*)(void*);
    auto entry = reinterpret_cast<Entry>(symbol("ModuleEntry"));
#endif
    using GetFactory = void* (*)();
    auto getFactory = reinterpret_cast<GetFactory>(symbol("GetPluginFactory"));
    if (!entry || !getFactory) {
        error_ = binary_ + " has no module entry or no GetPluginFactory";
        unload();
        return false;
    }
#if defined(_WIN32)
    const bool entered = entry();
#else
    const bool entered = entry(handle_);
#endif
    if (!entered) {
        error_ = binary_ + ": the module entry failed";
        unload();
        return false;
    }
    factory_ = static_cast<v3_plugin_factory**>(getFactory());
    if (!factory_) {
        error_ = binary_ + ": no factory";
        unload();
        return false;
    }
    return true;
}

void Module::unload() {
    if (!handle_) return;
    release(factory_);
    factory_ = nullptr;
#if defined(_WIN32)
    if (auto exit = reinterpret_cast<bool (*)()>(symbol("ExitDll"))) exit();
#else
    if (auto exit = reinterpret_cast<bool (*)()>(symbol("ModuleExit"))) exit();
#endif
    kvbhost::closeModule(handle_);
    handle_ = nullptr;
}

void* Module::symbol(const char* name) const { return kvbhost::findSymbol(handle_, name); }

// --- the host's objects ----------------------------------------------------------------

ParamQueue::ParamQueue() : self_{&kQueueTable, this} { points_.reserve(kMaxPoints); }

bool ParamQueue::add(int32_t frame, double value) {
    if (points_.size() == points_.capacity()) return false;
    points_.emplace_back(frame, value);
    return true;
}

ParamChanges::ParamChanges() : self_{&kChangesTable, this}, queues_(kMaxQueues) {}

ParamQueue* ParamChanges::queueFor(v3_param_id id, int32_t* index) {
    for (int i = 0; i < used_; ++i)
        if (queues_[static_cast<std::size_t>(i)].id() == id) {
            if (index) *index = i;
            return &queues_[static_cast<std::size_t>(i)];
        }
    if (used_ == kMaxQueues) return nullptr;
    ParamQueue& q = queues_[static_cast<std::size_t>(used_)];
    q.reset(id);
    if (index) *index = used_;
    ++used_;
    return &q;
}

double ParamChanges::last(v3_param_id id, double otherwise) const {
    for (int i = 0; i < used_; ++i) {
        const ParamQueue& q = queues_[static_cast<std::size_t>(i)];
        if (q.id() == id && q.count() > 0) return q.value(q.count() - 1);
    }
    return otherwise;
}

MemoryStream::MemoryStream() : self_{&kStreamTable, this} {}
MemoryStream::MemoryStream(std::vector<uint8_t> bytes) : data(std::move(bytes)), self_{&kStreamTable, this} {}

ComponentHandler::ComponentHandler() : self_{&kHandlerTable, this}, second_{&kHandler2Table, this} {}

PlugFrame::PlugFrame() : self_{&kFrameTable, this}, loop_{&kRunLoopTable, this} {}

void RunLoop::runOnce(bool allFds) {
    // Copies: a handler may unregister itself or another.
    const std::vector<Timer> t = timers;
    for (const Timer& timer : t) tableOf<v3_timer_handler_cpp>(timer.handler)->timer.on_timer(timer.handler);
    const std::vector<FdHandler> f = fdHandlers;
    for (const FdHandler& h : f) {
        bool ready = allFds;
#if !defined(_WIN32)
        pollfd p{h.fd, POLLIN, 0};
        ready = ready || (poll(&p, 1, 0) > 0 && (p.revents & POLLIN));
#endif
        if (ready) tableOf<v3_event_handler_cpp>(h.handler)->handler.on_fd_is_set(h.handler, h.fd);
    }
}

// --- one instance ---------------------------------------------------------------------

bool Plugin::create(const Module& module, const uint8_t* classId) {
    destroy();
    v3_plugin_factory** f = module.factory();
    if (!f) {
        error_ = "no factory";
        return false;
    }
    const v3_plugin_factory& factory = tableOf<v3_plugin_factory_cpp>(f)->v1;
    v3_tuid cid{};
    bool found = false;
    for (int32_t i = 0, n = factory.num_classes(f); i < n && !found; ++i) {
        v3_class_info info{};
        if (factory.get_class_info(f, i, &info) != V3_OK) continue;
        if (classId ? std::memcmp(info.class_id, classId, sizeof cid) == 0
                    : std::strcmp(info.category, "Audio Module Class") == 0) {
            std::memcpy(cid, info.class_id, sizeof cid);
            found = true;
        }
    }
    void* object = nullptr;
    if (!found || factory.create_instance(f, cid, v3_component_iid, &object) != V3_OK || !object) {
        error_ = found ? "the factory made no component" : "no audio effect class";
        return false;
    }
    component = static_cast<v3_component**>(object);
    const v3_component_cpp* c = tableOf<v3_component_cpp>(component);
    if (c->base.initialize(component, hostContext()) != V3_OK) {
        error_ = "the component's initialize failed";
        release(component);
        component = nullptr;
        return false;
    }
    processor = queryOf<v3_audio_processor>(component, v3_audio_processor_iid);
    controller = queryOf<v3_edit_controller>(component, v3_edit_controller_iid);
    if (!controller) {
        // A controller of a class of its own.
        v3_tuid ccid{};
        void* ctl = nullptr;
        if (c->comp.get_controller_class_id(component, ccid) == V3_OK &&
            factory.create_instance(f, ccid, v3_edit_controller_iid, &ctl) == V3_OK && ctl) {
            controller = static_cast<v3_edit_controller**>(ctl);
            separateController = true;
            tableOf<v3_edit_controller_cpp>(controller)->base.initialize(controller, hostContext());
        }
    }
    if (!processor || !controller) {
        error_ = !processor ? "no audio processor" : "no edit controller";
        destroy();
        return false;
    }
    tableOf<v3_edit_controller_cpp>(controller)->ctrl.set_component_handler(controller, handler.object());
    if (separateController) {
        std::vector<uint8_t> blob;
        if (getState(blob)) {
            MemoryStream s(blob);
            tableOf<v3_edit_controller_cpp>(controller)->ctrl.set_component_state(controller, s.object());
        }
    }
    return true;
}

void Plugin::destroy() {
    closeEditor();
    if (active_) deactivate();
    if (controller) {
        tableOf<v3_edit_controller_cpp>(controller)->ctrl.set_component_handler(controller, nullptr);
        if (separateController) tableOf<v3_edit_controller_cpp>(controller)->base.terminate(controller);
        release(controller);
    }
    release(processor);
    if (component) {
        tableOf<v3_component_cpp>(component)->base.terminate(component);
        release(component);
    }
    controller = nullptr;
    processor = nullptr;
    component = nullptr;
    separateController = false;
}

v3_result Plugin::setup(double rate, int maxBlock, int32_t mode) {
    v3_process_setup s{mode, V3_SAMPLE_32, maxBlock, rate};
    return tableOf<v3_audio_processor_cpp>(processor)->proc.setup_processing(processor, &s);
}

bool Plugin::activate() {
    if (tableOf<v3_component_cpp>(component)->comp.set_active(component, 1) != V3_OK) return false;
    tableOf<v3_audio_processor_cpp>(processor)->proc.set_processing(processor, 1);
    active_ = true;
    return true;
}

void Plugin::deactivate() {
    tableOf<v3_audio_processor_cpp>(processor)->proc.set_processing(processor, 0);
    tableOf<v3_component_cpp>(component)->comp.set_active(component, 0);
    active_ = false;
}

uint32_t Plugin::latency() {
    return tableOf<v3_audio_processor_cpp>(processor)->proc.get_latency_samples(processor);
}

bool Plugin::queueChange(v3_param_id id, int32_t at, double value) {
    ParamQueue* q = inputChanges.queueFor(id);
    return q && q->add(at, value);
}

v3_result Plugin::process(const float* const* in, float* const* out, int32_t frames) {
    float* ins[2] = {const_cast<float*>(in[0]), const_cast<float*>(in[1])};
    float* outs[2] = {out[0], out[1]};
    v3_audio_bus_buffers inBus{}, outBus{};
    inBus.num_channels = 2;
    inBus.channel_buffers_32 = ins;
    outBus.num_channels = 2;
    outBus.channel_buffers_32 = outs;
    v3_process_data d{};
    d.process_mode = V3_REALTIME;
    d.symbolic_sample_size = V3_SAMPLE_32;
    d.nframes = frames;
    d.num_input_buses = 1;
    d.num_output_buses = 1;
    d.inputs = &inBus;
    d.outputs = &outBus;
    d.input_params = inputChanges.object();
    d.output_params = outputChanges.object();
    outputChanges.clear();
    const v3_result r = processRaw(d);
    inputChanges.clear();
    return r;
}

v3_result Plugin::processRaw(v3_process_data& data) {
    return tableOf<v3_audio_processor_cpp>(processor)->proc.process(processor, &data);
}

bool Plugin::getState(std::vector<uint8_t>& out) {
    MemoryStream s;
    if (tableOf<v3_component_cpp>(component)->comp.get_state(component, s.object()) != V3_OK) return false;
    out = s.data;
    return true;
}

v3_result Plugin::setState(const std::vector<uint8_t>& blob) {
    MemoryStream s(blob);
    const v3_result r = tableOf<v3_component_cpp>(component)->comp.set_state(component, s.object());
    if (r == V3_OK) {
        MemoryStream again(blob);
        tableOf<v3_edit_controller_cpp>(controller)->ctrl.set_component_state(controller, again.object());
    }
    return r;
}

int32_t Plugin::parameterCount() {
    return tableOf<v3_edit_controller_cpp>(controller)->ctrl.get_parameter_count(controller);
}

bool Plugin::parameterInfo(int32_t index, v3_param_info& info) {
    return tableOf<v3_edit_controller_cpp>(controller)->ctrl.get_parameter_info(controller, index, &info) == V3_OK;
}

std::string Plugin::text(v3_param_id id, double normalised) {
    v3_str_128 s{};
    if (tableOf<v3_edit_controller_cpp>(controller)->ctrl.get_parameter_string_for_value(controller, id, normalised,
                                                                                         s) != V3_OK)
        return "";
    return fromUtf16(s);
}

bool Plugin::valueOf(v3_param_id id, const std::string& text, double& normalised) {
    v3_str_128 s{};
    toUtf16(text, s, 128);
    return tableOf<v3_edit_controller_cpp>(controller)->ctrl.get_parameter_value_for_string(controller, id, s,
                                                                                            &normalised) == V3_OK;
}

double Plugin::normalised(v3_param_id id) {
    return tableOf<v3_edit_controller_cpp>(controller)->ctrl.get_parameter_normalised(controller, id);
}

int32_t Plugin::findParameter(const std::string& name) {
    for (int32_t i = 0, n = parameterCount(); i < n; ++i) {
        v3_param_info info{};
        if (parameterInfo(i, info) &&
            (fromUtf16(info.short_title) == name || fromUtf16(info.title) == name))
            return static_cast<int32_t>(info.param_id);
    }
    return -1;
}

bool Plugin::openEditor(void* parent) {
    closeEditor();
    view = tableOf<v3_edit_controller_cpp>(controller)->ctrl.create_view(controller, "editor");
    if (!view) return false;
    const v3_plugin_view& v = tableOf<v3_plugin_view_cpp>(view)->view;
    if (v.is_platform_type_supported(view, V3_VIEW_PLATFORM_TYPE_NATIVE) != V3_OK) return closeEditor(), false;
    v.set_frame(view, frame.object());
    if (v.attached(view, parent, V3_VIEW_PLATFORM_TYPE_NATIVE) != V3_OK) return closeEditor(), false;
    return true;
}

void Plugin::closeEditor() {
    if (!view) return;
    const v3_plugin_view& v = tableOf<v3_plugin_view_cpp>(view)->view;
    v.removed(view);
    v.set_frame(view, nullptr);
    release(view);
    view = nullptr;
}

}  // namespace vst3host
