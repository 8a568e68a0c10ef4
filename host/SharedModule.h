// A plug-in binary as a host loads it, on Linux (dlopen) and Windows
// (LoadLibrary): open, find an exported symbol, close. kvb's VST 2.4 host and
// the tests' VST3 and CLAP hosts load through these. Header only, so that a
// host links nothing more for it.
#pragma once

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kvbhost {

// The module, or null with why set to the system's reason ("error N" on
// Windows, dlerror's text elsewhere, which may be empty).
inline void* openModule(const std::string& path, std::string& why) {
#if defined(_WIN32)
    HMODULE m = LoadLibraryA(path.c_str());
    if (!m) why = "error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(m);
#else
    void* m = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m) {
        const char* e = dlerror();
        why = e ? e : "";
    }
    return m;
#endif
}

inline void* findSymbol(void* module, const char* name) {
    if (!module) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
    return dlsym(module, name);
#endif
}

inline void closeModule(void* module) {
    if (!module) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(module));
#else
    dlclose(module);
#endif
}

}  // namespace kvbhost
