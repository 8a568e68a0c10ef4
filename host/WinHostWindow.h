// The host's side of the editor on Windows: a top-level window whose client
// area is the editor's parent, its message loop, a picture of it, and a PNG
// writer for that picture. Used by kvb gui and kvb screenshot on Windows and
// by the Windows checks under tests/win/.
#pragma once

#include <string>

#include "host/Picture.h"
#include "host/PluginHost.h"

namespace kvbhost {

class WinHostWindow {
public:
    WinHostWindow() = default;
    ~WinHostWindow();
    WinHostWindow(const WinHostWindow&) = delete;
    WinHostWindow& operator=(const WinHostWindow&) = delete;

    // A visible window whose client area is width x height, its top-left
    // corner at (x, y) on the screen. A wheel turned over it while it has
    // the focus goes to `plugin` as the host's mouse-wheel message (may be
    // null). Answers false when the window cannot be made.
    bool create(int width, int height, const char* title, const PluginHost* plugin, int x = 0,
                int y = 0);
    void destroy();

    // The HWND, as effEditOpen wants it.
    void* handle() const { return hwnd_; }
    // The first child window (the editor's), or null.
    void* child() const;

    // Dispatches every waiting message. Answers false once the window has
    // been closed by its user.
    bool pumpMessages();

    // The client area as it stands on screen, children included.
    bool capture(Picture& out, std::string& error) const;

private:
    void* hwnd_ = nullptr;
};

// Writes `picture` as an 8-bit RGB PNG file. On failure answers false with a
// one-line message.
bool writePng(const std::string& path, const Picture& picture, std::string& error);

}  // namespace kvbhost
