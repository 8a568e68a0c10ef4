#include "tests/gui/GuiTestSupport.h"

#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "shell/Module.h"

namespace guitest {

HostWindow::~HostWindow() {
    if (!dpy) return;
    if (win) XDestroyWindow(dpy, win);
    XCloseDisplay(dpy);
}

bool HostWindow::create(int width, int height) {
    dpy = XOpenDisplay(nullptr);
    if (!dpy) return false;
    w = width;
    h = height;
    const int screen = DefaultScreen(dpy);
    XSetWindowAttributes swa{};
    swa.background_pixel = BlackPixel(dpy, screen);
    swa.event_mask = StructureNotifyMask;
    win = XCreateWindow(dpy, RootWindow(dpy, screen), 0, 0, static_cast<unsigned>(w),
                        static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                        CWBackPixel | CWEventMask, &swa);
    XMapWindow(dpy, win);
    for (int i = 0; i < 500; ++i) {
        XEvent e;
        if (XCheckTypedWindowEvent(dpy, win, MapNotify, &e)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    XSync(dpy, False);
    return true;
}

void* HostWindow::parentHandle() const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(win));
}

int HostWindow::childCount() const {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    XSync(dpy, False);
    if (!XQueryTree(dpy, win, &root, &parent, &children, &n)) return -1;
    if (children) XFree(children);
    return static_cast<int>(n);
}

Picture HostWindow::capture() const {
    Picture p;
    XSync(dpy, False);
    XImage* image = XGetImage(dpy, win, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              AllPlanes, ZPixmap);
    if (!image) return p;
    p.width = w;
    p.height = h;
    p.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.pixels[static_cast<std::size_t>(y * w + x)] =
                static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu;
    XDestroyImage(image);
    return p;
}

const skin::Image& skinImage(int id) {
    static std::mutex lock;
    static std::map<int, skin::Image> cache;
    std::lock_guard<std::mutex> guard(lock);
    auto it = cache.find(id);
    if (it != cache.end()) return it->second;
    skin::Image image;
    const skin::Resource r = skin::findBitmap(hInstance, id);
    if (r.data) skin::decodeBmp(r.data, r.size, image);
    return cache.emplace(id, std::move(image)).first->second;
}

long mismatches(const Picture& picture, const VSTGUI::CRect& area, const skin::Image& image,
                int srcY) {
    if (picture.pixels.empty() || image.pixels.empty()) return area.width() * area.height();
    long bad = 0;
    for (long y = area.top; y < area.bottom; ++y) {
        for (long x = area.left; x < area.right; ++x) {
            const long sx = x - area.left, sy = y - area.top + srcY;
            if (sx >= image.width || sy >= image.height || x >= picture.width ||
                y >= picture.height) {
                ++bad;
                continue;
            }
            const std::uint32_t want =
                image.pixels[static_cast<std::size_t>(sy * image.width + sx)] & 0xFFFFFFu;
            if (picture.at(static_cast<int>(x), static_cast<int>(y)) != want) ++bad;
        }
    }
    return bad;
}

long mismatches(const Picture& a, const Picture& b, const VSTGUI::CRect& area) {
    long bad = 0;
    for (long y = area.top; y < area.bottom; ++y)
        for (long x = area.left; x < area.right; ++x)
            if (a.at(static_cast<int>(x), static_cast<int>(y)) !=
                b.at(static_cast<int>(x), static_cast<int>(y)))
                ++bad;
    return bad;
}

bool xdotool(const std::string& args) {
    const std::string command = "xdotool " + args + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool pumpUntil(const std::function<void()>& step, const std::function<bool()>& done, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        step();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void pumpFor(const std::function<void()>& step, int ms) {
    pumpUntil(step, [] { return false; }, ms);
}

}  // namespace guitest
