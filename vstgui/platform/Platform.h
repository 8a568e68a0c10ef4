// The seam between the widget layer and the windowing system. The widgets
// draw through DrawContext and receive input through WindowListener; a back
// end (X11 and cairo on Linux, GDI on Windows) supplies the Window that does
// both. Nothing outside vstgui/platform/<backend>/ includes a system header.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "vstgui/vstguibase.h"

namespace VSTGUI {
namespace platform {

// Pixels of one bitmap as the widget layer keeps them: width x height words
// 0xAARRGGBB, top row first. The alpha byte is never used for drawing.
struct PixelView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
};

// Where the widgets draw. Coordinates are window pixels; colours are drawn
// from red, green and blue only.
class DrawContext {
public:
    virtual ~DrawContext() = default;

    // Limits every following operation to `area` (window coordinates) until
    // the next setClip or resetClip.
    virtual void setClip(const CRect& area) = 0;
    virtual void resetClip() = 0;

    virtual void fillRect(const CRect& area, const CColor& color) = 0;
    // A one-pixel outline just inside `area`.
    virtual void frameRect(const CRect& area, const CColor& color) = 0;
    // Copies the part of `source` that starts at (srcX, srcY) opaquely into
    // `dest`; the part is as large as `dest`, cut to what the source holds.
    virtual void copyPixels(const PixelView& source, int srcX, int srcY, const CRect& dest) = 0;
    // One line of text inside `area`, vertically centred, aligned as asked,
    // cut at the edges of `area`.
    virtual void drawText(const char* text, const CRect& area, const FontDesc& font,
                          const CColor& color, CHoriTxtAlign align) = 0;
};

// What a window reports. Positions are window pixels; `buttons` carries the
// mouse buttons and modifier keys (kLButton, kShift, ...).
class WindowListener {
public:
    virtual ~WindowListener() = default;
    virtual void windowMouseDown(const CPoint& where, long buttons) = 0;
    virtual void windowMouseMoved(const CPoint& where, long buttons) = 0;
    virtual void windowMouseUp(const CPoint& where, long buttons) = 0;
    virtual bool windowWheel(const CPoint& where, float distance, long buttons) = 0;
    virtual bool windowKeyDown(const VstKeyCode& key) = 0;
    virtual bool windowKeyUp(const VstKeyCode& key) = 0;
    // The window's own timer (startTimer) fired.
    virtual void windowTimer() {}
    // The desktop's scale for the window may have changed (Windows: the
    // window went to a monitor of another DPI, WM_DPICHANGED_AFTERPARENT).
    virtual void windowScaleChanged() {}
};

// One editor window: a child of the host's window, with a back buffer that
// holds the whole picture so that exposed areas are restored without asking
// the widgets (on X11 it lives in the X server).
class Window {
public:
    virtual ~Window() = default;

    // Creates the window inside `parent` (an HWND, or an X11 window id cast
    // to a pointer) with the given size. Answers false, having kept nothing,
    // when the window cannot be made.
    virtual bool open(void* parent, int width, int height, WindowListener* listener) = 0;
    // Releases the window and everything the back end holds for it. Safe to
    // call when not open.
    virtual void close() = 0;

    // Delivers pending input to the listener. Never blocks.
    virtual void handleEvents() = 0;

    // The back buffer's context for drawing inside `bounds` (window
    // coordinates; what lies outside may be dropped); what is drawn appears
    // on screen at present().
    virtual DrawContext* backBuffer(const CRect& bounds) = 0;
    // Shows the given areas of the back buffer on screen.
    virtual void present(const std::vector<CRect>& areas) = 0;

    // The pointer's position in window pixels and the buttons and modifiers
    // held; false when the position is unknown.
    virtual bool pointerState(CPoint& where, long& buttons) = 0;

    // Gives the window a new size (its picture is undefined until drawn
    // again); the window, its handle and its input stay. False, with the old
    // size kept, when the back buffer cannot be made.
    virtual bool resize(int width, int height) = 0;

    // The system's handle of the window (an X11 window id, an HWND).
    virtual void* nativeHandle() const = 0;

    // For hosts that never idle the editor: calls the listener's windowTimer
    // about every `intervalMs` from the system's own event loop (Windows: a
    // WM_TIMER of the window) until the window closes. False where the back
    // end has no such loop of its own (X11: the host's run loop drives it,
    // see eventFd).
    virtual bool startTimer(unsigned /*intervalMs*/) { return false; }
    // A file descriptor that becomes readable when input waits for
    // handleEvents (X11: the display connection's), or -1.
    virtual int eventFd() const { return -1; }
};

// The scale the desktop asks of windows, as a factor (1.0 = 100 %), for
// formats whose hosts do not tell it: GDK_SCALE or QT_SCALE_FACTOR where set
// (on every platform, as their toolkits read them); otherwise on X11 the
// Xft.dpi resource (96 = 100 %), on Windows the DPI of the monitor `parent`
// (an HWND, may be null) is on, as GetDpiForWindow tells a per-monitor aware
// host. 1.0 where nothing says.
double desktopScale(void* parent);

// GDK_SCALE or QT_SCALE_FACTOR, if set to a positive number; else 0.
double scaleFromEnvironment();

using WindowFactory = std::unique_ptr<Window> (*)();

// The window of the back end built in, or of the factory installed below.
// `module` is the handle of the module the window belongs to (Windows
// registers the window class on it; null: the module holding this code).
std::unique_ptr<Window> createWindow(void* module);
// Replaces the back end (null restores the built-in one); for tests that run
// the widgets without a display.
void setWindowFactory(WindowFactory factory);

}  // namespace platform
}  // namespace VSTGUI
