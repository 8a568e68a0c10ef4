#include "vstgui/platform/Platform.h"

#include <atomic>
#include <cstdlib>

namespace VSTGUI {
namespace platform {

// The built-in back end's window (vstgui/platform/<backend>/).
std::unique_ptr<Window> createNativeWindow(void* module);

namespace {
std::atomic<WindowFactory> factory{nullptr};
}

std::unique_ptr<Window> createWindow(void* module) {
    const WindowFactory f = factory.load(std::memory_order_relaxed);
    return f ? f() : createNativeWindow(module);
}

void setWindowFactory(WindowFactory f) { factory.store(f, std::memory_order_relaxed); }

double scaleFromEnvironment() {
    for (const char* name : {"GDK_SCALE", "QT_SCALE_FACTOR"}) {
        const char* text = std::getenv(name);
        if (!text || !*text) continue;
        char* end = nullptr;
        const double v = std::strtod(text, &end);
        if (end != text && v > 0.0 && v < 100.0) return v;
    }
    return 0.0;
}

}  // namespace platform
}  // namespace VSTGUI
