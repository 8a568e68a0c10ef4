// The skin bitmaps bound into the plug-in module, found by identifier through
// the module handle (hInstance), as Windows finds its bitmap resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skin {

constexpr int kFirstBitmapId = 101;
constexpr int kLastBitmapId = 129;

// The bytes of one bitmap resource: a complete .bmp file (file header, info
// header, pixels). Both null/zero when the module has no such bitmap.
struct Resource {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Finds bitmap `id` in `module` (the handle stored in hInstance).
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

}  // namespace skin
