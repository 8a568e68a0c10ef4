#include "engine/State.h"

#include <cmath>
#include <cstring>

namespace kvb {

namespace {

constexpr unsigned char kTag[4] = {'K', 'V', 'B', 's'};

void putWord(unsigned char* at, std::uint32_t w) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(w >> (8 * i));
}

std::uint32_t word(const unsigned char* at) {
    std::uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return w;
}

}  // namespace

void writeState(const SavedState& state, unsigned char* out) {
    std::memcpy(out, kTag, 4);
    putWord(out + 4, kStateVersion);
    putWord(out + 8, state.program);
    putWord(out + 12, kNumParams);
    for (int i = 0; i < kNumParams; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &state.values[i], 4);
        putWord(out + 16 + 4 * i, bits);
    }
}

StateError readState(const unsigned char* data, std::size_t size, SavedState& state) {
    if (!data || size < 16) return StateError::Short;
    if (std::memcmp(data, kTag, 4) != 0) return StateError::NotOurs;
    const std::uint32_t version = word(data + 4);
    if (version > kStateVersion) return StateError::Newer;
    if (version == 0) return StateError::Malformed;
    if (word(data + 12) != kNumParams) return StateError::Malformed;
    if (size < kStateBytes) return StateError::Short;
    SavedState read;
    read.program = word(data + 8);
    for (int i = 0; i < kNumParams; ++i) {
        const std::uint32_t bits = word(data + 16 + 4 * i);
        std::memcpy(&read.values[i], &bits, 4);
        if (!std::isfinite(read.values[i])) return StateError::NotANumber;
    }
    state = read;
    return StateError::None;
}

}  // namespace kvb
