// The skin bitmaps on Windows: BITMAP resources of the module, bound by
// skin.rc (which the skin generator writes from the layout table). A bitmap
// resource holds the .bmp file without its 14-byte file header; the lookup
// puts the header back so that callers get the same complete file on every
// platform.
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "editor/Layout.h"
#include "resources/SkinResources.h"

namespace skin {

namespace {

constexpr int kCount = kvbeditor::kNumBitmaps;

struct Cache {
    std::mutex mutex;
    std::array<void*, kCount> module{};
    std::array<std::vector<unsigned char>, kCount> file;
};

Cache& cache() {
    static Cache c;
    return c;
}

void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

Resource findBitmap(void* module, int id) {
    const int index = kvbeditor::skinBitmapIndex(id);
    if (module == nullptr || index < 0) return {};
    HMODULE hmod = static_cast<HMODULE>(module);
    HRSRC res = FindResourceW(hmod, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    if (res == nullptr) return {};
    const DWORD dibSize = SizeofResource(hmod, res);
    HGLOBAL handle = LoadResource(hmod, res);
    const auto* dib = handle ? static_cast<const unsigned char*>(LockResource(handle)) : nullptr;
    if (dib == nullptr || dibSize < 40) return {};

    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    std::vector<unsigned char>& file = c.file[index];
    if (c.module[index] != module || file.empty()) {
        // Pixels follow the info header (no colour table at 24 and 32 bits).
        std::uint32_t infoSize = 0;
        std::memcpy(&infoSize, dib, 4);
        if (infoSize > dibSize) return {};
        file.assign(14 + dibSize, 0);
        file[0] = 'B';
        file[1] = 'M';
        put32(file.data() + 2, static_cast<std::uint32_t>(file.size()));
        put32(file.data() + 10, 14 + infoSize);
        std::memcpy(file.data() + 14, dib, dibSize);
        c.module[index] = module;
    }
    return {file.data(), file.size()};
}

}  // namespace skin
