// The editor's skin as the plug-in module carries it: one compressed pack per
// scale (resources/SkinPackFormat.h), found through the module's handle as
// Windows finds its resources, and decoded once per process: every editor of
// the module at that scale shares the decoded bitmaps, which go when the last
// of them lets go. Which bitmaps there are is the editor's layout table's list
// (editor/Layout.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "editor/Layout.h"
#include "vstgui/vstgui.h"

namespace skin {

// The bytes of one pack. Both null/zero when the module has none.
struct Resource {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Finds the pack of scale `percent` (one of kvbeditor::kScalePercents) in
// `module` (a module's handle, as platform/Module.h keeps it).
Resource findPack(void* module, int percent);

// Memory for decoded pixels straight from the system (mmap, VirtualAlloc),
// given back to it whole when freed: the C library's heap would keep tens of
// megabytes freed with the last editor, and grow with each decode.
void* allocatePages(std::size_t bytes);
void freePages(void* p, std::size_t bytes);

template <class T>
struct PageAllocator {
    using value_type = T;
    PageAllocator() = default;
    template <class U>
    PageAllocator(const PageAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocatePages(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { freePages(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const PageAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const PageAllocator<U>&) const { return false; }
};

// A decoded bitmap: top row first, one 0xFFRRGGBB word per pixel; a strip
// holds its frames one under the other.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t, PageAllocator<std::uint32_t>> pixels;
};

// Every bitmap of the layout table at one scale.
struct Skin {
    int percent = 0;
    Image images[kvbeditor::kNumBitmaps];
    // Bitmap `id`, or null for an id the layout table does not list.
    const Image* image(int id) const;
};

// Decodes the pack of scale `percent`. Answers false (and leaves `out` empty)
// unless the bytes are a complete pack of every bitmap of the layout table at
// exactly the sizes that scale gives them: truncated, damaged or foreign data
// is refused without reading past its end.
bool decodePack(const unsigned char* data, std::size_t size, int percent, Skin& out);

// The decoded skin of `module` at `percent`, shared by every holder in the
// process: decoded by the first caller, freed when the last holder drops it.
// Null when the module has no such pack or it does not decode. Any thread.
std::shared_ptr<const Skin> sharedSkin(void* module, int percent);

// The skin of `module` as the widget layer loads it.
class ModuleSkin final : public VSTGUI::ModuleResources {
public:
    explicit ModuleSkin(void* handle) : module(handle) {}
    void* moduleHandle() const override { return module; }
    // The first bitmap loaded keeps the module resident from then on (see
    // kvbplatform::keepModuleLoaded).
    bool loadBitmap(long id, int percent, VSTGUI::SharedPixels& out) const override;
    bool hasSkin(int percent) const override { return findPack(module, percent).data != nullptr; }

private:
    void* module;
};

}  // namespace skin
