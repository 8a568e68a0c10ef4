// The skin as the editor meets it: the layout table's bitmaps found through
// the module handle, their sizes and frame layouts, the decoder's handling of good and
// bad files, and the properties the opaque frame copies depend on.
#include <gtest/gtest.h>

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
#include "resources/SkinResources.h"

namespace {

enum class Use { Background, Knob, Switch, Meter };

struct Expected {
    int id;
    int width, height, bpp, frames;
    int left, top;  // where the editor places the control
    Use use;
};

// Sizes, depths and frame counts of the editor's bitmaps, and the position of
// the control that shows each, from the layout table: a 24-bit background of
// the window's size, and for each control a 32-bit strip of its frames.
std::vector<Expected> expectedSkin() {
    using namespace kvbeditor;
    std::vector<Expected> out;
    for (int n = 0; n < kNumBitmaps; ++n) {
        const int id = skinBitmapId(n);
        const ControlLayout* c = controlWithBitmap(id);
        if (!c) {
            out.push_back({id, kEditorWidth, kEditorHeight, 24, 1, 0, 0, Use::Background});
            continue;
        }
        const Use use = c->kind == ViewKind::Knob     ? Use::Knob
                        : c->kind == ViewKind::Switch ? Use::Switch
                                                      : Use::Meter;
        out.push_back({id, c->width, c->height * c->frames, 32, c->frames, c->left, c->top, use});
    }
    return out;
}

const std::vector<Expected> kSkin = expectedSkin();

// Decoded skin, loaded once through the same path the widget layer uses.
const std::map<int, skin::Image>& decodedSkin() {
    static const std::map<int, skin::Image> images = [] {
        std::map<int, skin::Image> m;
        for (const Expected& e : kSkin) {
            const skin::Resource r = skin::findBitmap(hInstance, e.id);
            skin::Image img;
            if (r.data && skin::decodeBmp(r.data, r.size, img)) m[e.id] = std::move(img);
        }
        return m;
    }();
    return images;
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
// Lookup through the module handle

TEST(SkinLookup, EveryBitmapIsInTheModuleWithItsSizeDepthAndFrames) {
    ASSERT_NE(hInstance, nullptr);
    for (const Expected& e : kSkin) {
        SCOPED_TRACE("bitmap " + std::to_string(e.id));
        const skin::Resource r = skin::findBitmap(hInstance, e.id);
        ASSERT_NE(r.data, nullptr);
        const std::size_t stride = ((static_cast<std::size_t>(e.width) * e.bpp + 31) / 32) * 4;
        EXPECT_EQ(r.size, 54 + stride * e.height);  // headers + uncompressed rows
        skin::Image img;
        ASSERT_TRUE(skin::decodeBmp(r.data, r.size, img));
        EXPECT_EQ(img.width, e.width);
        EXPECT_EQ(img.height, e.height);
        EXPECT_EQ(img.bitsPerPixel, e.bpp);
        EXPECT_EQ(img.height % e.frames, 0) << "frames must be equally tall";
        // The controls fit in the window.
        EXPECT_LE(e.left + e.width, 1100);
        EXPECT_LE(e.top + e.height / e.frames, 616);
    }
}

TEST(SkinLookup, UnknownIdsAndForeignModulesHaveNoBitmaps) {
    for (int id : {100, 130, 0, -1, 1000}) {
        const skin::Resource r = skin::findBitmap(hInstance, id);
        EXPECT_EQ(r.data, nullptr) << id;
        EXPECT_EQ(r.size, 0u) << id;
    }
    int other = 0;
    for (void* module : {static_cast<void*>(nullptr), static_cast<void*>(&other)}) {
        const skin::Resource r = skin::findBitmap(module, kvbeditor::kBackgroundBitmap);
        EXPECT_EQ(r.data, nullptr);
        EXPECT_EQ(r.size, 0u);
    }
}

#ifdef KVB_SKIN_GENERATOR_PATH
TEST(SkinLookup, EmbeddedBytesAreWhatTheGeneratorDrawsEveryTime) {
    // Two fresh runs of the generator: the output is byte-for-byte repeatable
    // and matches what the build linked in.
    for (int run = 0; run < 2; ++run) {
        const std::string dir = ::testing::TempDir() + "kvb_skin_run" + std::to_string(run);
        const std::string cmd =
            "mkdir -p '" + dir + "' && '" KVB_SKIN_GENERATOR_PATH "' '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        for (const Expected& e : kSkin) {
            std::ifstream f(dir + "/bmp" + std::to_string(e.id) + ".bmp", std::ios::binary);
            ASSERT_TRUE(f.good()) << e.id;
            const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(f)),
                                                   std::istreambuf_iterator<char>());
            const skin::Resource r = skin::findBitmap(hInstance, e.id);
            ASSERT_EQ(bytes.size(), r.size) << e.id;
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), r.data)) << e.id;
        }
        std::system(("rm -rf '" + dir + "'").c_str());
    }
}
#endif

