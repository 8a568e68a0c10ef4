// The draw context of the X11 back end: cairo on an image surface (the
// window's back buffer). Colours are drawn from red, green and blue only.
#pragma once

#include <cairo.h>

#include "vstgui/platform/Platform.h"

namespace VSTGUI {
namespace platform {
namespace x11 {

class CairoDrawContext : public DrawContext {
public:
    // Draws on `surface`, which must outlive this context.
    explicit CairoDrawContext(cairo_surface_t* surface);
    ~CairoDrawContext() override;
    CairoDrawContext(const CairoDrawContext&) = delete;
    CairoDrawContext& operator=(const CairoDrawContext&) = delete;

    bool ok() const;

    void setClip(const CRect& area) override;
    void resetClip() override;
    void fillRect(const CRect& area, const CColor& color) override;
    void frameRect(const CRect& area, const CColor& color) override;
    void copyPixels(const PixelView& source, int srcX, int srcY, const CRect& dest) override;
    void drawText(const char* text, const CRect& area, const FontDesc& font, const CColor& color,
                  CHoriTxtAlign align) override;

private:
    cairo_t* cr;
};

}  // namespace x11
}  // namespace platform
}  // namespace VSTGUI
