// Checks of the Windows build, run under Wine by scripts/test-windows.sh: the
// DLL loaded as a host loads it (LoadLibrary, the exported entry point, the
// AEffect record), its editor in a Win32 host window, the picture read back
// from the screen and compared with the skin bitmaps in the DLL's own
// resources.
//
//   kvb_wincheck editor [--plugin PATH]   the window, its drawing, its lifecycle
//   kvb_wincheck input [--plugin PATH]    mouse, wheel and keys through the X
//                                         server: prints "DO <xdotool args>"
//                                         lines for the script to carry out,
//                                         then waits for their effect
//
// Each prints one line per failed check and closes with
// "wincheck: N passed, M failed"; the exit code is 1 when any failed.
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/Layout.h"
#include "host/DemoSignal.h"
#include "host/PluginHost.h"
#include "host/WinHostWindow.h"
#include "resources/SkinResources.h"

using kvbhost::Picture;
using kvbhost::PluginHost;
using kvbhost::WinHostWindow;
using namespace kvbeditor;

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char* format, ...) {
    if (ok) {
        ++passed;
        return;
    }
    ++failed;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::printf("FAIL %s\n", text);
}

void section(const char* name) { std::printf("== %s\n", name); }

using Clock = std::chrono::steady_clock;

// Where the host window puts the editor on the screen: room around it for
// drags that leave it.
constexpr int kClientX = 100;
constexpr int kClientY = 120;

constexpr int kOptThr1 = 0, kOptGain1 = 1, kDisThr1 = 2, kDisAtk1 = 3, kDisRls1 = 5, kOptThr2 = 7,
              kOptGain2 = 8, kOptMode = 14, kOptByp1 = 18;

struct Rect {
    int left, top, right, bottom;
};

const ControlLayout& layoutOf(int tag) {
    for (const auto& c : kControls)
        if (c.tag == tag) return c;
    return kControls[0];
}

Rect rectOf(int tag) {
    const ControlLayout& c = layoutOf(tag);
    return {c.left, c.top, c.right, c.bottom};
}

// The skin bitmaps as the DLL holds them.
class Skin {
public:
    explicit Skin(void* module) : dll(module) {}
    const skin::Image& image(int id, int percent = 100) {
        static const skin::Image none;
        std::shared_ptr<const skin::Skin>& held = decoded[percent];
        if (!held) held = skin::sharedSkin(dll, percent);
        const skin::Image* img = held ? held->image(id) : nullptr;
        return img ? *img : none;
    }

private:
    void* dll;
    std::map<int, std::shared_ptr<const skin::Skin>> decoded;
};

// Pixels of `area` in `p` that differ (red, green, blue) from `image` read
// from row srcY on; the whole area when the image is missing.
long mismatches(const Picture& p, const Rect& area, const skin::Image& image, int srcY) {
    long n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            const int ix = x - area.left, iy = srcY + y - area.top;
            if (x >= p.width || y >= p.height || ix >= image.width || iy >= image.height) {
                ++n;
                continue;
            }
            const std::uint32_t want =
                image.pixels[static_cast<std::size_t>(iy) * image.width + ix] & 0xFFFFFFu;
            if (p.at(x, y) != want) ++n;
        }
    return n;
}

long mismatches(const Picture& a, const Picture& b, const Rect& area) {
    if (a.width != b.width || a.height != b.height) return -1;
    long n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (a.at(x, y) != b.at(x, y)) ++n;
    return n;
}

const Rect kWhole = {0, 0, kEditorWidth, kEditorHeight};
const Rect kStatusRect = {kStatusLabel.left, kStatusLabel.top, kStatusLabel.right, kStatusLabel.bottom};
const Rect kCaptionRect = {kCaptionLabel.left, kCaptionLabel.top, kCaptionLabel.right,
                           kCaptionLabel.bottom};

class Session {
public:
    explicit Session(const std::string& pluginPath) : path(pluginPath) {}

