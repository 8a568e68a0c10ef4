// Helpers for the editor tests that run against a real X server: a host
// window to put the editor in, captures of it, the decoded skin, xdotool.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "resources/SkinResources.h"
#include "vstgui/vstguibase.h"

namespace guitest {

// Pixels as 0x00RRGGBB, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// A top-level window on a connection of its own, as a host gives one to an
// editor.
class HostWindow {
public:
    HostWindow() = default;
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool create(int width, int height);
    void* parentHandle() const;
    Window window() const { return win; }
    Display* display() const { return dpy; }
    // The window's children (the editor's window, once open).
    int childCount() const;
    Picture capture() const;

private:
    Display* dpy = nullptr;
    Window win = 0;
    int w = 0, h = 0;
};

// Skin bitmap `id` as linked into this test program.
const skin::Image& skinImage(int id);

// Pixels inside `area` of `picture` that differ from the part of `image`
// starting at row `srcY` (red, green and blue compared).
long mismatches(const Picture& picture, const VSTGUI::CRect& area, const skin::Image& image,
                int srcY);
long mismatches(const Picture& a, const Picture& b, const VSTGUI::CRect& area);

// Runs xdotool with `args` on the current DISPLAY; answers whether it worked.
bool xdotool(const std::string& args);

// Calls `step` (an idle) every 10 ms until `done` answers true or `ms` pass.
bool pumpUntil(const std::function<void()>& step, const std::function<bool()>& done, int ms);
void pumpFor(const std::function<void()>& step, int ms);

}  // namespace guitest
