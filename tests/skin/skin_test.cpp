// The skin as the editor meets it: the layout table's bitmaps at every scale,
// found through the module handle and decoded from their packs, their sizes
// and frame layouts, the decoder's handling of damaged packs, one decoded
// copy per process, and the properties the opaque frame copies depend on.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "editor/Layout.h"
#include "platform/Module.h"
#include "resources/SkinPackFormat.h"
#include "resources/SkinResources.h"

namespace {

using kvbeditor::kScalePercents;
using kvbeditor::scaled;

enum class Use { Background, Knob, Switch, Meter };

struct Expected {
    int id;
    int width, height, frames;  // height: the whole strip
    int left, top;              // where the editor places the control
    Use use;
};

// Sizes and frame counts of the editor's bitmaps at `percent`, and the
// position of the control that shows each, from the layout table: a
// background of the window's size, and for each control a strip of its
// frames, every edge of the 100 % rectangle scaled and rounded on its own.
std::vector<Expected> expectedSkin(int percent) {
    using namespace kvbeditor;
    std::vector<Expected> out;
    for (int n = 0; n < kNumBitmaps; ++n) {
        const int id = skinBitmapId(n);
        const ControlLayout* c = controlWithBitmap(id);
        if (!c) {
            out.push_back({id, scaled(kEditorWidth, percent), scaled(kEditorHeight, percent), 1, 0,
                           0, Use::Background});
            continue;
        }
        const Use use = c->kind == ViewKind::Knob     ? Use::Knob
                        : c->kind == ViewKind::Switch ? Use::Switch
                                                      : Use::Meter;
        const int fh = scaled(c->top + c->height, percent) - scaled(c->top, percent);
        out.push_back({id, scaled(c->right, percent) - scaled(c->left, percent), fh * c->frames,
                       c->frames, scaled(c->left, percent), scaled(c->top, percent), use});
    }
    return out;
}

std::uint32_t pixel(const skin::Image& img, int x, int y) {
    return img.pixels[static_cast<std::size_t>(y) * img.width + x];
}

// Pixels of frame `f` that differ from the panel under the control.
int pixelsOffPanel(const skin::Image& strip, const Expected& e, int f, const skin::Image& panel) {
    const int fh = e.height / e.frames;
    int n = 0;
    for (int y = 0; y < fh; ++y)
        for (int x = 0; x < e.width; ++x)
            if ((pixel(strip, x, f * fh + y) & 0xFFFFFF) !=
                (pixel(panel, e.left + x, e.top + y) & 0xFFFFFF))
                ++n;
    return n;
}

bool framesEqual(const skin::Image& strip, int fh, int a, int b) {
    for (int y = 0; y < fh; ++y)
        for (int x = 0; x < strip.width; ++x)
            if (pixel(strip, x, a * fh + y) != pixel(strip, x, b * fh + y)) return false;
    return true;
}

// ---------------------------------------------------------------------------
// Lookup through the module handle, and the one decoded copy

TEST(SkinLookup, EveryScaleDecodesEveryBitmapAtItsSize) {
    ASSERT_NE(hInstance, nullptr);
    for (int percent : kScalePercents) {
        SCOPED_TRACE("scale " + std::to_string(percent));
        const auto held = skin::sharedSkin(hInstance, percent);
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(held->percent, percent);
        for (const Expected& e : expectedSkin(percent)) {
            const skin::Image* img = held->image(e.id);
            ASSERT_NE(img, nullptr) << e.id;
            EXPECT_EQ(img->width, e.width) << e.id;
            EXPECT_EQ(img->height, e.height) << e.id;
            EXPECT_EQ(img->pixels.size(), std::size_t(e.width) * e.height) << e.id;
            // Every control fits in the window at its scaled place.
            EXPECT_LE(e.left + e.width, scaled(kvbeditor::kEditorWidth, percent));
            EXPECT_LE(e.top + e.height / e.frames, scaled(kvbeditor::kEditorHeight, percent));
        }
    }
}

TEST(SkinLookup, OneDecodedCopyPerScaleWhileHeldAndNoneAfter) {
    std::weak_ptr<const skin::Skin> gone;
    {
        const auto a = skin::sharedSkin(hInstance, 150);
        const auto b = skin::sharedSkin(hInstance, 150);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a.get(), b.get());
        EXPECT_NE(skin::sharedSkin(hInstance, 100).get(), a.get());
        gone = a;
    }
    EXPECT_TRUE(gone.expired()) << "the last holder frees the decoded skin";
}

