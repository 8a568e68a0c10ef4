// A picture of a window as the host captures it: width x height words
// 0x00RRGGBB, top row first. What kvb screenshot saves, and what the editor
// tests compare with the skin.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvbhost {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

}  // namespace kvbhost
