// Decoding of the skin packs (SkinPackFormat.h) and the process's one copy of
// each decoded scale. Every number in a pack is checked against the layout
// table and the buffer before it is used.
#include <zlib.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <cstring>
#include <new>
#include <map>
#include <mutex>
#include <utility>

#include "platform/Module.h"
#include "resources/SkinPackFormat.h"
#include "resources/SkinResources.h"

namespace skin {

namespace {

using namespace kvbeditor;

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

// Per byte, modulo 256.
std::uint32_t addBytes(std::uint32_t a, std::uint32_t b) {
    return (((a & 0x00FF00FFu) + (b & 0x00FF00FFu)) & 0x00FF00FFu) |
           (((a & 0xFF00FF00u) + (b & 0xFF00FF00u)) & 0xFF00FF00u);
}
std::uint32_t subBytes(std::uint32_t a, std::uint32_t b) {
    return (((a | 0xFF00FF00u) - (b & 0x00FF00FFu)) & 0x00FF00FFu) |
           (((a | 0x00FF00FFu) - (b & 0xFF00FF00u)) & 0xFF00FF00u);
}

struct Geometry {
    int width, frameHeight, frames, left, top;
};

// What the layout table says bitmap `id` is at `percent`.
Geometry expected(int id, int percent) {
    const ControlLayout* c = controlWithBitmap(id);
    if (!c) return {scaled(kEditorWidth, percent), scaled(kEditorHeight, percent), 1, 0, 0};
    return {scaled(c->right, percent) - scaled(c->left, percent),
            scaled(c->top + c->height, percent) - scaled(c->top, percent), c->frames,
            scaled(c->left, percent), scaled(c->top, percent)};
}

using Bytes = std::vector<unsigned char, PageAllocator<unsigned char>>;

bool inflateExactly(const unsigned char* in, std::size_t inSize, Bytes& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(inSize);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const bool ok = rc == Z_STREAM_END && z.total_out == out.size();
    inflateEnd(&z);
    return ok;
}

// Rows of spans into `rows` x `width` words 0x00RRGGBB (red and blue put back
// from their differences to green); false when a row runs past its end.
bool readSpans(const Bytes& plain, int width, int rows, std::uint32_t* out) {
    std::size_t at = 0;
    const std::size_t end = plain.size();
    for (int y = 0; y < rows; ++y) {
        if (end - at < 4) return false;
        const unsigned first = plain[at] | (unsigned(plain[at + 1]) << 8);
        const unsigned count = plain[at + 2] | (unsigned(plain[at + 3]) << 8);
        at += 4;
        if (first + count > static_cast<unsigned>(width) || (end - at) / 3 < count) return false;
        std::uint32_t* row = out + static_cast<std::size_t>(y) * width;
        std::memset(row, 0, sizeof(std::uint32_t) * static_cast<std::size_t>(width));
        for (unsigned x = first; x < first + count; ++x, at += 3) {
            const unsigned g = plain[at + 1];
            row[x] = (std::uint32_t((plain[at] + g) & 0xFF) << 16) | (std::uint32_t(g) << 8) |
                     std::uint32_t((plain[at + 2] + g) & 0xFF);
        }
    }
    return at == end;
}

bool decodeInto(const unsigned char* data, std::size_t size, int percent, Skin& skin) {
    if (!data || size < skinpack::kHeaderSize || std::memcmp(data, skinpack::kMagic, 8) != 0)
        return false;
    if (le32(data + 8) != static_cast<std::uint32_t>(percent) ||
        le32(data + 12) != static_cast<std::uint32_t>(kNumBitmaps))
        return false;
    if (scaleIndex(percent) < 0) return false;
    if ((size - skinpack::kHeaderSize) / skinpack::kEntrySize < static_cast<std::size_t>(kNumBitmaps))
        return false;
    skin.percent = percent;
    const Image* background = nullptr;
    Bytes plain;
    for (int n = 0; n < kNumBitmaps; ++n) {
        const unsigned char* e = data + skinpack::kHeaderSize + skinpack::kEntrySize * n;
        const int id = skinBitmapId(n);
        const Geometry g = expected(id, percent);
        const std::uint32_t reference = le32(e + 16), flags = le32(e + 20);
        const std::uint32_t offset = le32(e + 24), packed = le32(e + 28), plainSize = le32(e + 32);
        if (le32(e) != static_cast<std::uint32_t>(id) ||
            le32(e + 4) != static_cast<std::uint32_t>(g.width) ||
            le32(e + 8) != static_cast<std::uint32_t>(g.frameHeight) ||
            le32(e + 12) != static_cast<std::uint32_t>(g.frames))
            return false;
        if (offset > size || packed > size - offset || (flags & ~skinpack::kFrameDelta) != 0)
            return false;
        const bool isBackground = id == kBackgroundBitmap;
        // Every strip is stored against the background, which comes first.
        if (isBackground != (background == nullptr)) return false;
        const Image* ref = nullptr;
        if (reference != 0) {
            const int r = skinBitmapIndex(static_cast<int>(reference));
            if (r < 0 || r >= n || isBackground) return false;
            const Geometry rg = expected(static_cast<int>(reference), percent);
            if (rg.width != g.width || rg.frameHeight != g.frameHeight || rg.frames != g.frames)
                return false;
            ref = &skin.images[r];
        }
        const int rows = g.frameHeight * g.frames;
        const std::size_t words = static_cast<std::size_t>(g.width) * rows;
        if (plainSize > static_cast<std::size_t>(rows) * (4 + 3 * static_cast<std::size_t>(g.width)))
            return false;
        plain.resize(plainSize);
        if (!inflateExactly(data + offset, packed, plain)) return false;
        Image& img = skin.images[n];
        img.width = g.width;
        img.height = rows;
        img.pixels.resize(words);
        std::uint32_t* px = img.pixels.data();
        if (!readSpans(plain, g.width, rows, px)) return false;

        if (isBackground) {
            for (int y = 0; y < rows; ++y) {
                std::uint32_t* row = px + static_cast<std::size_t>(y) * g.width;
                for (int x = 1; x < g.width; ++x) row[x] = addBytes(row[x], row[x - 1]);
            }
            for (std::size_t k = 0; k < words; ++k) px[k] |= 0xFF000000u;
            background = &img;
            continue;
        }
        const std::size_t frameWords = static_cast<std::size_t>(g.width) * g.frameHeight;
        if (flags & skinpack::kFrameDelta)
            for (std::size_t k = frameWords; k < words; ++k) px[k] = addBytes(px[k], px[k - frameWords]);
        const Geometry rg = ref ? expected(static_cast<int>(reference), percent) : g;
        const int bgWidth = background->width;
        for (int f = 0; f < g.frames; ++f)
            for (int y = 0; y < g.frameHeight; ++y) {
                const std::size_t rowAt = (static_cast<std::size_t>(f) * g.frameHeight + y) * g.width;
                const std::uint32_t* under =
                    background->pixels.data() + static_cast<std::size_t>(g.top + y) * bgWidth + g.left;
                const std::uint32_t* refUnder =
                    background->pixels.data() + static_cast<std::size_t>(rg.top + y) * bgWidth + rg.left;
                for (int x = 0; x < g.width; ++x) {
                    std::uint32_t v = px[rowAt + x];
                    // The reference strip's own difference from its background.
                    if (ref) v = addBytes(v, subBytes(ref->pixels[rowAt + x], refUnder[x]));
                    px[rowAt + x] = addBytes(v, under[x]) | 0xFF000000u;
                }
            }
    }
    return true;
}

}  // namespace

void* allocatePages(std::size_t bytes) {
    if (bytes == 0) bytes = 1;
#if defined(_WIN32)
    void* p = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!p) throw std::bad_alloc();
#else
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#endif
    return p;
}