    bool load() {
        if (!host.load(path)) {
            check(false, "load %s: %s", path.c_str(), host.error().c_str());
            return false;
        }
        module = GetModuleHandleA(path.c_str());
        skin = std::make_unique<Skin>(module);
        host.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        host.dispatch(vst::effSetBlockSize, 0, 512);
        host.dispatch(vst::effMainsChanged, 0, 1);
        return true;
    }

    float param(int i) { return host.effect()->getParameter(host.effect(), i); }
    void setParam(int i, float v) { host.effect()->setParameter(host.effect(), i, v); }

    bool open(int x = kClientX, int y = kClientY) {
        if (!window.handle() && !window.create(kEditorWidth, kEditorHeight, "KVB wincheck", &host, x, y))
            return false;
        isOpen = host.dispatch(vst::effEditOpen, 0, 0, window.handle()) == 1;
        if (isOpen) settle();
        return isOpen;
    }
    void close() {
        host.dispatch(vst::effEditClose);
        isOpen = false;
        window.pumpMessages();
    }

    // Messages and editor idles for `ms` milliseconds: long enough for the
    // first picture and a meter refresh.
    void settle(int ms = 250) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            window.pumpMessages();
            host.dispatch(vst::effEditIdle);
            Sleep(15);
        }
        window.pumpMessages();
    }

    // Messages and idles until `done` or `ms` have passed; answers `done`.
    bool waitFor(const std::function<bool()>& done, int ms = 5000) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            window.pumpMessages();
            host.dispatch(vst::effEditIdle);
            if (done()) {
                settle(100);
                return true;
            }
            Sleep(10);
        }
        return done();
    }

    Picture capture() {
        window.pumpMessages();
        Picture p;
        std::string error;
        if (!window.capture(p, error)) check(false, "capture: %s", error.c_str());
        return p;
    }

    long frameMismatches(const Picture& p, int tag, int frameIndex) {
        const ControlLayout& c = layoutOf(tag);
        const skin::Image& strip = skin->image(c.bitmapId);
        if (strip.height == 0) return -1;
        return mismatches(p, rectOf(tag), strip, frameIndex * (strip.height / c.frames));
    }

    int shownFrame(const Picture& p, int tag) {
        for (int f = 0; f < layoutOf(tag).frames; ++f)
            if (frameMismatches(p, tag, f) == 0) return f;
        return -1;
    }

    // The screen position of a point of the editor.
    POINT screenPoint(int x, int y) const {
        POINT pt = {x, y};
        if (HWND c = static_cast<HWND>(window.child())) ClientToScreen(c, &pt);
        return pt;
    }
    POINT centreOf(int tag) const {
        const Rect r = rectOf(tag);
        return screenPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    std::string path;
    PluginHost host;
    WinHostWindow window;
    void* module = nullptr;
    std::unique_ptr<Skin> skin;
    bool isOpen = false;
};

std::wstring classNameOf(HWND w) {
    wchar_t name[256] = {0};
    GetClassNameW(w, name, 255);
    return name;
}

bool classRegistered(void* module, const std::wstring& name) {
    WNDCLASSEXW wc;
    wc.cbSize = sizeof wc;
    return GetClassInfoExW(static_cast<HINSTANCE>(module), name.c_str(), &wc) != 0;
}

// Every knob at some multiple of 1/N, every switch on or off, as a
// function of its tag; the frame each should show.
void setDistinctValues(Session& s) {
    for (const auto& c : kControls) {
        if (c.kind == ViewKind::Knob)
            s.setParam(c.tag, static_cast<float>((c.tag * 7) % (c.steps + 1)) / static_cast<float>(c.steps));
        if (c.kind == ViewKind::Switch) s.setParam(c.tag, static_cast<float>(c.tag % 2));
    }
}
int distinctFrame(const ControlLayout& c) {
    if (c.kind == ViewKind::Knob) {
        const int k = (c.tag * 7) % (c.steps + 1);
        if (isModeKnob(c)) return k;  // k/2 runs mode k
        return k == 0 ? 0 : k - 1;    // k/N of the N - 1 frame steps falls in frame k - 1
    }
    if (c.kind == ViewKind::Switch) return c.tag % 2;
    return 60;  // meters: no audio yet, at rest
}

