#include "BmpWriter.h"

#include <cstdio>
#include <stdexcept>

namespace skingen {

namespace {

void put16(std::vector<unsigned char>& out, std::uint32_t v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

void put32(std::vector<unsigned char>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

std::vector<unsigned char> encodeBmp(int width, int height, int bitsPerPixel,
                                     const std::vector<std::uint32_t>& pixels) {
    if (width <= 0 || height <= 0 || (bitsPerPixel != 24 && bitsPerPixel != 32) ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        throw std::invalid_argument("encodeBmp: bad image geometry");
    }
    const std::uint32_t stride = ((static_cast<std::uint32_t>(width) * bitsPerPixel + 31) / 32) * 4;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(height);
    const std::uint32_t offset = 14 + 40;

    std::vector<unsigned char> out;
    out.reserve(offset + imageSize);
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + imageSize);
    put16(out, 0);
    put16(out, 0);
    put32(out, offset);
    // BITMAPINFOHEADER
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height));  // positive: bottom-up rows
    put16(out, 1);                                   // planes
    put16(out, static_cast<std::uint32_t>(bitsPerPixel));
    put32(out, 0);     // BI_RGB
    put32(out, imageSize);
    put32(out, 2835);  // 72 dpi
    put32(out, 2835);
    put32(out, 0);  // colours used
    put32(out, 0);  // important colours

    for (int y = height - 1; y >= 0; --y) {
        const std::uint32_t* row = pixels.data() + static_cast<std::size_t>(y) * width;
        std::size_t written = 0;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            out.push_back(static_cast<unsigned char>(p & 0xFF));          // blue
            out.push_back(static_cast<unsigned char>((p >> 8) & 0xFF));   // green
            out.push_back(static_cast<unsigned char>((p >> 16) & 0xFF));  // red
            written += 3;
            if (bitsPerPixel == 32) {
                out.push_back(static_cast<unsigned char>(p >> 24));
                ++written;
            }
        }
        for (; written < stride; ++written) out.push_back(0);
    }
    return out;
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace skingen
