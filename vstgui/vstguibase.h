// Basic types of the widget layer: points, rectangles, colours, fonts, mouse
// and key constants, reference counting and the millisecond clock.
#pragma once

#include <cstdint>

#include "interface/vst24.h"

namespace VSTGUI {

using vst::VstKeyCode;

struct CPoint {
    long x = 0;
    long y = 0;
    CPoint() = default;
    constexpr CPoint(long px, long py) : x(px), y(py) {}
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
};

// Left and top inside, right and bottom outside.
struct CRect {
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;
    CRect() = default;
    constexpr CRect(long l, long t, long r, long b) : left(l), top(t), right(r), bottom(b) {}

    long width() const { return right - left; }
    long height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool pointInside(const CPoint& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool intersects(const CRect& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    // This rectangle cut to `o`; empty when they do not meet.
    CRect intersection(const CRect& o) const {
        CRect r(left > o.left ? left : o.left, top > o.top ? top : o.top,
                right < o.right ? right : o.right, bottom < o.bottom ? bottom : o.bottom);
        if (r.isEmpty()) return CRect();
        return r;
    }
    // The smallest rectangle holding both (an empty one counts as nothing).
    CRect unite(const CRect& o) const {
        if (isEmpty()) return o;
        if (o.isEmpty()) return *this;
        return CRect(left < o.left ? left : o.left, top < o.top ? top : o.top,
                     right > o.right ? right : o.right, bottom > o.bottom ? bottom : o.bottom);
    }
    CPoint topLeft() const { return CPoint(left, top); }
    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};

// Red, green, blue, alpha. Drawing uses red, green and blue only.
struct CColor {
    unsigned char red = 0;
    unsigned char green = 0;
    unsigned char blue = 0;
    unsigned char alpha = 255;
    bool operator==(const CColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
};

constexpr CColor kBlackCColor{0, 0, 0, 255};
constexpr CColor kWhiteCColor{255, 255, 255, 255};
constexpr CColor kGreyCColor{127, 127, 127, 255};

enum CHoriTxtAlign { kLeftText = 0, kCenterText = 1, kRightText = 2 };

// The standard font table: index -> face, pixel height of the characters,
// weight.
enum CFont {
    kSystemFont = 0,
    kNormalFontVeryBig,
    kNormalFontBig,
    kNormalFont,
    kNormalFontSmall,
    kNormalFontSmaller,
    kNormalFontVerySmall,
    kSymbolFont,
    kNumStandardFonts
};

struct FontDesc {
    const char* family;
    int pixelHeight;
    bool bold;
};

// The entry of the standard font table for `font` (out-of-range entries give
// kNormalFont).
const FontDesc& standardFont(CFont font);

// Mouse buttons and modifier keys, as one bit set.
enum CButton : long {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
    kApple = 1 << 6,
};
constexpr long kModifierMask = kShift | kControl | kAlt | kApple;

// Virtual keys and modifiers of the VST key code (effEditKeyDown/Up).
enum VstVirtualKey : unsigned char {
    VKEY_BACK = 1, VKEY_TAB, VKEY_CLEAR, VKEY_RETURN, VKEY_PAUSE, VKEY_ESCAPE, VKEY_SPACE,
    VKEY_NEXT, VKEY_END, VKEY_HOME, VKEY_LEFT, VKEY_UP, VKEY_RIGHT, VKEY_DOWN, VKEY_PAGEUP,
    VKEY_PAGEDOWN,
};
enum VstModifierKey : unsigned char {
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2,
    MODIFIER_CONTROL = 1 << 3,
};

// Knob modes (global to the library; see setGlobalKnobMode).
enum CKnobMode { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };
// The library's knob mode, shared by every knob of every editor (circular
// until an editor chooses).
void setGlobalKnobMode(long mode);
long getGlobalKnobMode();

// Intrusive reference count: a new object holds one reference; forget()
// drops one and deletes the object when none is left.
class CReferenceCounter {
public:
    CReferenceCounter() = default;
    virtual ~CReferenceCounter() = default;
    CReferenceCounter(const CReferenceCounter&) = delete;
    CReferenceCounter& operator=(const CReferenceCounter&) = delete;

    void remember() { ++nbReference; }
    void forget() {
        if (--nbReference == 0) delete this;
    }
    long getNbReference() const { return nbReference; }

private:
    long nbReference = 1;
};

// Milliseconds of a monotonic clock, wrapping at 2^32. Compare two readings
// by their unsigned difference.
std::uint32_t getTicks();
// Replaces the clock (null restores the system clock); for tests.
using TickSource = std::uint32_t (*)();
void setTickSource(TickSource source);

}  // namespace VSTGUI