int runEditorChecks(const std::string& plugin) {
    Session s(plugin);
    if (!s.load()) return 1;

    section("the editor's size before it opens");
    {
        vst::ERect* r = nullptr;
        check(s.host.dispatch(vst::effEditGetRect, 0, 0, &r) == 1 && r, "effEditGetRect answers a rectangle");
        if (r)
            check(r->right - r->left == 1100 && r->bottom - r->top == 616, "editor is %dx%d, not 1100x616",
                  r->right - r->left, r->bottom - r->top);
    }

    section("no window without a parent");
    check(s.host.dispatch(vst::effEditOpen, 0, 0, nullptr) == 0, "effEditOpen with no parent is refused");
    check(s.host.dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(0x7ffffff0)) == 0,
          "effEditOpen with a handle that is no window is refused");

    section("the window and its class");
    setDistinctValues(s);
    if (!s.open()) {
        check(false, "effEditOpen in a host window answers 1");
        return 1;
    }
    HWND host = static_cast<HWND>(s.window.handle());
    HWND child = static_cast<HWND>(s.window.child());
    check(child != nullptr, "the editor made a child window of the host's window");
    if (!child) return 1;
    check(GetParent(child) == host, "the editor's window is a child of the host's window");
    check((GetWindowLongPtrW(child, GWL_STYLE) & WS_CHILD) != 0, "the editor's window has WS_CHILD");
    check(IsWindowVisible(child) != 0, "the editor's window is visible");
    RECT cr;
    GetClientRect(child, &cr);
    check(cr.right == 1100 && cr.bottom == 616, "the editor's window is %ldx%ld, not 1100x616", cr.right,
          cr.bottom);
    const std::wstring className = classNameOf(child);
    check(reinterpret_cast<void*>(GetClassLongPtrW(child, GCLP_HMODULE)) == s.module,
          "the window class is registered on the DLL's module handle");
    check(className.rfind(L"KVBEditorWindow", 0) == 0, "the window class has the editor's name");

    section("the skin on screen");
    const Picture first = s.capture();
    check(first.width == 1100 && first.height == 616, "capture is %dx%d", first.width, first.height);
    if (first.width != 1100 || first.height != 616) return 1;
    check(mismatches(first, Rect{0, 0, 1100, 40}, s.skin->image(kBackgroundBitmap), 0) == 0,
          "the title strip is bitmap 101");
    for (const auto& c : kControls) {
        const int want = distinctFrame(c);
        check(s.frameMismatches(first, c.tag, want) == 0, "tag %d shows frame %d, not %d", c.tag,
              s.shownFrame(first, c.tag), want);
    }

    section("the labels");
    {
        // Filled with their back colour, outlined, and with text in them.
        // The text keeps 2 pixels clear of the sides, but may reach the top
        // and bottom rows (descenders in the 10-pixel caption): the sides
        // show the outline.
        auto outline = [&](const Rect& r, std::uint32_t colour) {
            long off = 0;
            for (int y = r.top; y < r.bottom; ++y)
                off += (first.at(r.left, y) != colour) + (first.at(r.right - 1, y) != colour);
            return off;
        };
        auto inked = [&](const Rect& r, std::uint32_t colour) {
            long n = 0;
            for (int y = r.top + 1; y < r.bottom - 1; ++y)
                for (int x = r.left + 1; x < r.right - 1; ++x) n += first.at(x, y) != colour;
            return n;
        };
        check(outline(kStatusRect, 0x000000) == 0, "the status label's sides are black");
        check(outline(kCaptionRect, 0x041226) == 0, "the caption label's sides are 4, 18, 38");
        const long statusInk = inked(kStatusRect, 0x000000), captionInk = inked(kCaptionRect, 0x041226);
        check(statusInk > 5, "the status label shows its text (%ld pixels)", statusInk);
        check(captionInk > 50, "the caption label shows its text (%ld pixels)", captionInk);
        // "---" in a 12 px font is short: the label's right half is bare.
        check(inked(Rect{61, kStatusRect.top, kStatusRect.right, kStatusRect.bottom}, 0) == 0,
              "the status text stays at the left");
    }

    section("WM_PRINTCLIENT gives the same picture");
    {
        HDC screen = GetDC(child);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info;
        ZeroMemory(&info, sizeof info);
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = 1100;
        info.bmiHeader.biHeight = -616;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, dib);
        SendMessageW(child, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
        GdiFlush();
        Picture printed;
        printed.width = 1100;
        printed.height = 616;
        const auto* px = static_cast<const std::uint32_t*>(bits);
        for (int i = 0; i < 1100 * 616; ++i) printed.pixels.push_back(px[i] & 0xFFFFFFu);
        SelectObject(memory, old);
        DeleteObject(dib);
        DeleteDC(memory);
        ReleaseDC(child, screen);
        check(mismatches(first, printed, kWhole) == 0, "WM_PRINTCLIENT differs from the screen in %ld pixels",
              mismatches(first, printed, kWhole));
    }

    section("host automation moves a knob");
    s.setParam(kOptGain2, 0.75f);
    s.settle();
    const Picture automated = s.capture();
    check(s.frameMismatches(automated, kOptGain2, 17) == 0, "OptGain2 at 0.75 shows frame %d, not 17",
          s.shownFrame(automated, kOptGain2));
    check(mismatches(first, automated, kStatusRect) == 0, "host automation leaves the status label");
    {
        // Nothing but that knob changed.
        const Rect k = rectOf(kOptGain2);
        const long outside = mismatches(first, automated, kWhole) - mismatches(first, automated, k);
        check(outside == 0, "%ld pixels outside OptGain2 changed", outside);
    }

    section("an exposed window is restored");
    {
        // Another window over the editor, then gone: WM_PAINT brings the
        // picture back from the back buffer, without an idle.
        HWND cover = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, kClientX + 200,
                                     kClientY + 150, 300, 200, nullptr, nullptr, nullptr, nullptr);
        s.window.pumpMessages();
        Sleep(50);
        DestroyWindow(cover);
        for (int i = 0; i < 10; ++i) {
            s.window.pumpMessages();
            Sleep(20);
        }
        const Picture exposed = s.capture();
        check(mismatches(automated, exposed, kWhole) == 0, "after the cover went %ld pixels differ",
              mismatches(automated, exposed, kWhole));
    }

    section("close, and open again");
    s.close();
    check(s.window.child() == nullptr, "effEditClose removes the editor's window");
    check(!classRegistered(s.module, className), "the window class is unregistered with the last window");
    check(s.open(), "the editor opens again");
    const Picture again = s.capture();
    check(mismatches(automated, again, kWhole) == 0,
          "the second window shows the same picture (%ld pixels differ)", mismatches(automated, again, kWhole));

    section("two editors of two instances");
    {
        Session other(plugin);
        if (other.load()) {
            check(other.module == s.module, "both instances live in one module");
            check(other.open(kClientX + 40, kClientY + 40), "a second instance's editor opens");
            HWND c2 = static_cast<HWND>(other.window.child());
            check(c2 && classNameOf(c2) == className, "both windows share the class");
            s.close();
            check(classRegistered(s.module, className), "the class stays while a window of it is open");
            other.settle();
            const Picture p2 = other.capture();
            check(mismatches(p2, Rect{0, 0, 1100, 40}, s.skin->image(kBackgroundBitmap), 0) == 0,
                  "the second editor draws its skin");
            other.close();
            check(!classRegistered(s.module, className), "the class goes with the last window");
        }
    }

    section("a parent that goes before effEditClose");
    {
        check(s.open(), "the editor opens");
        s.window.destroy();  // takes the editor's window with it
        s.window.pumpMessages();
        s.host.dispatch(vst::effEditIdle);
        s.host.dispatch(vst::effEditClose);
        s.isOpen = false;
        check(!classRegistered(s.module, className), "the class is unregistered after the late close");
        check(s.open(), "the editor opens in a new window");
        const Picture p = s.capture();
        check(mismatches(p, Rect{0, 0, 1100, 40}, s.skin->image(kBackgroundBitmap), 0) == 0,
              "and draws its skin");
        s.close();
        s.window.destroy();
    }

    section("three-position knobs show the mode in effect");
    {
        // Whatever value a host gives them: 0 below 0.33, 1 below 0.66, else 2.
        s.setParam(25, 0.0f);  // mid/side: Trafo2 sets a mode of its own
        check(s.open(), "the editor opens");
        const float values[] = {0.0f, 0.2f, 1.0f / 3.0f, 0.5f, 2.0f / 3.0f, 0.7f, 1.0f};
        const int modes[] = {0, 0, 1, 1, 2, 2, 2};
        for (int i = 0; i < 7; ++i) {
            for (int tag = 14; tag <= 17; ++tag) s.setParam(tag, values[i]);
            s.settle();
            const Picture p = s.capture();
            for (int tag = 14; tag <= 17; ++tag)
                check(s.frameMismatches(p, tag, modes[i]) == 0, "tag %d at %.4f shows frame %d, not %d", tag,
                      static_cast<double>(values[i]), s.shownFrame(p, tag), modes[i]);
        }
        s.close();
    }

    section("the desktop's scale changes under the open editor");
    {
        // As when the host's window goes to a monitor of another DPI: the
        // editor takes the scale, resizes its window and asks the host to
        // follow (audioMasterSizeWindow).
        check(s.open(), "the editor opens");
        HWND editorWindow = static_cast<HWND>(s.window.child());
        s.host.events.clear();
        _putenv_s("QT_SCALE_FACTOR", "2");
        SendMessageW(editorWindow, 0x02E3 /* WM_DPICHANGED_AFTERPARENT */, 0, 0);
        s.settle();
        RECT rc{};
        GetClientRect(editorWindow, &rc);
        check(rc.right == 2200 && rc.bottom == 1232, "the editor's window is 2200 x 1232 (%ld x %ld)", rc.right,
              rc.bottom);
        bool asked = false;
        for (const auto& e : s.host.events)
            asked = asked || (e.opcode == vst::audioMasterSizeWindow && e.index == 2200 && e.value == 1232.0f);
        check(asked, "the host is asked for 2200 x 1232");
        check(s.window.child() == editorWindow, "the same window");
        const Picture p = s.capture();
        check(mismatches(p, Rect{0, 0, 1100, 80}, s.skin->image(kBackgroundBitmap, 200), 0) == 0,
              "it shows the skin drawn for 200 %%");
        _putenv_s("QT_SCALE_FACTOR", "");
        SendMessageW(editorWindow, 0x02E3, 0, 0);
        s.settle();
        GetClientRect(editorWindow, &rc);
        check(rc.right == 1100 && rc.bottom == 616, "and back at 100 %%: 1100 x 616 (%ld x %ld)", rc.right,
              rc.bottom);
        s.close();
    }

    section("meters after gain reduction");
    {
        for (int i : {0, 2, 7, 9}) s.setParam(i, 0.0f);
        std::vector<float> l(44100), r(44100), ol(512), orr(512);
        kvbhost::renderDemoSignal(44100.0f, l.size(), l.data(), r.data());
        for (std::size_t at = 0; at + 512 <= l.size(); at += 512) {
            float* in[2] = {l.data() + at, r.data() + at};
            float* out[2] = {ol.data(), orr.data()};
            s.host.effect()->processReplacing(s.host.effect(), in, out, 512);
        }
        check(s.open(), "the editor opens");
        const Picture p = s.capture();
        for (int tag : {kMeter1Tag, kMeter2Tag}) {
            const int f = s.shownFrame(p, tag);
            check(f >= 0 && f < 60, "meter %d shows frame %d, not one below its rest (60)", tag, f);
        }
        s.close();
    }
    return 0;
}

