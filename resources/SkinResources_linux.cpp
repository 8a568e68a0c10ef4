// The skin bitmaps on Linux: the build links the .bmp files into a read-only
// section (skin_blobs.cpp, which the skin generator writes from the layout
// table) under hidden symbols. They are found through the module handle as a
// Windows module's bitmap resources are.
#include "editor/Layout.h"
#include "platform/Module.h"
#include "resources/SkinResources.h"

namespace skin {

// Bitmap n of the skin, in the order of kvbeditor::skinBitmapId, and its
// size (skin_blobs.cpp).
const unsigned char* embeddedBitmap(int n, std::size_t& size);

Resource findBitmap(void* module, int id) {
    const int index = kvbeditor::skinBitmapIndex(id);
    if (index < 0) return {};
    std::size_t size = 0;
    const unsigned char* data = embeddedBitmap(index, size);
    // Only the module these bytes are linked into carries these bitmaps; any
    // other handle (another library, or none) has no such resource.
    static void* const owner = kvbplatform::moduleContaining(data);
    if (module == nullptr || module != owner) return {};
    return {data, size};
}

}  // namespace skin
