#include "tests/gui/GuiTestSupport.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Module.h"

namespace guitest {

const skin::Image& skinImage(int id, int percent) {
    static std::mutex lock;
    static std::map<int, std::shared_ptr<const skin::Skin>> held;
    static const skin::Image none;
    std::lock_guard<std::mutex> guard(lock);
    std::shared_ptr<const skin::Skin>& s = held[percent];
    if (!s) s = skin::sharedSkin(hInstance, percent);
    const skin::Image* image = s ? s->image(id) : nullptr;
    return image ? *image : none;
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

const kvbeditor::ControlLayout& layoutOf(int tag) {
    const kvbeditor::ControlLayout* c = kvbeditor::controlOf(tag);
    return c ? *c : kvbeditor::kControls[0];
}

VSTGUI::CRect rectOf(int tag) {
    const kvbeditor::ControlLayout& c = layoutOf(tag);
    return VSTGUI::CRect(c.left, c.top, c.right, c.bottom);
}

long frameMismatches(const Picture& p, int tag, int frameIndex) {
    const kvbeditor::ControlLayout& c = layoutOf(tag);
    const skin::Image& strip = skinImage(c.bitmapId);
    return mismatches(p, rectOf(tag), strip, frameIndex * (strip.height / c.frames));
}

int shownFrame(const Picture& p, int tag) {
    for (int f = 0; f < layoutOf(tag).frames; ++f)
        if (frameMismatches(p, tag, f) == 0) return f;
    return -1;
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
