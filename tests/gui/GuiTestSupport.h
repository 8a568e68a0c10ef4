// Helpers for the editor tests that run against a real X server: the host's
// window to put the editor in and its pictures, the decoded skin, xdotool.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editor/Layout.h"
#include "host/Picture.h"
#include "host/X11HostWindow.h"
#include "resources/SkinResources.h"
#include "vstgui/vstguibase.h"

namespace guitest {

// Pixels as 0x00RRGGBB, top row first.
using Picture = kvbhost::Picture;

// A top-level window on a connection of its own, as a host gives one to an
// editor: kvb's own.
using HostWindow = kvbhost::X11HostWindow;

// Skin bitmap `id` at `percent` as linked into this test program (an empty
// image when there is none).
const skin::Image& skinImage(int id, int percent = 100);

// Pixels inside `area` of `picture` that differ from the part of `image`
// starting at row `srcY` (red, green and blue compared).
long mismatches(const Picture& picture, const VSTGUI::CRect& area, const skin::Image& image,
                int srcY);
long mismatches(const Picture& a, const Picture& b, const VSTGUI::CRect& area);

// Control `tag`'s line of the layout table, and its rectangle in the window.
const kvbeditor::ControlLayout& layoutOf(int tag);
VSTGUI::CRect rectOf(int tag);
// Mismatching pixels between the picture at control `tag`'s rectangle and
// frame `frameIndex` of its strip.
long frameMismatches(const Picture& p, int tag, int frameIndex);
// The frame the picture shows at control `tag`'s rectangle, or -1 if none of
// its strip's frames matches exactly.
int shownFrame(const Picture& p, int tag);

// Runs xdotool with `args` on the current DISPLAY; answers whether it worked.
bool xdotool(const std::string& args);

// Calls `step` (an idle) every 10 ms until `done` answers true or `ms` pass.
bool pumpUntil(const std::function<void()>& step, const std::function<bool()>& done, int ms);
void pumpFor(const std::function<void()>& step, int ms);

}  // namespace guitest