void freePages(void* p, std::size_t bytes) {
    if (!p) return;
#if defined(_WIN32)
    (void)bytes;
    VirtualFree(p, 0, MEM_RELEASE);
#else
    munmap(p, bytes == 0 ? 1 : bytes);
#endif
}

const Image* Skin::image(int id) const {
    const int n = skinBitmapIndex(id);
    return n < 0 ? nullptr : &images[n];
}

bool decodePack(const unsigned char* data, std::size_t size, int percent, Skin& out) {
    out = Skin{};
    Skin skin;
    if (!decodeInto(data, size, percent, skin)) return false;
    out = std::move(skin);
    return true;
}

std::shared_ptr<const Skin> sharedSkin(void* module, int percent) {
    static std::mutex lock;
    static std::map<std::pair<void*, int>, std::weak_ptr<const Skin>> decoded;
    std::lock_guard<std::mutex> guard(lock);
    std::weak_ptr<const Skin>& slot = decoded[{module, percent}];
    if (std::shared_ptr<const Skin> held = slot.lock()) return held;
    const Resource r = findPack(module, percent);
    if (!r.data) return nullptr;
    auto skin = std::make_shared<Skin>();
    if (!decodeInto(r.data, r.size, percent, *skin)) return nullptr;
    slot = skin;
    return skin;
}

bool ModuleSkin::loadBitmap(long id, int percent, VSTGUI::SharedPixels& out) const {
    // An editor is about to be shown: from here on the libraries it draws
    // with are loaded, and must not be unloaded and loaded again with every
    // reload of the module (they leak each time).
    kvbplatform::keepModuleLoaded(module);
    std::shared_ptr<const Skin> skin = sharedSkin(module, percent);
    const Image* image = skin ? skin->image(static_cast<int>(id)) : nullptr;
    if (!image || image->pixels.empty()) return false;
    out.width = image->width;
    out.height = image->height;
    // Holds the whole skin for as long as the bitmap lives.
    out.pixels = std::shared_ptr<const std::uint32_t>(skin, image->pixels.data());
    return true;
}

}  // namespace skin
