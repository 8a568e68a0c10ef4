// The X11 back end: a child window of the host's window on a display
// connection of its own, with its input read in the editor's idle (the host's
// event loop is not ours). The whole picture is kept in a pixmap of the X
// server, from which exposed parts are restored; what changed is drawn with
// cairo into an image of just the changed area, put into the pixmap with
// XPutImage and copied to the window. So an open editor holds no picture of
// its own window in the host's memory.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "vstgui/platform/Platform.h"
#include "vstgui/platform/x11/CairoDrawContext.h"

namespace VSTGUI {
namespace platform {

namespace {

// Catches the protocol errors of one display while it lives and hands every
// other display's errors to whatever handler was installed before, which it
// puts back when it goes. Xlib has a single process-wide handler, so it is
// installed only around our own calls into Xlib.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* d) : display(d), outer(active) {
        active = this;
        previous = XSetErrorHandler(&ErrorTrap::handler);
    }
    ~ErrorTrap() {
        XSetErrorHandler(previous);
        active = outer;
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits for the server to handle every request so far; answers whether
    // any of ours failed since the trap was set.
    bool syncOk() {
        XSync(display, False);
        return !failed;
    }

private:
    static int handler(Display* d, XErrorEvent* e) {
        for (ErrorTrap* t = active; t; t = t->outer) {
            if (t->display == d) {
                t->failed = true;
                return 0;
            }
        }
        // Not ours: the handler that was there before us decides.
        ErrorTrap* first = active;
        while (first && first->outer) first = first->outer;
        XErrorHandler prior = first ? first->previous : nullptr;
        return prior ? prior(d, e) : 0;
    }

    static ErrorTrap* active;
    Display* display;
    ErrorTrap* outer;
    XErrorHandler previous = nullptr;
    bool failed = false;
};

ErrorTrap* ErrorTrap::active = nullptr;

long buttonsFromState(unsigned int state) {
    long b = 0;
    if (state & Button1Mask) b |= kLButton;
    if (state & Button2Mask) b |= kMButton;
    if (state & Button3Mask) b |= kRButton;
    if (state & ShiftMask) b |= kShift;
    if (state & ControlMask) b |= kControl;
    if (state & Mod1Mask) b |= kAlt;
    if (state & Mod4Mask) b |= kApple;
    return b;
}

long buttonBit(unsigned int button) {
    switch (button) {
    case Button1: return kLButton;
    case Button2: return kMButton;
    case Button3: return kRButton;
    default: return 0;
    }
}

VstKeyCode keyCodeFrom(XKeyEvent& e) {
    VstKeyCode k{};
    KeySym sym = NoSymbol;
    char text[8] = {0};
    const int n = XLookupString(&e, text, sizeof text, &sym, nullptr);
    switch (sym) {
    case XK_BackSpace: k.virt = VKEY_BACK; break;
    case XK_Tab: k.virt = VKEY_TAB; break;
    case XK_Return: case XK_KP_Enter: k.virt = VKEY_RETURN; break;
    case XK_Escape: k.virt = VKEY_ESCAPE; break;
    case XK_space: k.virt = VKEY_SPACE; break;
    case XK_End: k.virt = VKEY_END; break;
    case XK_Home: k.virt = VKEY_HOME; break;
    case XK_Left: case XK_KP_Left: k.virt = VKEY_LEFT; break;
    case XK_Up: case XK_KP_Up: k.virt = VKEY_UP; break;
    case XK_Right: case XK_KP_Right: k.virt = VKEY_RIGHT; break;
    case XK_Down: case XK_KP_Down: k.virt = VKEY_DOWN; break;
    case XK_Page_Up: k.virt = VKEY_PAGEUP; break;
    case XK_Page_Down: k.virt = VKEY_PAGEDOWN; break;
    default:
        if (n == 1 && static_cast<unsigned char>(text[0]) >= 0x20) k.character = text[0];
        break;
    }
    if (e.state & ShiftMask) k.modifier |= MODIFIER_SHIFT;
    if (e.state & Mod1Mask) k.modifier |= MODIFIER_ALTERNATE;
    if (e.state & ControlMask) k.modifier |= MODIFIER_CONTROL;
    if (e.state & Mod4Mask) k.modifier |= MODIFIER_COMMAND;
    return k;
}

class X11Window : public Window {
public:
    ~X11Window() override { close(); }

