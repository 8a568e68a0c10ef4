// The host's side of the editor on Linux: a top-level X11 window, on a
// display connection of its own, whose id is the editor's parent, and a
// picture of it. Used by kvb gui and kvb screenshot and by the editor tests.
#pragma once

#include <X11/Xlib.h>

#include "host/Picture.h"

namespace kvbhost {

class X11HostWindow {
public:
    X11HostWindow() = default;
    ~X11HostWindow() { destroy(); }
    X11HostWindow(const X11HostWindow&) = delete;
    X11HostWindow& operator=(const X11HostWindow&) = delete;

    // Connects to the display DISPLAY names; answers false when there is none.
    bool openDisplay();
    // A width x height window named `title`, mapped and on screen when this
    // returns (connecting first when not connected). Answers false when
    // there is no display.
    bool create(int width, int height, const char* title = "KVB");
    // Closes the window and the connection.
    void destroy();

    // Handles the window's own events; answers false once its user closed it.
    bool handleEvents();

    // The window id, as effEditOpen wants it.
    void* parentHandle() const;
    Window window() const { return window_; }
    Display* display() const { return display_; }
    // The window's children (the editor's window, once open), or -1.
    int childCount() const;
    // The window as it stands on screen, children included; an empty
    // picture when it cannot be read.
    Picture capture() const;

private:
    Display* display_ = nullptr;
    Window window_ = None;
    Atom wmDelete = None;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace kvbhost
