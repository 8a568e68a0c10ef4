// kvb_skin_generator OUTDIR [--mock FILE.png]
//
// Renders the editor's bitmaps, every bitmap of the layout table
// (editor/Layout.h) at every scale of kScalePercents, packs each scale's as
// OUTDIR/skin<PERCENT>.pack (resources/SkinPackFormat.h), and writes what
// binds the packs into the plug-in: OUTDIR/skin.rc (Windows) and
// OUTDIR/skin_blobs.cpp (Linux). Every frame of a control starts as a copy of
// the panel under the control's rectangle, so the editor's opaque copy of a
// frame blends into the panel. At a scale, the same drawing runs with window
// coordinates scaled to device pixels.
// With --mock it also writes a picture of the whole window at the default
// parameter values, for looking at the design.
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Bindings.h"
#include "SkinPack.h"
#include "Layout.h"
#include "Skin.h"

using namespace skingen;

namespace {

// Converts a cairo RGB24 surface into opaque 0xAARRGGBB pixels.
std::vector<std::uint32_t> opaquePixels(cairo_surface_t* s) {
    cairo_surface_flush(s);
    const int w = cairo_image_surface_get_width(s);
    const int h = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    std::vector<std::uint32_t> out(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < w; ++x) out[static_cast<std::size_t>(y) * w + x] = 0xFF000000u | (row[x] & 0xFFFFFFu);
    }
    return out;
}

// The panel at `percent`: window coordinates scaled to device pixels. The
// surface keeps the scale as its device scale, so that painting it as a
// source in window coordinates puts each of its pixels back in place.
cairo_surface_t* renderPanel(int percent) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, scaled(kWindowWidth, percent),
                                                    scaled(kWindowHeight, percent));
    const double k = percent / 100.0;
    cairo_surface_set_device_scale(s, k, k);
    cairo_t* cr = cairo_create(s);
    paintPanel(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    return s;
}

// The strip of `img` at `percent`: frame f holds, from device row f * fh on,
// the window's device pixels of the control's scaled rectangle.
cairo_surface_t* renderStrip(cairo_surface_t* panel, const SkinImage& img, int percent) {
    const ScaledRect r = scaledRect(img, percent);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, r.width, r.frameHeight * img.frames);
    for (int f = 0; f < img.frames; ++f) {
        cairo_t* cr = cairo_create(s);
        cairo_rectangle(cr, 0, f * r.frameHeight, r.width, r.frameHeight);
        cairo_clip(cr);
        // Window coordinates from here on: a whole-pixel shift, then the scale.
        cairo_translate(cr, -r.left, f * r.frameHeight - r.top);
        const double k = percent / 100.0;
        cairo_scale(cr, k, k);
        cairo_set_source_surface(cr, panel, 0, 0);
        cairo_paint(cr);
        paintControlFrame(cr, panel, img, f);
        cairo_destroy(cr);
    }
    cairo_surface_flush(s);
    return s;
}

// Default parameter values of the controls, for the mock-up.
double defaultValue(int param) {
    static const double defaults[] = {1.0, 0.0, 1.0, 0.4, 0.8, 0.6, 0.0, 1.0, 0.0, 1.0,
                                      0.4, 0.8, 0.6, 0.0, 0.0, 1.0, 1.0, 1.0, 0.0, 1.0,
                                      1.0, 0.0, 1.0, 1.0, 0.0, 1.0, 0.5, 0.5};
    return param >= 0 && param < 28 ? defaults[param] : 0.0;
}

int frameFor(const SkinImage& img, double v) {
    if (img.kind == Kind::Switch) return v != 0.0 ? 1 : 0;
    const int f = static_cast<int>(std::floor(v * (img.frames - 1)));
    return f < 0 ? 0 : (f >= img.frames ? img.frames - 1 : f);
}

bool writeMock(cairo_surface_t* panel, const std::vector<cairo_surface_t*>& strips,
               const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWindowWidth, kWindowHeight);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_surface(cr, panel, 0, 0);
    cairo_paint(cr);
    for (int i = 0; i < kImageCount; ++i) {
        const SkinImage& img = kImages[i];
        if (img.kind == Kind::Background) continue;
        const int fh = frameHeight(img);
        const int f = frameFor(img, defaultValue(img.param));
        cairo_save(cr);
        cairo_rectangle(cr, img.left, img.top, img.width, fh);
        cairo_clip(cr);
        cairo_set_source_surface(cr, strips[i], img.left, img.top - f * fh);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string outDir;
    std::string mockPath;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mock") == 0 && i + 1 < argc) {
            mockPath = argv[++i];
        } else if (outDir.empty()) {
            outDir = argv[i];
        } else {
            outDir.clear();
            break;
        }
    }
    if (outDir.empty()) {
        std::fprintf(stderr, "usage: kvb_skin_generator OUTDIR [--mock FILE.png]\n");
        return 2;
    }

    int failures = 0;
    cairo_surface_t* mockPanel = nullptr;
    std::vector<cairo_surface_t*> mockStrips;
    for (int percent : kvbeditor::kScalePercents) {
        cairo_surface_t* panel = renderPanel(percent);
        std::vector<cairo_surface_t*> strips(kImageCount, nullptr);
        std::vector<PackImage> images;
        for (int i = 0; i < kImageCount; ++i) {
            const SkinImage& img = kImages[i];
            if (img.kind == Kind::Background) {
                images.push_back({img.id, cairo_image_surface_get_width(panel),
                                  cairo_image_surface_get_height(panel), 1, 0, 0, true,
                                  opaquePixels(panel)});
                continue;
            }
            strips[i] = renderStrip(panel, img, percent);
            const ScaledRect r = scaledRect(img, percent);
            images.push_back({img.id, r.width, r.frameHeight, img.frames, r.left, r.top, false,
                              opaquePixels(strips[i])});
        }
        const std::string path = outDir + "/" + packName(percent);
        if (!writeFile(path, encodePack(percent, images))) {
            std::fprintf(stderr, "kvb_skin_generator: cannot write %s\n", path.c_str());
            ++failures;
        }
        if (percent == 100) {
            mockPanel = panel;
            mockStrips = strips;
            continue;
        }
        for (cairo_surface_t* st : strips)
            if (st) cairo_surface_destroy(st);
        cairo_surface_destroy(panel);
    }
    cairo_surface_t* panel = mockPanel;
    std::vector<cairo_surface_t*>& strips = mockStrips;
    using Binding = std::pair<const char*, std::string>;
    for (const auto& [name, text] : {Binding{"skin.rc", resourceScript(outDir)},
                                      Binding{"skin_blobs.cpp", linuxEmbedding(outDir)}}) {
        const std::string path = outDir + "/" + name;
        if (!writeFile(path, std::vector<unsigned char>(text.begin(), text.end()))) {
            std::fprintf(stderr, "kvb_skin_generator: cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    if (!mockPath.empty() && !writeMock(panel, strips, mockPath)) {
        std::fprintf(stderr, "kvb_skin_generator: cannot write %s\n", mockPath.c_str());
        ++failures;
    }
    for (cairo_surface_t* s : strips)
        if (s) cairo_surface_destroy(s);
    cairo_surface_destroy(panel);
    return failures == 0 ? 0 : 1;
}
