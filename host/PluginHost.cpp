#include "host/PluginHost.h"

#include "host/SharedModule.h"

#include <cstring>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include <climits>
#endif

namespace kvbhost {

namespace {

// The instance being created: its callbacks arrive before the host can set
// the record's user field.
thread_local PluginHost* loading = nullptr;

using EntryProc = vst::AEffect* (*)(vst::AudioMasterCallback);

bool fileExists(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return f.good();
}


}  // namespace

std::string defaultPluginPath() {
#if defined(_WIN32)
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    std::string exe(buf, n);
    const char* name = "KVB_64.dll";
    const auto slash = exe.find_last_of("\\/");
#else
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string exe = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    const char* name = "KVB_64.so";
    const auto slash = exe.find_last_of('/');
#endif
    if (slash == std::string::npos) return name;
    return exe.substr(0, slash + 1) + name;
}

PluginHost::~PluginHost() { unload(); }

bool PluginHost::load(const std::string& path) {
    unload();
    if (!fileExists(path)) {
        error_ = "no plug-in file at " + path;
        return false;
    }
    std::string why;
    module_ = openModule(path, why);
    if (!module_) {
#if defined(_WIN32)
        error_ = path + " cannot be loaded as a DLL (" + why + ")";
#else
        error_ = path + " is not a loadable shared object" + (why.empty() ? "" : ": " + why);
#endif
        return false;
    }
    auto entry = reinterpret_cast<EntryProc>(findSymbol(module_, "VSTPluginMain"));
    if (!entry) entry = reinterpret_cast<EntryProc>(findSymbol(module_, "main"));
    if (!entry) {
        error_ = path + " has no VST entry point (VSTPluginMain or main)";
        unload();
        return false;
    }
    loading = this;
    vst::AEffect* e = entry(&PluginHost::callback);
    loading = nullptr;
    if (!e) {
        error_ = path + ": the entry point returned no effect";
        unload();
        return false;
    }
    if (e->magic != vst::kEffectMagic) {
        char buf[96];
        std::snprintf(buf, sizeof buf, ": wrong magic 0x%08X (expected 0x%08X, 'VstP')",
                      static_cast<unsigned>(e->magic), static_cast<unsigned>(vst::kEffectMagic));
        error_ = path + buf;
        unload();  // the record is not one we can talk to; do not dispatch to it
        return false;
    }
    effect_ = e;
    effect_->user = this;
    dispatch(vst::effOpen);
    return true;
}

void PluginHost::unload() {
    if (effect_) {
        dispatch(vst::effMainsChanged, 0, 0);
        dispatch(vst::effClose);
        effect_ = nullptr;
    }
    if (module_) {
        closeModule(module_);
        module_ = nullptr;
    }
}

vst::intptr PluginHost::dispatch(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                                 float opt) const {
    return effect_ ? effect_->dispatcher(effect_, opcode, index, value, ptr, opt) : 0;
}

std::string PluginHost::text(vst::int32 opcode, vst::int32 index) const {
    // Hosts hand out buffers larger than the published lengths.
    char buf[256] = {0};
    dispatch(opcode, index, 0, buf);
    buf[sizeof buf - 1] = 0;
    return buf;
}

bool PluginHost::canDo(const char* what) const {
    return dispatch(vst::effCanDo, 0, 0, const_cast<char*>(what)) == 1;
}

vst::intptr PluginHost::callback(vst::AEffect* effect, vst::int32 opcode, vst::int32 index,
                                 vst::intptr value, void* ptr, float opt) {
    PluginHost* host = effect && effect->user ? static_cast<PluginHost*>(effect->user) : loading;
    if (opcode == vst::audioMasterVersion) return 2400;
    if (!host) return 0;
    return host->answer(opcode, index, value, ptr, opt);
}

vst::intptr PluginHost::answer(vst::int32 opcode, vst::int32 index, vst::intptr value,
                               void* ptr, float opt) {
    switch (opcode) {
    case vst::audioMasterAutomate:
    case vst::audioMasterBeginEdit:
    case vst::audioMasterEndEdit:
        events.push_back({opcode, index, opt});
        return opcode == vst::audioMasterAutomate ? 0 : 1;
    case vst::audioMasterIdle: ++idleCalls; return 0;
    case vst::audioMasterCurrentId: return effect_ ? effect_->uniqueID : 0;
    case vst::audioMasterPinConnected: return 0;  // every pin connected
    case vst::audioMasterWantMidi: return 1;
    case vst::audioMasterGetSampleRate: return static_cast<vst::intptr>(sampleRate);
    case vst::audioMasterGetBlockSize: return blockSize;
    case vst::audioMasterGetVendorString:
        if (ptr) std::strcpy(static_cast<char*>(ptr), "KVB");
        return ptr ? 1 : 0;
    case vst::audioMasterGetProductString:
        if (ptr) std::strcpy(static_cast<char*>(ptr), "kvb host");
        return ptr ? 1 : 0;
    case vst::audioMasterGetVendorVersion: return 1;
    case vst::audioMasterCanDo:
        return ptr && std::strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0 ? 1 : 0;
    case vst::audioMasterSizeWindow:  // width in index, height in value
        events.push_back({opcode, index, static_cast<float>(value)});
        return 1;
    default: return 0;
    }
}

}  // namespace kvbhost