// ---------------------------------------------------------------------------
// Decoder

// A hand-made bitmap: BITMAPFILEHEADER, BITMAPINFOHEADER, rows as given.
std::vector<unsigned char> makeBmp(int width, int height, int bpp,
                                   const std::vector<unsigned char>& rows,
                                   std::uint32_t compression = 0) {
    std::vector<unsigned char> b;
    auto p16 = [&](std::uint32_t v) {
        b.push_back(v & 0xFF);
        b.push_back((v >> 8) & 0xFF);
    };
    auto p32 = [&](std::uint32_t v) {
        p16(v & 0xFFFF);
        p16(v >> 16);
    };
    b.push_back('B');
    b.push_back('M');
    p32(54 + static_cast<std::uint32_t>(rows.size()));
    p32(0);
    p32(54);
    p32(40);
    p32(static_cast<std::uint32_t>(width));
    p32(static_cast<std::uint32_t>(height));
    p16(1);
    p16(static_cast<std::uint32_t>(bpp));
    p32(compression);
    p32(static_cast<std::uint32_t>(rows.size()));
    p32(2835);
    p32(2835);
    p32(0);
    p32(0);
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

void put32le(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// 3 x 2, 24 bits: rows of 9 bytes padded to 12, bottom row stored first.
std::vector<unsigned char> small24() {
    return makeBmp(3, 2, 24,
                   {// bottom row: blue, green, red
                    0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0xEE, 0xEE, 0xEE,
                    // top row: white, black, grey 0x123456
                    0xFF, 0xFF, 0xFF, 0, 0, 0, 0x56, 0x34, 0x12, 0xEE, 0xEE, 0xEE});
}

TEST(BmpDecode, BottomUpTwentyFourBitRowsComeOutTopFirstAndOpaque) {
    const auto bmp = small24();
    skin::Image img;
    ASSERT_TRUE(skin::decodeBmp(bmp.data(), bmp.size(), img));
    EXPECT_EQ(img.width, 3);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(img.bitsPerPixel, 24);
    const std::vector<std::uint32_t> want = {0xFFFFFFFF, 0xFF000000, 0xFF123456,
                                             0xFF0000FF, 0xFF00FF00, 0xFFFF0000};
    EXPECT_EQ(img.pixels, want);
}

TEST(BmpDecode, TopDownThirtyTwoBitKeepsRowOrderAndAlpha) {
    auto bmp = makeBmp(2, -2, 32,
                       {1, 2, 3, 4, 5, 6, 7, 8,  // first stored row is the top row
                        9, 10, 11, 12, 13, 14, 15, 16});
    skin::Image img;
    ASSERT_TRUE(skin::decodeBmp(bmp.data(), bmp.size(), img));
    EXPECT_EQ(img.height, 2);
    const std::vector<std::uint32_t> want = {0x04030201, 0x08070605, 0x0C0B0A09, 0x100F0E0D};
    EXPECT_EQ(img.pixels, want);
}

TEST(BmpDecode, LastRowNeedsNoPadding) {
    // Some writers drop the padding after the final row; the pixels are all there.
    auto bmp = small24();
    bmp.resize(bmp.size() - 3);
    skin::Image img;
    EXPECT_TRUE(skin::decodeBmp(bmp.data(), bmp.size(), img));
    bmp.resize(bmp.size() - 1);
    EXPECT_FALSE(skin::decodeBmp(bmp.data(), bmp.size(), img));
}

TEST(BmpDecode, EveryTruncationIsRefused) {
    const auto bmp = small24();
    const std::size_t lastNeeded = bmp.size() - 3;  // the final row's padding may go
    for (std::size_t n = 0; n < lastNeeded; ++n) {
        // Copy into an exactly sized buffer so that a read past the end shows
        // up under a memory checker.
        std::vector<unsigned char> cut(bmp.begin(), bmp.begin() + n);
        skin::Image img;
        img.width = 7;
        EXPECT_FALSE(skin::decodeBmp(cut.data(), cut.size(), img)) << n;
        EXPECT_EQ(img.width, 0);
        EXPECT_TRUE(img.pixels.empty());
    }
    // A real skin image cut short.
    const skin::Resource r = skin::findBitmap(hInstance, 117);
    ASSERT_NE(r.data, nullptr);
    skin::Image img;
    for (std::size_t n : {std::size_t(0), std::size_t(13), std::size_t(53), std::size_t(54),
                          r.size / 2, r.size - 1}) {
        EXPECT_FALSE(skin::decodeBmp(r.data, n, img)) << n;
    }
    EXPECT_FALSE(skin::decodeBmp(nullptr, 100, img));
}

TEST(BmpDecode, CorruptOrUnsupportedHeadersAreRefused) {
    const auto good = small24();
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint32_t value;
        int bytes;
    };
    const Case cases[] = {
        {"magic", 0, 'X', 1},
        {"pixel offset inside the headers", 10, 20, 4},
        {"pixel offset past the end", 10, 0xFFFFFFF0u, 4},
        {"pixel offset pushing rows past the end", 10, 58, 4},
        {"core header size", 14, 12, 4},
        {"header larger than the file", 14, 4000, 4},
        {"zero width", 18, 0, 4},
        {"negative width", 18, 0xFFFFFFFDu, 4},
        {"huge width", 18, 0x7FFFFFFFu, 4},
        {"zero height", 22, 0, 4},
        {"most negative height", 22, 0x80000000u, 4},
        {"height beyond the data", 22, 3, 4},
        {"planes", 26, 2, 2},
        {"16 bits per pixel", 28, 16, 2},
        {"8 bits per pixel", 28, 8, 2},
        {"run-length compression", 30, 1, 4},
        {"bit-field compression", 30, 3, 4},
    };
    for (const Case& c : cases) {
        auto bmp = good;
        if (c.bytes == 1) {
            bmp[c.offset] = static_cast<unsigned char>(c.value);
        } else if (c.bytes == 2) {
            bmp[c.offset] = c.value & 0xFF;
            bmp[c.offset + 1] = (c.value >> 8) & 0xFF;
        } else {
            put32le(bmp, c.offset, c.value);
        }
        skin::Image img;
        EXPECT_FALSE(skin::decodeBmp(bmp.data(), bmp.size(), img)) << c.what;
        EXPECT_TRUE(img.pixels.empty()) << c.what;
    }
    // Dimensions whose product overflows 32 bits while each looks modest.
    auto bmp = good;
    put32le(bmp, 18, 70000);
    put32le(bmp, 22, 70000);
    skin::Image img;
    EXPECT_FALSE(skin::decodeBmp(bmp.data(), bmp.size(), img));
}

// ---------------------------------------------------------------------------
// What the frames must look like

class SkinLook : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(decodedSkin().size(), std::size(kSkin)) << "not every bitmap decodes";
    }
    const skin::Image& image(int id) { return decodedSkin().at(id); }
};