TEST(SkinLookup, UnknownScalesAndForeignModulesHaveNoSkin) {
    for (int percent : {0, 99, 101, 120, 300, -100}) {
        EXPECT_EQ(skin::findPack(hInstance, percent).data, nullptr) << percent;
        EXPECT_EQ(skin::sharedSkin(hInstance, percent), nullptr) << percent;
    }
    int other = 0;
    for (void* module : {static_cast<void*>(nullptr), static_cast<void*>(&other)}) {
        const skin::Resource r = skin::findPack(module, 100);
        EXPECT_EQ(r.data, nullptr);
        EXPECT_EQ(r.size, 0u);
    }
    const auto held = skin::sharedSkin(hInstance, 100);
    ASSERT_NE(held, nullptr);
    for (int id : {100, 130, 0, -1, 1000}) EXPECT_EQ(held->image(id), nullptr) << id;
}

TEST(SkinLookup, TheSkinIsStoredCompressed) {
    // What all the scales take in the module, against their pixels as
    // three bytes each: the binaries stay small (6 MB at most, code included).
    std::size_t packed = 0, plain = 0;
    for (int percent : kScalePercents) {
        packed += skin::findPack(hInstance, percent).size;
        for (const Expected& e : expectedSkin(percent)) plain += std::size_t(e.width) * e.height * 3;
    }
    EXPECT_GT(plain, 200u << 20);
    EXPECT_LT(packed, std::size_t(5200000));
}

#ifdef KVB_SKIN_GENERATOR_PATH
TEST(SkinLookup, EmbeddedPacksAreWhatTheGeneratorDrawsEveryTime) {
    // Two fresh runs of the generator: the output is byte-for-byte repeatable
    // and matches what the build linked in.
    for (int run = 0; run < 2; ++run) {
        const std::string dir = ::testing::TempDir() + "kvb_skin_run" + std::to_string(run);
        const std::string cmd =
            "mkdir -p '" + dir + "' && '" KVB_SKIN_GENERATOR_PATH "' '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        for (int percent : kScalePercents) {
            std::ifstream f(dir + "/skin" + std::to_string(percent) + ".pack", std::ios::binary);
            ASSERT_TRUE(f.good()) << percent;
            const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(f)),
                                                   std::istreambuf_iterator<char>());
            const skin::Resource r = skin::findPack(hInstance, percent);
            ASSERT_EQ(bytes.size(), r.size) << percent;
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), r.data)) << percent;
        }
        std::system(("rm -rf '" + dir + "'").c_str());
    }
}
#endif

// ---------------------------------------------------------------------------
// Decoder

std::vector<unsigned char> packOf(int percent) {
    const skin::Resource r = skin::findPack(hInstance, percent);
    return std::vector<unsigned char>(r.data, r.data + r.size);
}

std::uint32_t get32le(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) | (std::uint32_t(b[at + 2]) << 16) |
           (std::uint32_t(b[at + 3]) << 24);
}