    bool open(void* parentPtr, int w, int h, WindowListener* l) override {
        close();
        if (w <= 0 || h <= 0 || !l) return false;
        const auto parent = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(parentPtr));
        if (parent == None) return false;
        display = XOpenDisplay(nullptr);
        if (!display) return false;
        listener = l;
        width = w;
        height = h;
        {
            ErrorTrap trap(display);
            XWindowAttributes pa{};
            if (!XGetWindowAttributes(display, parent, &pa) || !trap.syncOk()) {
                closeDisplay();
                return false;
            }
            XSetWindowAttributes swa{};
            swa.background_pixmap = None;  // no clearing before each repaint
            swa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                             PointerMotionMask | KeyPressMask | KeyReleaseMask;
            window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(w),
                                   static_cast<unsigned>(h), 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWBackPixmap | CWEventMask, &swa);
            XMapWindow(display, window);
            if (!trap.syncOk()) {
                // The parent went away, or is of a kind we cannot live in.
                window = None;
                closeDisplay();
                return false;
            }
            visual = pa.visual;
            depth = pa.depth;
            gc = XCreateGC(display, window, 0, nullptr);
            if (!makePixmap() || !trap.syncOk()) {
                close();
                return false;
            }
        }
        return true;
    }

    void close() override {
        dropScratch();
        if (!display) return;
        {
            ErrorTrap trap(display);
            if (pixmap != None) XFreePixmap(display, pixmap);
            pixmap = None;
            if (gc) XFreeGC(display, gc);
            gc = nullptr;
            if (window != None) XDestroyWindow(display, window);
            window = None;
            trap.syncOk();
        }
        closeDisplay();
    }

    void handleEvents() override {
        if (!display) return;
        ErrorTrap trap(display);
        CRect exposed;
        while (display && XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            switch (e.type) {
            case Expose:
                exposed = exposed.unite(CRect(e.xexpose.x, e.xexpose.y,
                                              e.xexpose.x + e.xexpose.width,
                                              e.xexpose.y + e.xexpose.height));
                break;
            case ButtonPress: {
                const CPoint p(e.xbutton.x, e.xbutton.y);
                const long mods = buttonsFromState(e.xbutton.state) & kModifierMask;
                if (e.xbutton.button == Button4) listener->windowWheel(p, 1.0f, mods);
                else if (e.xbutton.button == Button5) listener->windowWheel(p, -1.0f, mods);
                else if (const long b = buttonBit(e.xbutton.button))
                    listener->windowMouseDown(p, (buttonsFromState(e.xbutton.state) | b));
                break;
            }
            case ButtonRelease: {
                const long b = buttonBit(e.xbutton.button);
                if (b)
                    listener->windowMouseUp(CPoint(e.xbutton.x, e.xbutton.y),
                                            buttonsFromState(e.xbutton.state) & ~b);
                break;
            }
            case MotionNotify: {
                // Only the latest of several moves in a row matters (but a
                // move after a release must stay after it).
                while (XPending(display) > 0) {
                    XEvent next;
                    XPeekEvent(display, &next);
                    if (next.type != MotionNotify) break;
                    XNextEvent(display, &e);
                }
                listener->windowMouseMoved(CPoint(e.xmotion.x, e.xmotion.y),
                                           buttonsFromState(e.xmotion.state));
                break;
            }
            case KeyPress: listener->windowKeyDown(keyCodeFrom(e.xkey)); break;
            case KeyRelease: listener->windowKeyUp(keyCodeFrom(e.xkey)); break;
            default: break;
            }
        }
        if (!exposed.isEmpty()) {
            copyToWindow(exposed);
            XFlush(display);
        }
    }

