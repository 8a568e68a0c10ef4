// The skin bitmaps bound into the plug-in module, found by identifier through
// the module's handle, as Windows finds its bitmap resources. Which bitmaps
// there are is the editor's layout table's list (editor/Layout.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vstgui/vstgui.h"

namespace skin {

// The bytes of one bitmap resource: a complete .bmp file (file header, info
// header, pixels). Both null/zero when the module has no such bitmap.
struct Resource {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Finds bitmap `id` in `module` (a module's handle, as platform/Module.h
// keeps it).
Resource findBitmap(void* module, int id);

// A decoded bitmap: top row first, one 0xAARRGGBB word per pixel (24-bit
// images decode with alpha 0xFF).
struct Image {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::vector<std::uint32_t> pixels;
};

// Decodes an uncompressed 24- or 32-bit .bmp file; answers false (and leaves
// `out` empty) for anything else or for truncated data.
bool decodeBmp(const unsigned char* data, std::size_t size, Image& out);

// The skin of `module` as the widget layer loads it: found and decoded.
class ModuleSkin final : public VSTGUI::ModuleResources {
public:
    explicit ModuleSkin(void* handle) : module(handle) {}
    void* moduleHandle() const override { return module; }
    bool loadBitmap(long id, long& width, long& height,
                    std::vector<std::uint32_t>& pixels) const override;

private:
    void* module;
};

}  // namespace skin
