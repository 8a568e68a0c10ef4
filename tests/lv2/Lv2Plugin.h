// The built LV2 processing binary as a host sees it: loaded with dlopen,
// reached only through lv2_descriptor, one instance with every port connected
// to storage of its own (which a test may then reconnect or leave null).
#pragma once

#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <cstdint>
#include <vector>

#include "lv2/Ports.h"

namespace lv2test {

class Module {
public:
    explicit Module(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~Module() {
        if (handle) dlclose(handle);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    void* symbol(const char* name) const { return handle ? dlsym(handle, name) : nullptr; }
    const LV2_Descriptor* descriptor() const {
        auto f = reinterpret_cast<const LV2_Descriptor* (*)(std::uint32_t)>(symbol("lv2_descriptor"));
        return f ? f(0) : nullptr;
    }

    void* handle;
};

class Plugin {
public:
    Plugin(const LV2_Descriptor* d, double rate, std::uint32_t maxFrames)
        : desc(d), inL(maxFrames), inR(maxFrames), outL(maxFrames), outR(maxFrames) {
        const LV2_Feature* const none[] = {nullptr};
        handle = desc->instantiate(desc, rate, KVB_LV2_BUNDLE "/", none);
        if (!handle) return;
        for (std::uint32_t i = 0; i < kvblv2::kNumParamPorts; ++i) {
            controls[i] = kParameterTable[i].defaultValue;
            connect(i, &controls[i]);
        }
        connect(kvblv2::kMeter1Port, &meters[0]);
        connect(kvblv2::kMeter2Port, &meters[1]);
        connect(kvblv2::kLatencyPort, &latency);
        connect(kvblv2::kInLeftPort, inL.data());
        connect(kvblv2::kInRightPort, inR.data());
        connect(kvblv2::kOutLeftPort, outL.data());
        connect(kvblv2::kOutRightPort, outR.data());
        desc->activate(handle);
    }
    ~Plugin() {
        if (!handle) return;
        desc->deactivate(handle);
        desc->cleanup(handle);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    explicit operator bool() const { return handle != nullptr; }
    void connect(std::uint32_t port, void* data) { desc->connect_port(handle, port, data); }
    void run(std::uint32_t frames) { desc->run(handle, frames); }

    const LV2_Descriptor* desc;
    LV2_Handle handle = nullptr;
    float controls[kvblv2::kNumParamPorts] = {};
    float meters[2] = {-1.0f, -1.0f};
    float latency = -1.0f;
    std::vector<float> inL, inR, outL, outR;
};

}  // namespace lv2test