void put32le(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

TEST(PackDecode, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    const auto pack = packOf(100);
    ASSERT_FALSE(pack.empty());
    skin::Skin out;
    ASSERT_TRUE(skin::decodePack(pack.data(), pack.size(), 100, out));
    EXPECT_FALSE(skin::decodePack(pack.data(), pack.size(), 125, out)) << "another scale's sizes";
    EXPECT_EQ(out.images[0].width, 0);
    // Exactly sized copies, so that a read past the end shows up under a
    // memory checker: the headers byte by byte, then cuts through the data.
    std::vector<std::size_t> cuts;
    for (std::size_t n = 0; n < 16 + 36 * 3; ++n) cuts.push_back(n);
    for (std::size_t n : {pack.size() / 3, pack.size() / 2, pack.size() - 100, pack.size() - 1})
        cuts.push_back(n);
    for (std::size_t n : cuts) {
        std::vector<unsigned char> cut(pack.begin(), pack.begin() + static_cast<long>(n));
        EXPECT_FALSE(skin::decodePack(cut.data(), cut.size(), 100, out)) << n;
        EXPECT_TRUE(out.images[0].pixels.empty()) << n;
    }
    EXPECT_FALSE(skin::decodePack(nullptr, 100, 100, out));
}

TEST(PackDecode, DamagedHeadersEntriesAndStreamsAreRefused) {
    const auto good = packOf(100);
    ASSERT_FALSE(good.empty());
    const std::size_t entry1 = skinpack::kHeaderSize + skinpack::kEntrySize;  // the first strip
    const std::size_t entry5 = skinpack::kHeaderSize + skinpack::kEntrySize * 5;
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"magic", 0, 0x5542564Bu},
        {"scale", 8, 125},
        {"count", 12, 28},
        {"first id", skinpack::kHeaderSize, 102},
        {"background width", skinpack::kHeaderSize + 4, 1099},
        {"strip width", entry1 + 4, 118},
        {"frame height", entry1 + 8, 120},
        {"frames", entry1 + 12, 23},
        {"reference to itself", entry1 + 16, 102},
        {"reference to a later strip", entry1 + 16, 103},
        {"reference to the background", entry1 + 16, 101},
        {"reference of another size", entry5 + 16, 102},
        {"unknown flag", entry1 + 20, 2},
        {"offset past the end", entry1 + 24, 0xFFFFFF00u},
        {"size past the end", entry1 + 28, 0x7FFFFFFFu},
        {"plain size short", entry1 + 32, get32le(good, entry1 + 32) - 1},
        {"plain size long", entry1 + 32, get32le(good, entry1 + 32) + 1},
        {"plain size beyond any rows", entry1 + 32, 0xFFFFFFF0u},
    };
    for (const Case& c : cases) {
        auto pack = good;
        put32le(pack, c.at, c.value);
        skin::Skin out;
        EXPECT_FALSE(skin::decodePack(pack.data(), pack.size(), 100, out)) << c.what;
        EXPECT_TRUE(out.images[0].pixels.empty()) << c.what;
    }
    // A flipped byte inside a stream: zlib's check catches it.
    auto pack = good;
    pack[get32le(good, entry1 + 24) + get32le(good, entry1 + 28) / 2] ^= 0x5A;
    skin::Skin out;
    EXPECT_FALSE(skin::decodePack(pack.data(), pack.size(), 100, out));
}

TEST(PackDecode, RowsThatRunPastTheirEndAreRefused) {
    // A valid stream whose first row claims more pixels than the row has.
    auto pack = packOf(100);
    const std::size_t entry = skinpack::kHeaderSize;  // the background
    const std::uint32_t width = get32le(pack, entry + 4), rows = get32le(pack, entry + 8);
    std::vector<unsigned char> plain;
    for (std::uint32_t y = 0; y < rows; ++y) {
        const std::uint32_t first = y == 0 ? 5 : 0, count = y == 0 ? width - 4 : 0;
        plain.insert(plain.end(), {static_cast<unsigned char>(first), static_cast<unsigned char>(first >> 8),
                                   static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8)});
        plain.insert(plain.end(), count * 3, 0);
    }
    std::vector<unsigned char> z(compressBound(plain.size()));
    uLongf zs = z.size();
    ASSERT_EQ(compress(z.data(), &zs, plain.data(), plain.size()), Z_OK);
    // In place of the background's stream, at the end.
    put32le(pack, entry + 24, static_cast<std::uint32_t>(pack.size()));
    put32le(pack, entry + 28, static_cast<std::uint32_t>(zs));
    put32le(pack, entry + 32, static_cast<std::uint32_t>(plain.size()));
    pack.insert(pack.end(), z.begin(), z.begin() + static_cast<long>(zs));
    skin::Skin out;
    EXPECT_FALSE(skin::decodePack(pack.data(), pack.size(), 100, out));
}

// ---------------------------------------------------------------------------
// What the frames must look like

// Every scale, one at a time.
class SkinLook : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        held = skin::sharedSkin(hInstance, GetParam());
        ASSERT_NE(held, nullptr);
        kSkin = expectedSkin(GetParam());
    }
    const skin::Image& image(int id) { return *held->image(id); }
    std::shared_ptr<const skin::Skin> held;
    std::vector<Expected> kSkin;
};
INSTANTIATE_TEST_SUITE_P(Scales, SkinLook, ::testing::ValuesIn(kScalePercents));

TEST_P(SkinLook, ControlImagesAreOpaque) {
    for (const Expected& e : kSkin) {
        const skin::Image& img = image(e.id);
        int translucent = 0;
        for (std::uint32_t p : img.pixels) translucent += (p >> 24) != 0xFF;
        EXPECT_EQ(translucent, 0) << e.id;
    }
}

