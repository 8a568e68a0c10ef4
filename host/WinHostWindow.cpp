#include "host/WinHostWindow.h"

#include <windows.h>
#include <windowsx.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace kvbhost {

namespace {

constexpr wchar_t kClassName[] = L"KVBHostWindow";

// 'stCA' and 'Whee': the vendor-specific request that carries a wheel turn.
constexpr vst::int32 kWheelIndex = 0x73744341;
constexpr vst::intptr kWheelValue = 0x57686565;

struct WindowState {
    const PluginHost* plugin;
    bool closed;
};

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_CLOSE:
        if (state) state->closed = true;
        return 0;  // the command closes the editor first, then the window
    case WM_MOUSEWHEEL:
        // The wheel goes to the window with the focus; while that is ours,
        // the plug-in hears of it through the host's wheel message, as
        // hosts do.
        if (state && state->plugin) {
            const float distance = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
            state->plugin->dispatch(vst::effVendorSpecific, kWheelIndex, kWheelValue, nullptr,
                                    distance);
        }
        return 0;
    case WM_NCDESTROY:
        if (state) delete state;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool registerClass() {
    WNDCLASSEXW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// CRC-32 (ISO 3309, as PNG chunks use it).
std::uint32_t crc32(const unsigned char* data, std::size_t n) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void putBig32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void putChunk(std::vector<unsigned char>& out, const char type[4],
              const std::vector<unsigned char>& data) {
    putBig32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBig32(out, crc32(out.data() + start, out.size() - start));
}

}  // namespace

WinHostWindow::~WinHostWindow() { destroy(); }

bool WinHostWindow::create(int width, int height, const char* title, const PluginHost* plugin, int x,
                           int y) {
    destroy();
    if (!registerClass()) return false;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT r = {0, 0, width, height};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    // The client area's corner where asked.
    const int left = x + r.left, top = y + r.top;
    wchar_t wideTitle[128] = {0};
    MultiByteToWideChar(CP_UTF8, 0, title, -1, wideTitle, 127);
    auto* state = new WindowState{plugin, false};
    HWND h = CreateWindowExW(0, kClassName, wideTitle, style, left, top, r.right - r.left,
                             r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), state);
    if (!h) {
        delete state;
        return false;
    }
    hwnd_ = h;
    ShowWindow(h, SW_SHOWNORMAL);
    UpdateWindow(h);
    SetForegroundWindow(h);
    pumpMessages();
    return true;
}

void WinHostWindow::destroy() {
    if (!hwnd_) return;
    HWND h = static_cast<HWND>(hwnd_);
    hwnd_ = nullptr;
    if (IsWindow(h)) DestroyWindow(h);
}

void* WinHostWindow::child() const {
    return hwnd_ ? GetWindow(static_cast<HWND>(hwnd_), GW_CHILD) : nullptr;
}

bool WinHostWindow::pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (!hwnd_) return false;
    const auto* state =
        reinterpret_cast<const WindowState*>(GetWindowLongPtrW(static_cast<HWND>(hwnd_), GWLP_USERDATA));
    return state && !state->closed;
}

bool WinHostWindow::capture(Picture& out, std::string& error) const {
    HWND h = static_cast<HWND>(hwnd_);
    RECT client;
    if (!h || !GetClientRect(h, &client) || client.right <= 0 || client.bottom <= 0) {
        error = "no window to capture";
        return false;
    }
    const int w = client.right, ht = client.bottom;
    GdiFlush();
    HDC windowDc = GetDC(h);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -ht;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (dib && bits) {
        HGDIOBJ previous = SelectObject(memoryDc, dib);
        // The window DC reads what is on screen, the editor's child window
        // included.
        ok = BitBlt(memoryDc, 0, 0, w, ht, windowDc, 0, 0, SRCCOPY) != 0;
        GdiFlush();
        if (ok) {
            out.width = w;
            out.height = ht;
            const auto* px = static_cast<const std::uint32_t*>(bits);
            out.pixels.assign(px, px + static_cast<std::size_t>(w) * static_cast<std::size_t>(ht));
            for (std::uint32_t& p : out.pixels) p &= 0xFFFFFFu;
        }
        SelectObject(memoryDc, previous);
    }
    if (dib) DeleteObject(dib);
    DeleteDC(memoryDc);
    ReleaseDC(h, windowDc);
    if (!ok) error = "cannot read the window's picture";
    return ok;
}

bool writePng(const std::string& path, const Picture& picture, std::string& error) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height) {
        error = "no picture to write";
        return false;
    }
    // The image data: each row a filter byte (0, none) and red, green, blue.
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<std::size_t>(picture.height) * (1 + 3 * picture.width));
    for (int y = 0; y < picture.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t p = picture.at(x, y);
            raw.push_back(static_cast<unsigned char>(p >> 16));
            raw.push_back(static_cast<unsigned char>(p >> 8));
            raw.push_back(static_cast<unsigned char>(p));
        }
    }
    // A zlib stream of stored (uncompressed) deflate blocks: header, blocks
    // of at most 65535 bytes, Adler-32 of the data.
    std::vector<unsigned char> z = {0x78, 0x01};
    std::size_t pos = 0;
    do {
        const std::size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        const bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<unsigned char>(n & 0xFF));
        z.push_back(static_cast<unsigned char>(n >> 8));
        z.push_back(static_cast<unsigned char>(~n & 0xFF));
        z.push_back(static_cast<unsigned char>((~n >> 8) & 0xFF));
        z.insert(z.end(), raw.begin() + static_cast<long>(pos), raw.begin() + static_cast<long>(pos + n));
        pos += n;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521u;
        b = (b + a) % 65521u;
    }
    putBig32(z, (b << 16) | a);

    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    putBig32(header, static_cast<std::uint32_t>(picture.width));
    putBig32(header, static_cast<std::uint32_t>(picture.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", z);
    putChunk(png, "IEND", {});

    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::remove(path.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace kvbhost
