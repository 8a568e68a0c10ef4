// The skin packs on Windows: RCDATA resources of the module numbered by their
// scale in percent, bound by skin.rc (which the skin generator writes).
#include <windows.h>

#include "editor/Layout.h"
#include "resources/SkinResources.h"

namespace skin {

Resource findPack(void* module, int percent) {
    if (module == nullptr || kvbeditor::scaleIndex(percent) < 0) return {};
    HMODULE hmod = static_cast<HMODULE>(module);
    HRSRC res = FindResourceW(hmod, MAKEINTRESOURCEW(percent), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (res == nullptr) return {};
    const DWORD size = SizeofResource(hmod, res);
    HGLOBAL handle = LoadResource(hmod, res);
    const auto* data = handle ? static_cast<const unsigned char*>(LockResource(handle)) : nullptr;
    if (data == nullptr || size == 0) return {};
    return {data, size};
}

}  // namespace skin
