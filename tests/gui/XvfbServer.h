// A private X server for the tests: Xvfb on a display number it picks itself
// (-displayfd), so that tests running side by side never collide. DISPLAY
// points at it while it runs.
#pragma once

#include <string>

namespace guitest {

class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer() { stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts the server and sets DISPLAY; on failure answers false with a
    // reason in error().
    bool start();
    void stop();
    const std::string& display() const { return name; }
    const std::string& error() const { return why; }

private:
    int pid = -1;
    std::string name;
    std::string why;
};

}  // namespace guitest
