#include "vstgui/platform/Platform.h"

#include <atomic>

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

}  // namespace platform
}  // namespace VSTGUI