TEST_F(SkinLook, ControlImagesAreOpaque) {
    for (const Expected& e : kSkin) {
        if (e.bpp != 32) continue;
        const skin::Image& img = image(e.id);
        int translucent = 0;
        for (std::uint32_t p : img.pixels) translucent += (p >> 24) != 0xFF;
        EXPECT_EQ(translucent, 0) << e.id;
    }
}

TEST_F(SkinLook, EveryFrameEdgeMatchesThePanelUnderTheControl) {
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

TEST_F(SkinLook, EveryKnobFrameShowsADifferentPosition) {
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

TEST_F(SkinLook, SwitchStatesAreClearlyDifferent) {
    for (const Expected& e : kSkin) {
        if (e.use != Use::Switch) continue;
        const skin::Image& strip = image(e.id);
        const int fh = e.height / e.frames;
        int changed = 0;
        for (int y = 0; y < fh; ++y)
            for (int x = 0; x < e.width; ++x) changed += pixel(strip, x, y) != pixel(strip, x, fh + y);
        // More than a hint: a visible share of the control changes.
        EXPECT_GT(changed, 60) << e.id;
    }
}

TEST_F(SkinLook, MeterNeedleMovesEveryHalfDecibelFromLeftToRest) {
    const skin::Image& panel = image(kvbeditor::kBackgroundBitmap);
    for (int id : {117, 118}) {
        const Expected& e = *std::find_if(std::begin(kSkin), std::end(kSkin),
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

TEST_F(SkinLook, LabelRectanglesAreLeftPlain) {
    // The editor draws the caption and status labels there; the panel keeps
    // them free of print so nothing shows around the labels' edges.
    const skin::Image& panel = image(kvbeditor::kBackgroundBitmap);
    struct Rect {
        int l, t, r, b;
    };
    for (const kvbeditor::LabelLayout& label : {kvbeditor::kCaptionLabel, kvbeditor::kStatusLabel}) {
        const Rect rc{label.left, label.top, label.right, label.bottom};
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
