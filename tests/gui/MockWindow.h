// A window back end without a display, for in-process tests of the widgets
// and the editor: it records what is drawn and lets a test play the window's
// part in input.
#pragma once

#include <string>
#include <vector>

#include "vstgui/platform/Platform.h"

namespace guitest {

struct CopyRecord {
    const std::uint32_t* source;
    int sourceHeight;
    int srcX, srcY;
    VSTGUI::CRect dest;
};

struct TextRecord {
    std::string text;
    VSTGUI::CRect area;
    int pixelHeight;
    std::string family;
    VSTGUI::CColor color;
    VSTGUI::CHoriTxtAlign align;
};

class MockDrawContext : public VSTGUI::platform::DrawContext {
public:
    void setClip(const VSTGUI::CRect&) override {}
    void resetClip() override {}
    void fillRect(const VSTGUI::CRect& area, const VSTGUI::CColor& color) override {
        fills.push_back({area, color});
    }
    void frameRect(const VSTGUI::CRect& area, const VSTGUI::CColor& color) override {
        frames.push_back({area, color});
    }
    void copyPixels(const VSTGUI::platform::PixelView& s, int srcX, int srcY,
                    const VSTGUI::CRect& dest) override {
        copies.push_back({s.pixels, s.height, srcX, srcY, dest});
    }
    void drawText(const char* text, const VSTGUI::CRect& area, const VSTGUI::FontDesc& font,
                  const VSTGUI::CColor& color, VSTGUI::CHoriTxtAlign align) override {
        texts.push_back({text, area, font.pixelHeight, font.family, color, align});
    }
    void clear() {
        copies.clear();
        texts.clear();
        fills.clear();
        frames.clear();
    }

    struct RectRecord {
        VSTGUI::CRect area;
        VSTGUI::CColor color;
    };
    std::vector<CopyRecord> copies;
    std::vector<TextRecord> texts;
    std::vector<RectRecord> fills, frames;
};

class MockWindow : public VSTGUI::platform::Window {
public:
    ~MockWindow() override;
    bool open(void* parent, int width, int height, VSTGUI::platform::WindowListener* l) override;
    void close() override;
    void handleEvents() override {}
    VSTGUI::platform::DrawContext* backBuffer(const VSTGUI::CRect& /*bounds*/) override { return &context; }
    bool resize(int w, int h) override {
        resized.push_back(VSTGUI::CRect(0, 0, w, h));
        width = w;
        height = h;
        return true;
    }
    void present(const std::vector<VSTGUI::CRect>& areas) override {
        presented.insert(presented.end(), areas.begin(), areas.end());
    }
    bool pointerState(VSTGUI::CPoint& where, long& buttons) override {
        where = pointer;
        buttons = pointerButtons;
        return true;
    }
    void* nativeHandle() const override { return const_cast<MockWindow*>(this); }

    static std::unique_ptr<VSTGUI::platform::Window> make();

    // The window open now (null when none is).
    static MockWindow* current;
    // Windows open now, and how many were ever opened.
    static int openCount;
    static int opened;
    // When set, the next open fails.
    static bool failNextOpen;

    VSTGUI::platform::WindowListener* listener = nullptr;
    MockDrawContext context;
    std::vector<VSTGUI::CRect> presented;
    std::vector<VSTGUI::CRect> resized;
    VSTGUI::CPoint pointer;
    long pointerButtons = 0;
    int width = 0, height = 0;
    void* parent = nullptr;

private:
    bool isOpen = false;
};

}  // namespace guitest
