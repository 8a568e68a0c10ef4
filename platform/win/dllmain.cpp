// The Windows library entry: records the module handle, from which the skin
// bitmaps are loaded and on which the editor's window class is registered.
#include <windows.h>

#include <atomic>

#include "platform/Module.h"

void* hInstance = nullptr;

namespace kvbplatform {

void* moduleContaining(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return nullptr;
    return module;
}

void keepModuleLoaded(void* module) {
    static std::atomic<bool> kept{false};
    if (!module || module != hInstance || kept.exchange(true)) return;
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&keepModuleLoaded), &pinned);
}

}  // namespace kvbplatform

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
    hInstance = instance;
    return 1;
}