    DrawContext* backBuffer(const CRect& bounds) override {
        dropScratch();
        if (!display) return nullptr;
        const CRect a = bounds.intersection(CRect(0, 0, width, height));
        if (a.isEmpty()) return nullptr;
        // The pixels straight from the system and back to it when presented:
        // a C library heap would keep the largest of them (a whole window at
        // the first picture) and grow with the next.
        const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, static_cast<int>(a.width()));
        scratchBytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(a.height());
        void* pixels = mmap(nullptr, scratchBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pixels == MAP_FAILED) {
            scratchBytes = 0;
            return nullptr;
        }
        scratchPixels = pixels;
        scratch = cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24,
                                                      static_cast<int>(a.width()),
                                                      static_cast<int>(a.height()), stride);
        // Drawn in window coordinates.
        cairo_surface_set_device_offset(scratch, -static_cast<double>(a.left), -static_cast<double>(a.top));
        scratchArea = a;
        context = std::make_unique<x11::CairoDrawContext>(scratch);
        if (cairo_surface_status(scratch) != CAIRO_STATUS_SUCCESS || !context->ok()) {
            dropScratch();
            return nullptr;
        }
        return context.get();
    }

    void present(const std::vector<CRect>& areas) override {
        if (!display) {
            dropScratch();
            return;
        }
        ErrorTrap trap(display);
        for (const CRect& area : areas) {
            const CRect a = area.intersection(CRect(0, 0, width, height));
            if (a.isEmpty()) continue;
            if (scratch) putScratch(a.intersection(scratchArea));
            copyToWindow(a);
        }
        dropScratch();
        // Round trip: once present() returns, the server shows the picture.
        XSync(display, False);
    }

    bool resize(int w, int h) override {
        if (!display || window == None || w <= 0 || h <= 0) return false;
        ErrorTrap trap(display);
        dropScratch();
        const int oldWidth = width, oldHeight = height;
        const Pixmap old = pixmap;
        width = w;
        height = h;
        if (!makePixmap() || !trap.syncOk()) {
            if (pixmap != None && pixmap != old) XFreePixmap(display, pixmap);
            pixmap = old;
            width = oldWidth;
            height = oldHeight;
            return false;
        }
        if (old != None) XFreePixmap(display, old);
        XResizeWindow(display, window, static_cast<unsigned>(w), static_cast<unsigned>(h));
        return trap.syncOk();
    }

    bool pointerState(CPoint& where, long& buttons) override {
        if (!display) return false;
        ErrorTrap trap(display);
        ::Window root = None, child = None;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(display, window, &root, &child, &rx, &ry, &wx, &wy, &mask)) return false;
        where = CPoint(wx, wy);
        buttons = buttonsFromState(mask);
        return true;
    }

    void* nativeHandle() const override {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
    }

    int eventFd() const override { return display ? ConnectionNumber(display) : -1; }