// One step of the input checks: what the X server is to do, and what the
// editor must then have done.
void doStep(const char* what, const std::string& xdotool) {
    std::printf("DO %s\n", xdotool.c_str());
    std::printf("   (%s)\n", what);
}

std::string at(POINT p) { return std::to_string(p.x) + " " + std::to_string(p.y); }

bool hasEvent(const PluginHost& h, vst::int32 opcode, int index) {
    for (const auto& e : h.events)
        if (e.opcode == opcode && e.index == index) return true;
    return false;
}

int runInputChecks(const std::string& plugin) {
    Session s(plugin);
    if (!s.load()) return 1;
    for (int t : {kOptThr1, kOptGain1, kDisThr1, kDisAtk1, kDisRls1, kOptThr2, kOptByp1}) s.setParam(t, 0.0f);
    if (!s.open()) {
        check(false, "effEditOpen in a host window answers 1");
        return 1;
    }
    const Picture before = s.capture();

    section("a click toggles a switch");
    s.host.events.clear();
    doStep("click OptByp1", "mousemove " + at(s.centreOf(kOptByp1)) + " click 1");
    check(s.waitFor([&] { return s.param(kOptByp1) == 1.0f; }), "OptByp1 is %g after a click, not 1",
          s.param(kOptByp1));
    {
        const Picture p = s.capture();
        check(s.frameMismatches(p, kOptByp1, 1) == 0, "OptByp1 shows frame %d, not 1", s.shownFrame(p, kOptByp1));
        check(mismatches(before, p, kStatusRect) > 0, "the status label shows the new value");
        check(hasEvent(s.host, vst::audioMasterAutomate, kOptByp1), "the host heard of the change");
    }
    doStep("click OptByp1 again", "click 1");
    check(s.waitFor([&] { return s.param(kOptByp1) == 0.0f; }), "OptByp1 is %g after a second click, not 0",
          s.param(kOptByp1));
    check(s.frameMismatches(s.capture(), kOptByp1, 0) == 0, "OptByp1 shows frame 0 again");

    section("a drag turns a knob");
    {
        s.host.events.clear();
        const POINT c = s.centreOf(kOptThr1);
        const POINT to = {c.x + 60, c.y - 42};
        doStep("drag OptThr1 60 right and 42 up",
               "mousemove " + at(c) + " mousedown 1 mousemove " + at(to) + " mouseup 1");
        check(s.waitFor([&] { return hasEvent(s.host, vst::audioMasterEndEdit, kOptThr1); }),
              "the drag ended (audioMasterEndEdit)");
        // 102 pixels of 200: 0.51, sent as 12/24.
        check(s.param(kOptThr1) == 0.5f, "OptThr1 is %g after the drag, not 0.5", s.param(kOptThr1));
        check(!s.host.events.empty() && s.host.events.front().opcode == vst::audioMasterBeginEdit,
              "the gesture began with audioMasterBeginEdit");
        const Picture p = s.capture();
        check(s.frameMismatches(p, kOptThr1, 11) == 0, "OptThr1 shows frame %d, not 11", s.shownFrame(p, kOptThr1));
    }

    section("a drag keeps the mouse outside the window");
    {
        s.setParam(kOptThr1, 0.0f);
        s.host.events.clear();
        const POINT c = s.centreOf(kOptThr1);
        // Up past the editor's top edge and released there, over the host's
        // title bar: only a captured mouse still reports to the editor.
        const POINT to = {c.x + 60, c.y - 150};
        check(to.y < s.screenPoint(0, 0).y, "the drag's end lies above the editor");
        doStep("drag OptThr1 out of the window",
               "mousemove " + at(c) + " mousedown 1 mousemove " + at({c.x + 30, c.y - 75}) +
                   " mousemove " + at(to) + " mouseup 1");
        check(s.waitFor([&] { return hasEvent(s.host, vst::audioMasterEndEdit, kOptThr1); }),
              "the release outside the window ended the drag");
        check(s.param(kOptThr1) == 1.0f, "OptThr1 is %g, not 1 (210 pixels of 200)", s.param(kOptThr1));
    }

    section("Shift drags finely, Ctrl clicks to the default");
    {
        s.host.events.clear();
        const POINT c = s.centreOf(kOptThr2);
        doStep("Shift-drag OptThr2 60 right and 42 up",
               "mousemove " + at(c) + " keydown shift mousedown 1 mousemove " + at({c.x + 60, c.y - 42}) +
                   " mouseup 1 keyup shift");
        check(s.waitFor([&] { return hasEvent(s.host, vst::audioMasterEndEdit, kOptThr2); }),
              "the fine drag ended");
        // 102 pixels of 300: 0.34, sent as 8/24.
        check(std::fabs(s.param(kOptThr2) - 8.0f / 24.0f) < 1e-6f, "OptThr2 is %g, not 1/3", s.param(kOptThr2));

        s.host.events.clear();
        doStep("Ctrl-click OptGain1", "mousemove " + at(s.centreOf(kOptGain1)) + " keydown ctrl click 1 keyup ctrl");
        check(s.waitFor([&] { return s.param(kOptGain1) == 0.5f; }), "OptGain1 is %g after Ctrl-click, not 0.5",
              s.param(kOptGain1));
    }

    section("a three-position knob sends 0, 0.5 or 1");
    {
        s.setParam(kOptMode, 0.0f);
        s.host.events.clear();
        const POINT c = s.centreOf(kOptMode);
        // 60 pixels: 0.3, sent as 0.5; 160 pixels: 0.8, sent as 1.
        doStep("drag OptMode 60, then 160 pixels right",
               "mousemove " + at(c) + " mousedown 1 mousemove " + at({c.x + 30, c.y}) + " mousemove " +
                   at({c.x + 60, c.y}) + " mousemove " + at({c.x + 160, c.y}) + " mouseup 1");
        check(s.waitFor([&] { return hasEvent(s.host, vst::audioMasterEndEdit, kOptMode); }),
              "the drag on OptMode ended");
        check(s.param(kOptMode) == 1.0f, "OptMode is %g after the drag, not 1", s.param(kOptMode));
        int others = 0;
        for (const auto& e : s.host.events)
            if (e.opcode == vst::audioMasterAutomate && e.index == kOptMode && e.value != 0.0f &&
                e.value != 0.5f && e.value != 1.0f)
                ++others;
        check(others == 0, "the drag sent %d values other than 0, 0.5 and 1", others);
        Picture p = s.capture();
        check(s.frameMismatches(p, kOptMode, 2) == 0, "OptMode shows frame %d, not 2", s.shownFrame(p, kOptMode));

        doStep("Ctrl-click OptMode", "mousemove " + at(c) + " keydown ctrl click 1 keyup ctrl");
        check(s.waitFor([&] { return s.param(kOptMode) == 0.5f; }), "OptMode is %g after Ctrl-click, not 0.5",
              s.param(kOptMode));
        p = s.capture();
        check(s.frameMismatches(p, kOptMode, 1) == 0, "OptMode shows frame %d, not 1", s.shownFrame(p, kOptMode));
    }

    section("the wheel and the keys");
    {
        check(GetFocus() == static_cast<HWND>(s.window.child()),
              "a click gave the editor's window the keyboard focus");
        doStep("wheel up over DisAtk1", "mousemove " + at(s.centreOf(kDisAtk1)) + " click 4");
        check(s.waitFor([&] { return s.param(kDisAtk1) != 0.0f; }), "the wheel moved DisAtk1");
        check(std::fabs(s.param(kDisAtk1) - 1.0f / 6.0f) < 1e-6f, "DisAtk1 is %g after one notch, not 1/6",
              s.param(kDisAtk1));
        // A click gives the knob the keys (no movement: no change).
        doStep("click DisAtk1", "click 1");
        s.settle(300);
        doStep("key Up", "key Up");
        check(s.waitFor([&] { return std::fabs(s.param(kDisAtk1) - 2.0f / 6.0f) < 1e-6f; }),
              "DisAtk1 is %g after Up, not 2/6", s.param(kDisAtk1));
        doStep("key Down", "key Down");
        check(s.waitFor([&] { return std::fabs(s.param(kDisAtk1) - 1.0f / 6.0f) < 1e-6f; }),
              "DisAtk1 is %g after Down, not 1/6", s.param(kDisAtk1));
    }

    section("the host's wheel message");
    {
        // The host window has the focus: it hands the wheel to the plug-in,
        // which finds the knob under the pointer.
        SetFocus(static_cast<HWND>(s.window.handle()));
        s.settle(100);
        doStep("wheel up over DisRls1, host focused", "mousemove " + at(s.centreOf(kDisRls1)) + " click 4");
        check(s.waitFor([&] { return s.param(kDisRls1) != 0.0f; }), "the host's wheel message moved DisRls1");
        check(std::fabs(s.param(kDisRls1) - 1.0f / 6.0f) < 1e-6f, "DisRls1 is %g, not 1/6", s.param(kDisRls1));
    }

    section("a drag whose mouse another window takes ends for the host");
    {
        // A dialog or a task switch takes the mouse mid-drag: the release
        // will never reach the editor, so the gesture ends there and then.
        s.setParam(kDisThr1, 0.0f);
        s.host.events.clear();
        const POINT c = s.centreOf(kDisThr1);
        doStep("press on DisThr1 and move", "mousemove " + at(c) + " mousedown 1 mousemove " + at({c.x + 20, c.y - 20}));
        check(s.waitFor([&] { return s.param(kDisThr1) != 0.0f; }), "the drag moved DisThr1");
        check(!hasEvent(s.host, vst::audioMasterEndEdit, kDisThr1), "the drag is still running");
        HWND host = static_cast<HWND>(s.window.handle());
        SetCapture(host);
        s.settle(100);
        check(hasEvent(s.host, vst::audioMasterEndEdit, kDisThr1), "losing the mouse ended the gesture");
        doStep("release", "mouseup 1");
        s.settle(200);
        ReleaseCapture();
        // The editor takes new gestures as before.
        s.host.events.clear();
        doStep("click OptByp1", "mousemove " + at(s.centreOf(kOptByp1)) + " click 1");
        check(s.waitFor([&] { return s.param(kOptByp1) == 1.0f; }), "a click after the lost drag still works");
    }

    section("Alt turns a linear drag into a circular one");
    {
        // From the right of OptGain2's centre to straight above it: no
        // distance along the linear drag's diagonal, but the angle of
        // 12 o'clock, the middle of the sweep, for a circular one.
        s.setParam(kOptGain2, 0.0f);
        s.host.events.clear();
        const Rect r = rectOf(kOptGain2);
        const POINT c = s.screenPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        doStep("Alt-drag OptGain2 from 3 to 12 o'clock",
               "mousemove " + at({c.x + 30, c.y}) + " keydown alt mousedown 1 mousemove " +
                   at({c.x + 20, c.y - 20}) + " mousemove " + at({c.x, c.y - 30}) + " mouseup 1 keyup alt");
        check(s.waitFor([&] { return hasEvent(s.host, vst::audioMasterEndEdit, kOptGain2); }),
              "the Alt-drag ended");
        check(s.param(kOptGain2) == 0.5f, "OptGain2 is %g after the Alt-drag, not 0.5", s.param(kOptGain2));
    }

    s.close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::string command = argc > 1 ? argv[1] : "";
    std::string plugin = kvbhost::defaultPluginPath();
    for (int i = 2; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--plugin") == 0) plugin = argv[i + 1];
    if (command == "editor") runEditorChecks(plugin);
    else if (command == "input") runInputChecks(plugin);
    else {
        std::fprintf(stderr, "usage: kvb_wincheck editor|input [--plugin PATH]\n");
        return 2;
    }
    std::printf("wincheck: %d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
