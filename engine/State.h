// The saved state of an instance, as the VST3 and CLAP builds hand it to
// their hosts: every parameter value and the current program, behind a tag
// and a version. All numbers little-endian:
//
//   bytes 0-3    "KVBs"
//   4-7          version (1)
//   8-11         the current program
//   12-15        the number of values that follow (51)
//   16-219       the 51 parameter values, 32-bit floats, in parameter order
//
// A later version may add fields after the values; this one refuses any
// state whose version is newer than its own, rather than guess.
#pragma once

#include <cstddef>
#include <cstdint>

#include "params/Parameters.h"

namespace kvb {

struct SavedState {
    std::uint32_t program = 0;
    float values[kNumParams] = {};
};

constexpr std::uint32_t kStateVersion = 1;
constexpr std::size_t kStateBytes = 16 + 4 * kNumParams;

enum class StateError {
    None,
    Short,       // fewer bytes than the header and values need
    NotOurs,     // another tag
    Newer,       // a version after this build's
    Malformed,   // a count of values other than 51
    NotANumber,  // a value that is NaN or infinite
};

// Writes kStateBytes bytes.
void writeState(const SavedState& state, unsigned char* out);
// Reads a state of `size` bytes into `state`, which is written only when the
// answer is StateError::None.
StateError readState(const unsigned char* data, std::size_t size, SavedState& state);

}  // namespace kvb
