// The packed skin: how the skin generator stores the bitmaps of one scale and
// how the plug-in reads them back. One pack per scale, bound into the module
// (Windows: RCDATA resource number = the scale in percent; Linux: linked into
// a read-only section). Both sides include this file; it includes nothing.
//
// A pack: the header, one entry per bitmap of the layout table (in the order
// of kvbeditor::skinBitmapId), then the entries' zlib streams. All numbers
// are little-endian 32-bit.
//
//   header   "KVBSKIN" 0x02, percent, count
//   entry    id, width, frameHeight, frames, reference, flags, offset,
//            packedSize, plainSize
//
// The pixels are stored as differences, which leave long runs of zeros for
// zlib and carry no more than the pixels themselves, decoded exactly:
//   - the background (bitmap 101): each pixel less the one left of it;
//   - a control's strip: each frame less the background under the control
//     (everything the control does not change becomes 0), less the same
//     frame of `reference` (another strip of the same size already decoded,
//     or 0 for none) likewise taken from the background under it, less the
//     frame before it when flag kFrameDelta is set;
//   - then in every pixel red and blue less green, per byte modulo 256.
// The stream (plainSize bytes inflated) gives, for every row of every frame
// (the background: one frame), the row's first pixel that is not 0 and the
// count of those up to its last one that is not (two 16-bit numbers, both 0
// for a row of zeros), then that many pixels of three bytes red, green,
// blue.
#pragma once

#include <cstdint>

namespace skinpack {

constexpr unsigned char kMagic[8] = {'K', 'V', 'B', 'S', 'K', 'I', 'N', 0x02};
constexpr std::uint32_t kHeaderSize = 16;
constexpr std::uint32_t kEntrySize = 36;
constexpr std::uint32_t kFrameDelta = 1;

}  // namespace skinpack
