// The draw context of the Windows back end: GDI on a memory DC that holds
// the window's back buffer (a 32-bit DIB section). Colours are drawn from red,
// green and blue only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "vstgui/platform/Platform.h"

namespace VSTGUI {
namespace platform {
namespace win {

class GdiDrawContext : public DrawContext {
public:
    // Draws on `dc`, which must outlive this context. The context selects
    // fonts into it and puts the original font back when it goes.
    explicit GdiDrawContext(HDC dc);
    ~GdiDrawContext() override;
    GdiDrawContext(const GdiDrawContext&) = delete;
    GdiDrawContext& operator=(const GdiDrawContext&) = delete;

    void setClip(const CRect& area) override;
    void resetClip() override;
    void fillRect(const CRect& area, const CColor& color) override;
    void frameRect(const CRect& area, const CColor& color) override;
    void copyPixels(const PixelView& source, int srcX, int srcY, const CRect& dest) override;
    void drawText(const char* text, const CRect& area, const FontDesc& font, const CColor& color,
                  CHoriTxtAlign align) override;

private:
    // A GDI font for `font`, made on first use and kept while the context
    // lives (an editor uses two).
    HFONT fontFor(const FontDesc& font);

    struct CachedFont {
        std::string family;
        int pixelHeight;
        bool bold;
        HFONT handle;
    };

    HDC dc;
    HGDIOBJ originalFont = nullptr;
    std::vector<CachedFont> fonts;
};

}  // namespace win
}  // namespace platform
}  // namespace VSTGUI
