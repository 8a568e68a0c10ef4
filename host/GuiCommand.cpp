// kvb gui and kvb screenshot: the plug-in's editor in a window of our own,
// driven as a Linux host drives it (effEditOpen with the window id, then
// effEditIdle from our loop). Knows the plug-in only through its AEffect.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "host/AudioFeeder.h"
#include "host/Commands.h"
#include "host/EditorSession.h"
#include "host/DemoSignal.h"
#include "host/ParamOptions.h"
#include "host/PluginHost.h"

namespace kvbhost {

int runGui(const Args& args);
int runScreenshot(const Args& args);

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

// Our own protocol errors are reported, not fatal.
int lastXError = 0;
int onXError(Display*, XErrorEvent* e) {
    lastXError = e->error_code;
    return 0;
}

// The top-level window that the editor lives in.
class HostWindow {
public:
    ~HostWindow() { destroy(); }

    bool openDisplay() {
        display = XOpenDisplay(nullptr);
        if (display) XSetErrorHandler(onXError);
        return display != nullptr;
    }

    bool create(int w, int h, const char* title) {
        width = w;
        height = h;
        const int screen = DefaultScreen(display);
        XSetWindowAttributes swa{};
        swa.background_pixel = BlackPixel(display, screen);
        swa.event_mask = StructureNotifyMask;
        window = XCreateWindow(display, RootWindow(display, screen), 0, 0,
                               static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                               CopyFromParent, InputOutput, CopyFromParent,
                               CWBackPixel | CWEventMask, &swa);
        XStoreName(display, window, title);
        const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
        const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
        XChangeProperty(display, window, netName, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title),
                        static_cast<int>(std::char_traits<char>::length(title)));
        XSizeHints* hints = XAllocSizeHints();
        if (hints) {
            hints->flags = PMinSize | PMaxSize;
            hints->min_width = hints->max_width = w;
            hints->min_height = hints->max_height = h;
            XSetWMNormalHints(display, window, hints);
            XFree(hints);
        }
        wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, window, &wmDelete, 1);
        XMapWindow(display, window);
        // Wait until it is on screen, so that the editor's window is too.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < deadline) {
            XEvent e;
            if (XCheckTypedWindowEvent(display, window, MapNotify, &e)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        XSync(display, False);
        return lastXError == 0;
    }

    // Handles our window's events; answers false once the user closed it.
    bool handleEvents() {
        while (XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == wmDelete)
                return false;
            if (e.type == DestroyNotify && e.xdestroywindow.window == window) {
                window = None;
                return false;
            }
        }
        return true;
    }

    // The window's picture, editor included, as a PNG file.
    bool capture(const std::string& path, std::string& error) {
        XSync(display, False);
        XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (!image) {
            error = "cannot read the window's picture";
            return false;
        }
        cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        cairo_surface_flush(png);
        unsigned char* data = cairo_image_surface_get_data(png);
        const int stride = cairo_image_surface_get_stride(png);
        const unsigned long rm = image->red_mask, gm = image->green_mask, bm = image->blue_mask;
        auto channel = [](unsigned long pixel, unsigned long mask) -> std::uint32_t {
            if (!mask) return 0;
            int shift = 0;
            while (!((mask >> shift) & 1)) ++shift;
            const unsigned long max = mask >> shift;
            return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255 / max);
        };
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
            for (int x = 0; x < width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                row[x] = 0xFF000000u | (channel(p, rm) << 16) | (channel(p, gm) << 8) | channel(p, bm);
            }
        }
        cairo_surface_mark_dirty(png);
        XDestroyImage(image);
        const cairo_status_t st = cairo_surface_write_to_png(png, path.c_str());
        cairo_surface_destroy(png);
        if (st != CAIRO_STATUS_SUCCESS) {
            error = "cannot write " + path + ": " + cairo_status_to_string(st);
            return false;
        }
        return true;
    }

    void destroy() {
        if (!display) return;
        if (window != None) XDestroyWindow(display, window);
        window = None;
        XCloseDisplay(display);
        display = nullptr;
    }

    void* handle() const { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window)); }

private:
    Display* display = nullptr;
    Window window = None;
    Atom wmDelete = None;
    int width = 0;
    int height = 0;
};

// What both commands share: display, plug-in, settings, window, editor.
struct EditorSession : PluginSession {
    explicit EditorSession(const char* name) : PluginSession(name) {}
    ~EditorSession() {
        stop();
        window.destroy();
    }

    HostWindow window;

    int start(Args& args) {
        if (int rc = takeArgs(args)) return rc;
        if (!window.openDisplay()) {
            std::fprintf(stderr, "kvb %s: no X display (is DISPLAY set? try xvfb-run)\n", command);
            return 1;
        }
        return load();
    }

    int openEditor() {
        int width = 0, height = 0;
        if (int rc = editorSize(width, height)) return rc;
        if (!window.create(width, height, "KVB")) {
            std::fprintf(stderr, "kvb %s: cannot create a window\n", command);
            return 1;
        }
        return PluginSession::openEditor(window.handle());
    }
};

}  // namespace

int runGui(const Args& argsIn) {
    Args args = argsIn;
    EditorSession s("gui");
    if (int rc = s.start(args)) return rc;
    AudioFeeder audio(s.host.effect(), s.host.sampleRate);
    if (int rc = s.openEditor()) return rc;

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    audio.start();
    const auto period = std::chrono::microseconds(1000000 / 30);
    auto next = Clock::now();
    while (!interrupted && s.window.handleEvents()) {
        s.host.dispatch(vst::effEditIdle);
        next += period;
        const auto now = Clock::now();
        if (next < now) next = now;  // fell behind: do not catch up in a burst
        std::this_thread::sleep_until(next);
    }
    s.closeEditor();
    audio.stop();
    return 0;
}

int runScreenshot(const Args& argsIn) {
    Args args = argsIn;
    std::string out;
    double seconds = 0.0;
    if (int rc = takeScreenshotArgs(args, out, seconds)) return rc;

    EditorSession s("screenshot");
    if (int rc = s.start(args)) return rc;
    if (seconds > 0.0) {
        // The meters show what this much of the signal left behind.
        AudioFeeder audio(s.host.effect(), s.host.sampleRate);
        audio.runFor(seconds);
    }
    if (int rc = s.openEditor()) return rc;
    // A few idles, further apart than the meters' refresh interval, let the
    // editor draw everything, meters included.
    for (int i = 0; i < 4; ++i) {
        s.window.handleEvents();
        s.host.dispatch(vst::effEditIdle);
        std::this_thread::sleep_for(std::chrono::milliseconds(70));
    }
    s.host.dispatch(vst::effEditIdle);
    std::string error;
    if (!s.window.capture(out, error)) {
        std::fprintf(stderr, "kvb screenshot: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

}  // namespace kvbhost
