// Linux stand-in for the library entry: there is no DllMain, so a constructor
// function records the handle of the shared object this code lives in.
#include <dlfcn.h>

#include <atomic>

#include "platform/Module.h"

void* hInstance = nullptr;

namespace kvbplatform {

void* moduleContaining(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0) return nullptr;
    // A handle to the module without taking a reference that would keep the
    // library loaded after the host unloads it.
    if (info.dli_fname) {
        if (void* module = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) {
            dlclose(module);
            return module;
        }
    }
    return info.dli_fbase;
}

void keepModuleLoaded(void* module) {
    static std::atomic<bool> kept{false};
    if (!module || module != hInstance || kept.exchange(true)) return;
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&keepModuleLoaded), &info) == 0 || !info.dli_fname) return;
    // RTLD_NODELETE on a module already loaded: dlclose will not unload it.
    // The reference this takes is never dropped either way.
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace kvbplatform

namespace {

__attribute__((constructor)) void findOwnModule() {
    hInstance = kvbplatform::moduleContaining(reinterpret_cast<const void*>(&findOwnModule));
}

}  // namespace
