#include "tests/gui/MockWindow.h"

namespace guitest {

MockWindow* MockWindow::current = nullptr;
int MockWindow::openCount = 0;
int MockWindow::opened = 0;
bool MockWindow::failNextOpen = false;

MockWindow::~MockWindow() { close(); }

std::unique_ptr<VSTGUI::platform::Window> MockWindow::make() {
    return std::make_unique<MockWindow>();
}

bool MockWindow::open(void* p, int w, int h, VSTGUI::platform::WindowListener* l) {
    if (failNextOpen) {
        failNextOpen = false;
        return false;
    }
    parent = p;
    width = w;
    height = h;
    listener = l;
    isOpen = true;
    current = this;
    ++openCount;
    ++opened;
    return true;
}

void MockWindow::close() {
    if (!isOpen) return;
    isOpen = false;
    --openCount;
    if (current == this) current = nullptr;
}

}  // namespace guitest
