// The skin bitmaps on Linux: the build links the 29 .bmp files into a
// read-only section (see the generated skin_blobs.cpp) under hidden symbols
// kvb_skin_bmp<ID>, with their byte counts in kvb_skin_sizes. They are found
// through the module handle as a Windows module's bitmap resources are.
#include <cstdint>

#include "resources/SkinResources.h"
#include "shell/Module.h"

#define KVB_SKIN_BLOB(id) \
    extern const unsigned char kvb_skin_bmp##id[] __attribute__((visibility("hidden")));

extern "C" {
KVB_SKIN_BLOB(101) KVB_SKIN_BLOB(102) KVB_SKIN_BLOB(103) KVB_SKIN_BLOB(104) KVB_SKIN_BLOB(105)
KVB_SKIN_BLOB(106) KVB_SKIN_BLOB(107) KVB_SKIN_BLOB(108) KVB_SKIN_BLOB(109) KVB_SKIN_BLOB(110)
KVB_SKIN_BLOB(111) KVB_SKIN_BLOB(112) KVB_SKIN_BLOB(113) KVB_SKIN_BLOB(114) KVB_SKIN_BLOB(115)
KVB_SKIN_BLOB(116) KVB_SKIN_BLOB(117) KVB_SKIN_BLOB(118) KVB_SKIN_BLOB(119) KVB_SKIN_BLOB(120)
KVB_SKIN_BLOB(121) KVB_SKIN_BLOB(122) KVB_SKIN_BLOB(123) KVB_SKIN_BLOB(124) KVB_SKIN_BLOB(125)
KVB_SKIN_BLOB(126) KVB_SKIN_BLOB(127) KVB_SKIN_BLOB(128) KVB_SKIN_BLOB(129)
extern const std::uint64_t kvb_skin_sizes[] __attribute__((visibility("hidden")));
}

#undef KVB_SKIN_BLOB

namespace skin {

namespace {

const unsigned char* const kBlobs[kLastBitmapId - kFirstBitmapId + 1] = {
    kvb_skin_bmp101, kvb_skin_bmp102, kvb_skin_bmp103, kvb_skin_bmp104, kvb_skin_bmp105,
    kvb_skin_bmp106, kvb_skin_bmp107, kvb_skin_bmp108, kvb_skin_bmp109, kvb_skin_bmp110,
    kvb_skin_bmp111, kvb_skin_bmp112, kvb_skin_bmp113, kvb_skin_bmp114, kvb_skin_bmp115,
    kvb_skin_bmp116, kvb_skin_bmp117, kvb_skin_bmp118, kvb_skin_bmp119, kvb_skin_bmp120,
    kvb_skin_bmp121, kvb_skin_bmp122, kvb_skin_bmp123, kvb_skin_bmp124, kvb_skin_bmp125,
    kvb_skin_bmp126, kvb_skin_bmp127, kvb_skin_bmp128, kvb_skin_bmp129,
};

}  // namespace

Resource findBitmap(void* module, int id) {
    // Only this module carries these bitmaps; any other handle (another
    // library, or none) has no such resource.
    if (module == nullptr || module != hInstance) return {};
    if (id < kFirstBitmapId || id > kLastBitmapId) return {};
    const int index = id - kFirstBitmapId;
    return {kBlobs[index], static_cast<std::size_t>(kvb_skin_sizes[index])};
}

}  // namespace skin
