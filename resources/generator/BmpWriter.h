// Writes uncompressed Windows bitmaps (.bmp): file header, 40-byte info
// header, BI_RGB pixels in bottom-up rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skingen {

// Encodes `pixels` (0xAARRGGBB, top row first, width * height words) as a
// complete .bmp file of 24 or 32 bits per pixel. 24-bit rows are padded to
// a multiple of four bytes; 32-bit pixels keep their alpha byte.
std::vector<unsigned char> encodeBmp(int width, int height, int bitsPerPixel,
                                     const std::vector<std::uint32_t>& pixels);

// Writes the bytes to `path`; answers false when the file cannot be written.
bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace skingen