private:
    // The server-side picture of the whole window, black until drawn. Call
    // with an ErrorTrap in place.
    bool makePixmap() {
        pixmap = XCreatePixmap(display, window, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), static_cast<unsigned>(depth));
        if (pixmap == None) return false;
        XSetForeground(display, gc, BlackPixel(display, DefaultScreen(display)));
        XFillRectangle(display, pixmap, gc, 0, 0, static_cast<unsigned>(width),
                       static_cast<unsigned>(height));
        return true;
    }

    void dropScratch() {
        context.reset();
        if (scratch) cairo_surface_destroy(scratch);
        scratch = nullptr;
        if (scratchPixels) munmap(scratchPixels, scratchBytes);
        scratchPixels = nullptr;
        scratchBytes = 0;
        scratchArea = CRect();
    }

    // Puts area `a` (inside the scratch image) into the pixmap. The scratch
    // image's words (0x00RRGGBB) are already a 32-bit ZPixmap of the usual
    // true-colour visuals, so the XImage simply points at them; any other
    // visual gets pixels of its own, converted one by one.
    void putScratch(const CRect& a) {
        if (a.isEmpty() || !gc) return;
        cairo_surface_flush(scratch);
        unsigned char* data = cairo_image_surface_get_data(scratch);
        const int stride = cairo_image_surface_get_stride(scratch);
        const int sw = cairo_image_surface_get_width(scratch);
        const int sh = cairo_image_surface_get_height(scratch);
        const int sx = static_cast<int>(a.left - scratchArea.left);
        const int sy = static_cast<int>(a.top - scratchArea.top);
        const bool native = depth >= 24 && visual && visual->red_mask == 0xFF0000 &&
                            visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
        if (native) {
            XImage* image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                         reinterpret_cast<char*>(data), static_cast<unsigned>(sw),
                                         static_cast<unsigned>(sh), 32, stride);
            if (image && image->bits_per_pixel == 32 && image->byte_order == LSBFirst) {
                XPutImage(display, pixmap, gc, image, sx, sy, static_cast<int>(a.left),
                          static_cast<int>(a.top), static_cast<unsigned>(a.width()),
                          static_cast<unsigned>(a.height()));
                image->data = nullptr;
                XDestroyImage(image);
                return;
            }
            if (image) {
                image->data = nullptr;
                XDestroyImage(image);
            }
        }
        XImage* image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                     static_cast<unsigned>(a.width()), static_cast<unsigned>(a.height()),
                                     32, 0);
        if (!image) return;
        image->data = static_cast<char*>(
            std::malloc(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(a.height())));
        if (!image->data) {
            XDestroyImage(image);
            return;
        }
        for (long y = 0; y < a.height(); ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(data + (sy + y) * stride);
            for (long x = 0; x < a.width(); ++x) {
                const std::uint32_t p = row[sx + x];
                XPutPixel(image, static_cast<int>(x), static_cast<int>(y),
                          scaled(p >> 16, visual->red_mask) | scaled(p >> 8, visual->green_mask) |
                              scaled(p, visual->blue_mask));
            }
        }
        XPutImage(display, pixmap, gc, image, 0, 0, static_cast<int>(a.left), static_cast<int>(a.top),
                  static_cast<unsigned>(a.width()), static_cast<unsigned>(a.height()));
        XDestroyImage(image);  // frees the converted pixels
    }

    // Call with an ErrorTrap in place.
    void copyToWindow(const CRect& area) {
        const CRect a = area.intersection(CRect(0, 0, width, height));
        if (a.isEmpty() || pixmap == None || !gc) return;
        XCopyArea(display, pixmap, window, gc, static_cast<int>(a.left), static_cast<int>(a.top),
                  static_cast<unsigned>(a.width()), static_cast<unsigned>(a.height()),
                  static_cast<int>(a.left), static_cast<int>(a.top));
    }

    // An 8-bit channel placed into a visual's channel mask.
    static unsigned long scaled(std::uint32_t channel, unsigned long mask) {
        if (!mask) return 0;
        int shift = 0;
        while (!((mask >> shift) & 1)) ++shift;
        const unsigned long max = mask >> shift;
        return (((channel & 0xFF) * max + 127) / 255) << shift;
    }

    void closeDisplay() {
        if (!display) return;
        ErrorTrap trap(display);
        XCloseDisplay(display);
        display = nullptr;
        listener = nullptr;
    }

    Display* display = nullptr;
    ::Window window = None;
    Visual* visual = nullptr;
    WindowListener* listener = nullptr;
    int width = 0;
    int height = 0;
    int depth = 0;
    GC gc = nullptr;
    Pixmap pixmap = None;
    cairo_surface_t* scratch = nullptr;
    void* scratchPixels = nullptr;
    std::size_t scratchBytes = 0;
    CRect scratchArea;
    std::unique_ptr<x11::CairoDrawContext> context;
};

}  // namespace

double desktopScale(void* /*parent*/) {
    if (const double v = scaleFromEnvironment()) return v;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1.0;
    double scale = 1.0;
    // The resource database as the desktop set it: "Xft.dpi:\t192" and the like.
    if (const char* rms = XResourceManagerString(d)) {
        for (const char* line = rms; line && *line;) {
            const char* next = std::strchr(line, '\n');
            if (std::strncmp(line, "Xft.dpi:", 8) == 0) {
                const double dpi = std::strtod(line + 8, nullptr);
                if (dpi >= 24.0 && dpi <= 2400.0) scale = dpi / 96.0;
            }
            line = next ? next + 1 : nullptr;
        }
    }
    XCloseDisplay(d);
    return scale;
}

// X11 keeps nothing per module.
std::unique_ptr<Window> createNativeWindow(void* /*module*/) {
    return std::make_unique<X11Window>();
}

}  // namespace platform
}  // namespace VSTGUI
