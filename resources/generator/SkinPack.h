// Packs the bitmaps of one scale as resources/SkinPackFormat.h describes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skingen {

struct PackImage {
    int id;
    int width, frameHeight, frames;
    int left, top;  // where the control sits in the window, in device pixels
    bool background;
    std::vector<std::uint32_t> pixels;  // 0x??RRGGBB, top row first
};

// `images` in the order of the layout table's bitmaps, the background first
// among them wherever it is (every strip is stored against it).
std::vector<unsigned char> encodePack(int percent, const std::vector<PackImage>& images);

// The file name of the pack of `percent`: skin<PERCENT>.pack.
std::string packName(int percent);

// Writes the bytes to `path`; answers false when the file cannot be written.
bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace skingen
