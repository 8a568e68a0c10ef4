// Linux stand-in for the library entry: there is no DllMain, so a constructor
// function records the handle of the shared object this code lives in.
#include <dlfcn.h>

#include "shell/Module.h"

void* hInstance = nullptr;

namespace {

__attribute__((constructor)) void findOwnModule() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&findOwnModule), &info) == 0) return;
    // A handle to ourselves without taking a reference that would keep the
    // library loaded after the host unloads it.
    if (info.dli_fname) {
        if (void* self = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) {
            hInstance = self;
            dlclose(self);
            return;
        }
    }
    hInstance = info.dli_fbase;
}

}  // namespace
