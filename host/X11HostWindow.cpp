#include "host/X11HostWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace kvbhost {

namespace {

// A colour channel of an X pixel as 0 to 255.
std::uint32_t channel(unsigned long pixel, unsigned long mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const unsigned long max = mask >> shift;
    return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255 / max);
}

}  // namespace

bool X11HostWindow::openDisplay() {
    if (!display_) display_ = XOpenDisplay(nullptr);
    return display_ != nullptr;
}

bool X11HostWindow::create(int width, int height, const char* title) {
    if (!openDisplay()) return false;
    width_ = width;
    height_ = height;
    const int screen = DefaultScreen(display_);
    XSetWindowAttributes swa{};
    swa.background_pixel = BlackPixel(display_, screen);
    swa.event_mask = StructureNotifyMask;
    window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0,
                            static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                            CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask,
                            &swa);
    XStoreName(display_, window_, title);
    const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    const Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
    XChangeProperty(display_, window_, netName, utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title),
                    static_cast<int>(std::char_traits<char>::length(title)));
    // A fixed size, as the editor's.
    if (XSizeHints* hints = XAllocSizeHints()) {
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = width;
        hints->min_height = hints->max_height = height;
        XSetWMNormalHints(display_, window_, hints);
        XFree(hints);
    }
    wmDelete = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, window_, &wmDelete, 1);
    XMapWindow(display_, window_);
    // Wait until it is on screen, so that the editor's window is too.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        XEvent e;
        if (XCheckTypedWindowEvent(display_, window_, MapNotify, &e)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    XSync(display_, False);
    return true;
}

void X11HostWindow::destroy() {
    if (!display_) return;
    if (window_ != None) XDestroyWindow(display_, window_);
    window_ = None;
    XCloseDisplay(display_);
    display_ = nullptr;
}

bool X11HostWindow::handleEvents() {
    while (XPending(display_) > 0) {
        XEvent e;
        XNextEvent(display_, &e);
        if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == wmDelete)
            return false;
        if (e.type == DestroyNotify && e.xdestroywindow.window == window_) {
            window_ = None;
            return false;
        }
    }
    return true;
}

void* X11HostWindow::parentHandle() const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_));
}

int X11HostWindow::childCount() const {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    XSync(display_, False);
    if (!XQueryTree(display_, window_, &root, &parent, &children, &n)) return -1;
    if (children) XFree(children);
    return static_cast<int>(n);
}

Picture X11HostWindow::capture() const {
    Picture p;
    XSync(display_, False);
    XImage* image = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(width_),
                              static_cast<unsigned>(height_), AllPlanes, ZPixmap);
    if (!image) return p;
    p.width = width_;
    p.height = height_;
    p.pixels.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    const unsigned long rm = image->red_mask, gm = image->green_mask, bm = image->blue_mask;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const unsigned long px = XGetPixel(image, x, y);
            p.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                     static_cast<std::size_t>(x)] =
                (channel(px, rm) << 16) | (channel(px, gm) << 8) | channel(px, bm);
        }
    }
    XDestroyImage(image);
    return p;
}

}  // namespace kvbhost