TEST_P(SkinLook, EveryFrameEdgeMatchesThePanelUnderTheControl) {
    // The editor copies frames opaquely over the background: the outermost
    // pixels of each frame must be the panel's own, or the control shows as
    // a box.
    const skin::Image& panel = image(kvbeditor::kBackgroundBitmap);
    for (const Expected& e : kSkin) {
        if (e.use == Use::Background) continue;
        const skin::Image& strip = image(e.id);
        const int fh = e.height / e.frames;
        for (int f = 0; f < e.frames; ++f) {
            int mismatches = 0;
            for (int y = 0; y < fh; ++y) {
                for (int x = 0; x < e.width; ++x) {
                    if (y != 0 && y != fh - 1 && x != 0 && x != e.width - 1) continue;
                    const std::uint32_t want = pixel(panel, e.left + x, e.top + y) & 0xFFFFFF;
                    if ((pixel(strip, x, f * fh + y) & 0xFFFFFF) != want) ++mismatches;
                }
            }
            EXPECT_EQ(mismatches, 0) << "bitmap " << e.id << " frame " << f;
        }
    }
}

TEST_P(SkinLook, EveryKnobFrameShowsADifferentPosition) {
    for (const Expected& e : kSkin) {
        if (e.use != Use::Knob) continue;
        const skin::Image& strip = image(e.id);
        const int fh = e.height / e.frames;
        for (int f = 1; f < e.frames; ++f)
            EXPECT_FALSE(framesEqual(strip, fh, f - 1, f)) << "bitmap " << e.id << " frame " << f;
        // And the knob is drawn, not just the panel.
        EXPECT_GT(pixelsOffPanel(strip, e, 0, image(kvbeditor::kBackgroundBitmap)), 100) << e.id;
    }
}

TEST_P(SkinLook, SwitchStatesAreClearlyDifferent) {
    for (const Expected& e : kSkin) {
        if (e.use != Use::Switch) continue;
        const skin::Image& strip = image(e.id);
        const int fh = e.height / e.frames;
        int changed = 0;
        for (int y = 0; y < fh; ++y)
            for (int x = 0; x < e.width; ++x) changed += pixel(strip, x, y) != pixel(strip, x, fh + y);
        // More than a hint: a visible share of the control changes.
        EXPECT_GT(changed, 60 * GetParam() / 100) << e.id;
    }
}

TEST_P(SkinLook, MeterNeedleMovesEveryHalfDecibelFromLeftToRest) {
    const skin::Image& panel = image(kvbeditor::kBackgroundBitmap);
    for (int id : {117, 118}) {
        const Expected& e = *std::find_if(kSkin.begin(), kSkin.end(),
                                          [id](const Expected& x) { return x.id == id; });
        const skin::Image& strip = image(id);
        const int fh = e.height / e.frames;
        EXPECT_FALSE(framesEqual(strip, fh, 0, 60)) << id;
        // Horizontal centre of the needle: where the frame differs from the
        // panel. Frame 0 (30 dB or more) lies left, frame 60 (rest) right, and
        // every frame moves it further right.
        double previous = -1.0;
        for (int f = 0; f < e.frames; ++f) {
            double sum = 0;
            int count = 0;
            for (int y = 0; y < fh; ++y)
                for (int x = 0; x < e.width; ++x)
                    if ((pixel(strip, x, f * fh + y) & 0xFFFFFF) !=
                        (pixel(panel, e.left + x, e.top + y) & 0xFFFFFF)) {
                        sum += x;
                        ++count;
                    }
            ASSERT_GT(count, 0) << "no needle in frame " << f;
            const double centre = sum / count;
            EXPECT_GT(centre, previous) << id << " frame " << f;
            previous = centre;
            if (f == 0) {
                EXPECT_LT(centre, e.width / 2.0) << id;
            }
            if (f == 60) {
                EXPECT_GT(centre, e.width / 2.0) << id;
            }
        }
    }
}

TEST_P(SkinLook, LabelRectanglesAreLeftPlain) {
    // The editor draws the caption and status labels there; the panel keeps
    // them free of print so nothing shows around the labels' edges.
    const skin::Image& panel = image(kvbeditor::kBackgroundBitmap);
    struct Rect {
        int l, t, r, b;
    };
    for (const kvbeditor::LabelLayout& label : {kvbeditor::kCaptionLabel, kvbeditor::kStatusLabel}) {
        const int k = GetParam();
        const Rect rc{scaled(label.left, k), scaled(label.top, k), scaled(label.right, k),
                      scaled(label.bottom, k)};
        int lo = 255 * 3, hi = 0;
        for (int y = rc.t; y < rc.b; ++y)
            for (int x = rc.l; x < rc.r; ++x) {
                const std::uint32_t p = pixel(panel, x, y);
                const int lum = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
                lo = std::min(lo, lum);
                hi = std::max(hi, lum);
            }
        EXPECT_LT(hi - lo, 40) << "print inside label rectangle at " << rc.l << "," << rc.t;
    }
}

}  // namespace
