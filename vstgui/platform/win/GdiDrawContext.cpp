#include "vstgui/platform/win/GdiDrawContext.h"

#include <cstring>

namespace VSTGUI {
namespace platform {
namespace win {

namespace {

COLORREF rgb(const CColor& c) { return RGB(c.red, c.green, c.blue); }

RECT toRect(const CRect& r) {
    RECT out;
    out.left = static_cast<LONG>(r.left);
    out.top = static_cast<LONG>(r.top);
    out.right = static_cast<LONG>(r.right);
    out.bottom = static_cast<LONG>(r.bottom);
    return out;
}

}  // namespace

GdiDrawContext::GdiDrawContext(HDC d) : dc(d) {
    originalFont = GetCurrentObject(dc, OBJ_FONT);
    SetBkMode(dc, TRANSPARENT);
}

GdiDrawContext::~GdiDrawContext() {
    if (originalFont) SelectObject(dc, originalFont);
    for (const CachedFont& f : fonts) DeleteObject(f.handle);
}

void GdiDrawContext::setClip(const CRect& area) {
    SelectClipRgn(dc, nullptr);
    IntersectClipRect(dc, static_cast<int>(area.left), static_cast<int>(area.top),
                      static_cast<int>(area.right), static_cast<int>(area.bottom));
}

void GdiDrawContext::resetClip() { SelectClipRgn(dc, nullptr); }

void GdiDrawContext::fillRect(const CRect& area, const CColor& color) {
    if (area.isEmpty()) return;
    const RECT r = toRect(area);
    // The DC's own brush: a colour change needs no brush object.
    SetDCBrushColor(dc, rgb(color));
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void GdiDrawContext::frameRect(const CRect& area, const CColor& color) {
    if (area.isEmpty()) return;
    const RECT r = toRect(area);
    SetDCBrushColor(dc, rgb(color));
    // One pixel wide, on the outermost pixels of the rectangle.
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void GdiDrawContext::copyPixels(const PixelView& source, int srcX, int srcY, const CRect& dest) {
    if (!source.pixels || source.width <= 0 || source.height <= 0 || dest.isEmpty()) return;
    if (srcX < 0 || srcY < 0 || srcX >= source.width || srcY >= source.height) return;
    long w = dest.width(), h = dest.height();
    if (w > source.width - srcX) w = source.width - srcX;
    if (h > source.height - srcY) h = source.height - srcY;

    // The words 0xAARRGGBB are, byte for byte, the blue-green-red-unused
    // pixels of a 32-bit DIB, whose fourth byte GDI ignores: the copy is
    // opaque. The DIB handed over starts at the source row srcY and is
    // exactly as tall as the copy, so the source rectangle spans all of its
    // rows whichever way GDI counts them.
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = source.width;
    info.bmiHeader.biHeight = -static_cast<LONG>(h);  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const std::uint32_t* rows = source.pixels + static_cast<std::size_t>(srcY) * static_cast<std::size_t>(source.width);
    StretchDIBits(dc, static_cast<int>(dest.left), static_cast<int>(dest.top), static_cast<int>(w),
                  static_cast<int>(h), srcX, 0, static_cast<int>(w), static_cast<int>(h), rows, &info,
                  DIB_RGB_COLORS, SRCCOPY);
}

HFONT GdiDrawContext::fontFor(const FontDesc& font) {
    const char* family = font.family ? font.family : "Arial";
    for (const CachedFont& f : fonts)
        if (f.pixelHeight == font.pixelHeight && f.bold == font.bold && f.family == family)
            return f.handle;
    // A negative height asks for the character height (the em without the
    // internal leading), the measure the font table gives.
    HFONT h = CreateFontA(-font.pixelHeight, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                          FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, family);
    if (h) fonts.push_back({family, font.pixelHeight, font.bold, h});
    return h;
}

void GdiDrawContext::drawText(const char* text, const CRect& area, const FontDesc& font,
                              const CColor& color, CHoriTxtAlign align) {
    if (!text || !*text || area.isEmpty()) return;
    HFONT f = fontFor(font);
    if (f) SelectObject(dc, f);
    SetTextColor(dc, rgb(color));
    SetBkMode(dc, TRANSPARENT);
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    if (align == kCenterText) format |= DT_CENTER;
    else if (align == kRightText) format |= DT_RIGHT;
    else format |= DT_LEFT;
    // Without DT_NOCLIP the text is cut at the edges of the rectangle.
    RECT r = toRect(area);
    DrawTextA(dc, text, -1, &r, format);
}

}  // namespace win
}  // namespace platform
}  // namespace VSTGUI
