// The skin packs on Linux: the build links them into a read-only section
// (skin_blobs.cpp, which the skin generator writes) under hidden symbols.
// They are found through the module handle as a Windows module's resources
// are.
#include "editor/Layout.h"
#include "platform/Module.h"
#include "resources/SkinResources.h"

namespace skin {

// The pack of scale n (in the order of kvbeditor::kScalePercents) and its
// size (skin_blobs.cpp).
const unsigned char* embeddedPack(int n, std::size_t& size);

Resource findPack(void* module, int percent) {
    const int index = kvbeditor::scaleIndex(percent);
    if (index < 0) return {};
    std::size_t size = 0;
    const unsigned char* data = embeddedPack(index, size);
    // Only the module these bytes are linked into carries this skin; any
    // other handle (another library, or none) has no such resource.
    static void* const owner = kvbplatform::moduleContaining(data);
    if (module == nullptr || module != owner) return {};
    return {data, size};
}

}  // namespace skin
