// Decoder for uncompressed 24- and 32-bit Windows bitmaps. Every size and
// offset in the headers is checked against the buffer before it is used, so
// truncated or hostile data is refused rather than read past its end.
#include <cstdint>
#include <utility>

#include "resources/SkinResources.h"

namespace skin {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER; V4/V5 headers extend it
constexpr std::uint32_t kBiRgb = 0;
// Larger than any skin image by far; keeps the pixel buffer to a sane size
// whatever the headers claim.
constexpr std::int64_t kMaxDimension = 16384;
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 26;

std::uint32_t le16(const unsigned char* p) { return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8); }

std::uint32_t le32(const unsigned char* p) {
    return le16(p) | (le16(p + 2) << 16);
}

std::int32_t les32(const unsigned char* p) {
    const std::uint32_t u = le32(p);
    return u <= 0x7FFFFFFFu ? std::int32_t(u) : -std::int32_t(~u) - 1;
}

}  // namespace

bool decodeBmp(const unsigned char* data, std::size_t size, Image& out) {
    out = Image{};
    if (data == nullptr || size < kFileHeaderSize + kInfoHeaderSize) return false;
    if (data[0] != 'B' || data[1] != 'M') return false;

    const std::uint32_t pixelOffset = le32(data + 10);
    const unsigned char* info = data + kFileHeaderSize;
    const std::uint32_t infoSize = le32(info);
    if (infoSize < kInfoHeaderSize || infoSize > size - kFileHeaderSize) return false;

    const std::int64_t width = les32(info + 4);
    const std::int64_t rawHeight = les32(info + 8);
    const std::uint32_t planes = le16(info + 12);
    const std::uint32_t bpp = le16(info + 14);
    const std::uint32_t compression = le32(info + 16);

    if (planes != 1) return false;
    if (bpp != 24 && bpp != 32) return false;
    if (compression != kBiRgb) return false;
    if (width <= 0 || width > kMaxDimension) return false;
    if (rawHeight == 0) return false;
    const bool topDown = rawHeight < 0;
    const std::int64_t height = topDown ? -rawHeight : rawHeight;
    if (height > kMaxDimension || width * height > kMaxPixels) return false;

    const std::int64_t stride = ((width * bpp + 31) / 32) * 4;
    const std::int64_t pixelBytes = stride * height;
    // The pixels start after both headers and must lie wholly in the buffer;
    // the last row needs only its pixel bytes, not its padding.
    if (pixelOffset < kFileHeaderSize + infoSize) return false;
    const std::int64_t rowBytes = width * (bpp / 8);
    if (std::int64_t(pixelOffset) + pixelBytes - (stride - rowBytes) > std::int64_t(size)) return false;

    Image img;
    img.width = static_cast<int>(width);
    img.height = static_cast<int>(height);
    img.bitsPerPixel = static_cast<int>(bpp);
    img.pixels.resize(static_cast<std::size_t>(width * height));
    const unsigned char* pixels = data + pixelOffset;
    const int bytesPerPixel = static_cast<int>(bpp / 8);
    for (std::int64_t y = 0; y < height; ++y) {
        const std::int64_t stored = topDown ? y : height - 1 - y;
        const unsigned char* src = pixels + stored * stride;
        std::uint32_t* dst = img.pixels.data() + y * width;
        for (std::int64_t x = 0; x < width; ++x, src += bytesPerPixel) {
            const std::uint32_t alpha = bytesPerPixel == 4 ? src[3] : 0xFFu;
            dst[x] = (alpha << 24) | (std::uint32_t(src[2]) << 16) | (std::uint32_t(src[1]) << 8) |
                     std::uint32_t(src[0]);
        }
    }
    out = std::move(img);
    return true;
}

bool ModuleSkin::loadBitmap(long id, long& width, long& height,
                            std::vector<std::uint32_t>& pixels) const {
    const Resource res = findBitmap(module, static_cast<int>(id));
    if (!res.data || res.size == 0) return false;
    Image image;
    if (!decodeBmp(res.data, res.size, image)) return false;
    width = image.width;
    height = image.height;
    pixels = std::move(image.pixels);
    return true;
}

}  // namespace skin
