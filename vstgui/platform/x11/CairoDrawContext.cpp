#include "vstgui/platform/x11/CairoDrawContext.h"

#include <cmath>

namespace VSTGUI {
namespace platform {
namespace x11 {

namespace {

void setColor(cairo_t* cr, const CColor& c) {
    cairo_set_source_rgb(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0);
}

}  // namespace

CairoDrawContext::CairoDrawContext(cairo_surface_t* surface) : cr(cairo_create(surface)) {
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
}

CairoDrawContext::~CairoDrawContext() { cairo_destroy(cr); }

bool CairoDrawContext::ok() const { return cairo_status(cr) == CAIRO_STATUS_SUCCESS; }

void CairoDrawContext::setClip(const CRect& area) {
    cairo_reset_clip(cr);
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    cairo_clip(cr);
}

void CairoDrawContext::resetClip() { cairo_reset_clip(cr); }

void CairoDrawContext::fillRect(const CRect& area, const CColor& color) {
    if (area.isEmpty()) return;
    setColor(cr, color);
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    cairo_fill(cr);
}

void CairoDrawContext::frameRect(const CRect& area, const CColor& color) {
    if (area.isEmpty()) return;
    setColor(cr, color);
    cairo_set_line_width(cr, 1.0);
    // Pixel centres, so that the line covers exactly the outermost pixels.
    cairo_rectangle(cr, area.left + 0.5, area.top + 0.5, area.width() - 1.0, area.height() - 1.0);
    cairo_stroke(cr);
}

void CairoDrawContext::copyPixels(const PixelView& source, int srcX, int srcY, const CRect& dest) {
    if (!source.pixels || source.width <= 0 || source.height <= 0 || dest.isEmpty()) return;
    if (srcX < 0 || srcY < 0 || srcX >= source.width || srcY >= source.height) return;
    long w = dest.width(), h = dest.height();
    if (w > source.width - srcX) w = source.width - srcX;
    if (h > source.height - srcY) h = source.height - srcY;

    // RGB24 reads the words as 0x??RRGGBB: the alpha byte is ignored, so
    // the copy is opaque.
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, source.width);
    if (stride != source.width * 4) return;
    cairo_surface_t* image = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(source.pixels)),
        CAIRO_FORMAT_RGB24, source.width, source.height, stride);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, image, dest.left - srcX, dest.top - srcY);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, dest.left, dest.top, w, h);
    cairo_fill(cr);
    cairo_restore(cr);  // lets go of the pattern before the pixels can go away
    cairo_surface_destroy(image);
}

void CairoDrawContext::drawText(const char* text, const CRect& area, const FontDesc& font,
                                const CColor& color, CHoriTxtAlign align) {
    if (!text || !*text || area.isEmpty()) return;
    cairo_save(cr);
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    cairo_clip(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
    cairo_select_font_face(cr, font.family, CAIRO_FONT_SLANT_NORMAL,
                           font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.pixelHeight);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_text_extents_t te;
    cairo_text_extents(cr, text, &te);

    double x = area.left;
    if (align == kCenterText) x = area.left + (area.width() - te.x_advance) / 2.0;
    else if (align == kRightText) x = area.right - te.x_advance;
    const double baseline = area.top + (area.height() - (fe.ascent + fe.descent)) / 2.0 + fe.ascent;

    setColor(cr, color);
    cairo_move_to(cr, std::floor(x + 0.5), std::floor(baseline + 0.5));
    cairo_show_text(cr, text);
    cairo_restore(cr);
}

}  // namespace x11
}  // namespace platform
}  // namespace VSTGUI
