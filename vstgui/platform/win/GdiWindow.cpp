// The Windows back end: a child window of the host's window, of a window
// class registered on the plug-in module's handle, drawn with GDI into a
// back buffer (a DIB section in a memory DC) whose changed parts are copied
// to the window with BitBlt. Input arrives through the window procedure,
// which the host's message loop drives.
#include <windows.h>
#include <windowsx.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <mutex>

#include "vstgui/platform/Platform.h"
#include "vstgui/platform/win/GdiDrawContext.h"

namespace VSTGUI {
namespace platform {

namespace {

// The module that holds this code: the one a window belongs to when no
// module was given.
HINSTANCE ownModule() {
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &m);
    return m;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The editor window class. It is registered on the module's handle under a
// name that holds that handle, so that two copies of the plug-in loaded
// from different files never share a class, and it is unregistered when the
// last window of the module closes: a module the host unloads leaves no
// class behind whose procedure would point into freed code.
class WindowClass {
public:
    // Answers the class name, registering the class for the first window.
    const wchar_t* acquire(HINSTANCE module) {
        std::lock_guard<std::mutex> lock(mutex);
        if (users == 0) {
            std::swprintf(name, sizeof name / sizeof name[0], L"KVBEditorWindow_%p",
                          static_cast<void*>(module));
            WNDCLASSEXW wc;
            ZeroMemory(&wc, sizeof wc);
            wc.cbSize = sizeof wc;
            // No CS_DBLCLKS: a quick second click is a click like the first.
            wc.style = 0;
            wc.lpfnWndProc = windowProc;
            wc.hInstance = module;
            wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            wc.hbrBackground = nullptr;  // the window paints every pixel itself
            wc.lpszClassName = name;
            if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
                return nullptr;
            registeredOn = module;
        }
        ++users;
        return name;
    }

    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        if (users == 0) return;
        if (--users == 0) {
            UnregisterClassW(name, registeredOn);
            registeredOn = nullptr;
        }
    }

private:
    std::mutex mutex;
    int users = 0;
    HINSTANCE registeredOn = nullptr;
    wchar_t name[64] = {0};
};

WindowClass& windowClass() {
    static WindowClass c;
    return c;
}

bool keyHeld(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// The modifiers held now (as of the message being handled).
long modifiersHeld() {
    long b = 0;
    if (keyHeld(VK_SHIFT)) b |= kShift;
    if (keyHeld(VK_CONTROL)) b |= kControl;
    if (keyHeld(VK_MENU)) b |= kAlt;
    if (keyHeld(VK_LWIN) || keyHeld(VK_RWIN)) b |= kApple;
    return b;
}

// Buttons and modifiers from a mouse message's wParam (Alt and the Windows
// keys are not in it).
long buttonsFromWParam(WPARAM wParam) {
    long b = 0;
    if (wParam & MK_LBUTTON) b |= kLButton;
    if (wParam & MK_MBUTTON) b |= kMButton;
    if (wParam & MK_RBUTTON) b |= kRButton;
    if (wParam & MK_SHIFT) b |= kShift;
    if (wParam & MK_CONTROL) b |= kControl;
    return b | (modifiersHeld() & (kAlt | kApple));
}

VstKeyCode keyCodeFrom(WPARAM vk, LPARAM lParam) {
    VstKeyCode k{};
    switch (vk) {
    case VK_BACK: k.virt = VKEY_BACK; break;
    case VK_TAB: k.virt = VKEY_TAB; break;
    case VK_CLEAR: k.virt = VKEY_CLEAR; break;
    case VK_RETURN: k.virt = VKEY_RETURN; break;
    case VK_PAUSE: k.virt = VKEY_PAUSE; break;
    case VK_ESCAPE: k.virt = VKEY_ESCAPE; break;
    case VK_SPACE: k.virt = VKEY_SPACE; break;
    case VK_END: k.virt = VKEY_END; break;
    case VK_HOME: k.virt = VKEY_HOME; break;
    case VK_LEFT: k.virt = VKEY_LEFT; break;
    case VK_UP: k.virt = VKEY_UP; break;
    case VK_RIGHT: k.virt = VKEY_RIGHT; break;
    case VK_DOWN: k.virt = VKEY_DOWN; break;
    case VK_PRIOR: k.virt = VKEY_PAGEUP; break;
    case VK_NEXT: k.virt = VKEY_PAGEDOWN; break;
    default: {
        // The character the key types with the modifiers held, if it is
        // a plain printable one.
        BYTE state[256];
        if (!GetKeyboardState(state)) break;
        WCHAR text[4] = {0};
        const int n = ToUnicode(static_cast<UINT>(vk), static_cast<UINT>((lParam >> 16) & 0xFF),
                                state, text, 4, 0);
        if (n == 1 && text[0] >= 0x20 && text[0] < 0x7F) k.character = static_cast<char>(text[0]);
        break;
    }
    }
    const long mods = modifiersHeld();
    if (mods & kShift) k.modifier |= MODIFIER_SHIFT;
    if (mods & kAlt) k.modifier |= MODIFIER_ALTERNATE;
    if (mods & kControl) k.modifier |= MODIFIER_CONTROL;
    if (mods & kApple) k.modifier |= MODIFIER_COMMAND;
    return k;
}

class GdiWindow : public Window {
    static constexpr UINT_PTR kTimerId = 1;

public:
    explicit GdiWindow(HINSTANCE owner) : module(owner ? owner : ownModule()) {}
    ~GdiWindow() override { close(); }

    bool open(void* parentPtr, int w, int h, WindowListener* l) override {
        close();
        if (w <= 0 || h <= 0 || !l) return false;
        HWND parent = static_cast<HWND>(parentPtr);
        if (!parent || !IsWindow(parent)) return false;
        if (!module) return false;
        listener = l;
        width = w;
        height = h;
        if (!makeBackBuffer()) {
            close();
            return false;
        }
        const wchar_t* className = windowClass().acquire(module);
        if (!className) {
            close();
            return false;
        }
        holdsClass = true;
        // The procedure finds this object from WM_NCCREATE on.
        hwnd = CreateWindowExW(0, className, L"KVB", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, w,
                               h, parent, nullptr, module, this);
        if (!hwnd) {
            close();
            return false;
        }
        return true;
    }

    void close() override {
        if (hwnd) {
            // No message reaches the listener from here on, not even the
            // capture change that destroying the window brings.
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            KillTimer(hwnd, kTimerId);
            if (GetCapture() == hwnd) ReleaseCapture();
            if (IsWindow(hwnd)) DestroyWindow(hwnd);
            hwnd = nullptr;
        }
        if (holdsClass) windowClass().release();
        holdsClass = false;
        releaseBackBuffer();
        listener = nullptr;
        capturing = false;
    }

    // Input comes through the window procedure as the host's message loop
    // dispatches it, and exposed parts are restored in WM_PAINT: nothing is
    // waiting here.
    void handleEvents() override {}

    DrawContext* backBuffer(const CRect& /*bounds*/) override { return context.get(); }

    bool resize(int w, int h) override {
        if (w <= 0 || h <= 0 || !hwnd) return false;
        const int oldWidth = width, oldHeight = height;
        releaseBackBuffer();
        width = w;
        height = h;
        if (!makeBackBuffer()) {
            releaseBackBuffer();
            width = oldWidth;
            height = oldHeight;
            makeBackBuffer();
            return false;
        }
        SetWindowPos(hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return true;
    }

    void present(const std::vector<CRect>& areas) override {
        if (!hwnd || !memoryDc) return;
        GdiFlush();
        HDC dc = GetDC(hwnd);
        if (!dc) return;
        const CRect whole(0, 0, width, height);
        for (const CRect& area : areas) {
            const CRect a = area.intersection(whole);
            if (a.isEmpty()) continue;
            BitBlt(dc, static_cast<int>(a.left), static_cast<int>(a.top), static_cast<int>(a.width()),
                   static_cast<int>(a.height()), memoryDc, static_cast<int>(a.left),
                   static_cast<int>(a.top), SRCCOPY);
        }
        ReleaseDC(hwnd, dc);
        GdiFlush();
    }

    bool pointerState(CPoint& where, long& buttons) override {
        if (!hwnd) return false;
        POINT p;
        if (!GetCursorPos(&p) || !ScreenToClient(hwnd, &p)) return false;
        where = CPoint(p.x, p.y);
        buttons = modifiersHeld();
        if (keyHeld(VK_LBUTTON)) buttons |= kLButton;
        if (keyHeld(VK_MBUTTON)) buttons |= kMButton;
        if (keyHeld(VK_RBUTTON)) buttons |= kRButton;
        return true;
    }

    void* nativeHandle() const override { return hwnd; }

    bool startTimer(unsigned intervalMs) override {
        return hwnd && SetTimer(hwnd, kTimerId, intervalMs > 0 ? intervalMs : 1, nullptr) != 0;
    }

    LRESULT handle(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_TIMER:
            if (wParam != kTimerId) break;
            if (listener) listener->windowTimer();
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(w, &ps);
            if (dc && memoryDc) {
                GdiFlush();
                const RECT& r = ps.rcPaint;
                BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memoryDc, r.left, r.top,
                       SRCCOPY);
            }
            EndPaint(w, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            // PrintWindow and the like: the picture as it stands.
            if (memoryDc) {
                GdiFlush();
                BitBlt(reinterpret_cast<HDC>(wParam), 0, 0, width, height, memoryDc, 0, 0, SRCCOPY);
            }
            return 0;
        case WM_ERASEBKGND: return 1;  // WM_PAINT covers every pixel
        case WM_GETDLGCODE:
            // Arrows, tabs and the rest come to us, not to the host's dialog
            // navigation.
            return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS;

        case WM_LBUTTONDOWN: return mouseDown(w, wParam, lParam, kLButton);
        case WM_MBUTTONDOWN: return mouseDown(w, wParam, lParam, kMButton);
        case WM_RBUTTONDOWN: return mouseDown(w, wParam, lParam, kRButton);
        case WM_LBUTTONUP: return mouseUp(wParam, lParam, kLButton);
        case WM_MBUTTONUP: return mouseUp(wParam, lParam, kMButton);
        case WM_RBUTTONUP: return mouseUp(wParam, lParam, kRButton);
        case WM_MOUSEMOVE:
            lastPoint = pointFrom(lParam);
            listener->windowMouseMoved(lastPoint, buttonsFromWParam(wParam));
            return 0;
        case WM_CAPTURECHANGED:
            // Another window took the mouse during a drag (a dialog, a task
            // switch): the gesture ends where the pointer was last seen, as
            // if the button had been released there.
            if (capturing && reinterpret_cast<HWND>(lParam) != w) {
                capturing = false;
                listener->windowMouseUp(lastPoint, modifiersHeld());
            }
            return 0;
        case WM_MOUSEWHEEL: {
            // The position comes in screen coordinates; one notch is 120.
            POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(w, &p);
            const float distance = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
            const long mods = buttonsFromWParam(GET_KEYSTATE_WPARAM(wParam)) & kModifierMask;
            if (listener->windowWheel(CPoint(p.x, p.y), distance, mods)) return 0;
            break;  // not ours: DefWindowProc hands it to the parent
        }
        case WM_KEYDOWN:
        case WM_KEYUP: {
            const VstKeyCode k = keyCodeFrom(wParam, lParam);
            const bool used =
                message == WM_KEYDOWN ? listener->windowKeyDown(k) : listener->windowKeyUp(k);
            if (used) return 0;
            // A key the editor does not use belongs to the host (its
            // transport and shortcuts), which would have had it had we
            // not taken the focus.
            if (HWND parent = GetParent(w)) return SendMessageW(parent, message, wParam, lParam);
            return 0;
        }
        case WM_NCDESTROY:
            // The parent went first and took this window with it: nothing
            // is left to destroy at close().
            SetWindowLongPtrW(w, GWLP_USERDATA, 0);
            hwnd = nullptr;
            capturing = false;
            break;
        case 0x02E3:  // WM_DPICHANGED_AFTERPARENT (Windows 10 1703 on)
            listener->windowScaleChanged();
            return 0;
        default: break;
        }
        return DefWindowProcW(w, message, wParam, lParam);
    }

private:
    // The module whose window class the window is of.
    const HINSTANCE module;

    static CPoint pointFrom(LPARAM lParam) { return CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); }

    LRESULT mouseDown(HWND w, WPARAM wParam, LPARAM lParam, long button) {
        // Keys go to the editor once it is clicked, and the mouse stays
        // ours until the last button is up, wherever it goes meanwhile.
        if (GetFocus() != w) SetFocus(w);
        if (!capturing) {
            SetCapture(w);
            capturing = true;
        }
        lastPoint = pointFrom(lParam);
        listener->windowMouseDown(lastPoint, buttonsFromWParam(wParam) | button);
        return 0;
    }

    LRESULT mouseUp(WPARAM wParam, LPARAM lParam, long button) {
        lastPoint = pointFrom(lParam);
        const long held = buttonsFromWParam(wParam) & ~button;
        if (capturing && !(held & (kLButton | kMButton | kRButton))) {
            capturing = false;  // before ReleaseCapture, whose message must not end anything
            ReleaseCapture();
        }
        listener->windowMouseUp(lastPoint, held);
        return 0;
    }

    void releaseBackBuffer() {
        context.reset();
        if (memoryDc) {
            if (previousBitmap) SelectObject(memoryDc, previousBitmap);
            DeleteDC(memoryDc);
        }
        memoryDc = nullptr;
        previousBitmap = nullptr;
        if (dib) DeleteObject(dib);
        dib = nullptr;
    }

    bool makeBackBuffer() {
        HDC screen = GetDC(nullptr);
        memoryDc = CreateCompatibleDC(screen);
        if (screen) ReleaseDC(nullptr, screen);
        if (!memoryDc) return false;
        BITMAPINFO info;
        ZeroMemory(&info, sizeof info);
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        dib = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!dib || !bits) return false;
        previousBitmap = SelectObject(memoryDc, dib);
        context = std::make_unique<win::GdiDrawContext>(memoryDc);
        // Black until the first picture is drawn.
        context->fillRect(CRect(0, 0, width, height), kBlackCColor);
        return true;
    }

    HWND hwnd = nullptr;
    bool holdsClass = false;
    WindowListener* listener = nullptr;
    int width = 0;
    int height = 0;
    HDC memoryDc = nullptr;
    HBITMAP dib = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    std::unique_ptr<win::GdiDrawContext> context;
    bool capturing = false;
    CPoint lastPoint;
};

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<GdiWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(hwnd, message, wParam, lParam);
}

}  // namespace

double desktopScale(void* parent) {
    if (const double v = scaleFromEnvironment()) return v;
    // GetDpiForWindow exists from Windows 10 1607 on: looked up, not linked.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    HWND hwnd = static_cast<HWND>(parent);
    if (hwnd && IsWindow(hwnd)) {
        if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
            const auto dpiFor = reinterpret_cast<DpiForWindow>(
                reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
            if (dpiFor)
                if (const UINT dpi = dpiFor(hwnd)) return dpi / 96.0;
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

std::unique_ptr<Window> createNativeWindow(void* module) {
    return std::make_unique<GdiWindow>(static_cast<HINSTANCE>(module));
}

}  // namespace platform
}  // namespace VSTGUI
