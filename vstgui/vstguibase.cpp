#include "vstgui/vstguibase.h"

#include <atomic>
#include <chrono>

namespace VSTGUI {

namespace {

// Arial is asked for by name; where it is absent, font matching finds a
// metric-compatible face.
constexpr FontDesc kFonts[kNumStandardFonts] = {
    {"Arial", 12, true},    // kSystemFont
    {"Arial", 18, false},   // kNormalFontVeryBig
    {"Arial", 14, false},   // kNormalFontBig
    {"Arial", 12, false},   // kNormalFont
    {"Arial", 11, false},   // kNormalFontSmall
    {"Arial", 10, false},   // kNormalFontSmaller
    {"Arial", 9, false},    // kNormalFontVerySmall
    {"Symbol", 13, false},  // kSymbolFont
};

std::uint32_t systemTicks() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

std::atomic<TickSource> tickSource{nullptr};
std::atomic<long> knobMode{kCircularMode};  // until an editor chooses

}  // namespace

const FontDesc& standardFont(CFont font) {
    if (font < 0 || font >= kNumStandardFonts) return kFonts[kNormalFont];
    return kFonts[font];
}

std::uint32_t getTicks() {
    const TickSource source = tickSource.load(std::memory_order_relaxed);
    return source ? source() : systemTicks();
}

void setGlobalKnobMode(long mode) { knobMode.store(mode, std::memory_order_relaxed); }
long getGlobalKnobMode() { return knobMode.load(std::memory_order_relaxed); }

void setTickSource(TickSource source) { tickSource.store(source, std::memory_order_relaxed); }

}  // namespace VSTGUI
