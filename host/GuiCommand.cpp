// kvb gui and kvb screenshot: the plug-in's editor in a window of our own,
// driven as a Linux host drives it (effEditOpen with the window id, then
// effEditIdle from our loop). Knows the plug-in only through its AEffect.
#include <X11/Xlib.h>
#include <cairo.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "host/AudioFeeder.h"
#include "host/Commands.h"
#include "host/EditorSession.h"
#include "host/OutputFile.h"
#include "host/DemoSignal.h"
#include "host/ParamOptions.h"
#include "host/PluginHost.h"
#include "host/X11HostWindow.h"

namespace kvbhost {

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

// Our own protocol errors are reported, not fatal.
int lastXError = 0;
int onXError(Display*, XErrorEvent* e) {
    lastXError = e->error_code;
    return 0;
}

// The window's picture, editor included, as a PNG file.
bool savePng(const Picture& picture, const std::string& path, std::string& error) {
    if (picture.pixels.empty()) {
        error = "cannot read the window's picture";
        return false;
    }
    cairo_surface_t* png =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, picture.height);
    cairo_surface_flush(png);
    unsigned char* data = cairo_image_surface_get_data(png);
    const int stride = cairo_image_surface_get_stride(png);
    for (int y = 0; y < picture.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
        for (int x = 0; x < picture.width; ++x) row[x] = 0xFF000000u | picture.at(x, y);
    }
    cairo_surface_mark_dirty(png);
    // Complete or not at all: written under a temporary name, then renamed.
    const std::string temp = temporaryNameFor(path);
    const cairo_status_t st = cairo_surface_write_to_png(png, temp.c_str());
    cairo_surface_destroy(png);
    if (st != CAIRO_STATUS_SUCCESS || !replaceFile(temp, path)) {
        std::remove(temp.c_str());
        error = "cannot write " + path + ": " +
                (st != CAIRO_STATUS_SUCCESS ? cairo_status_to_string(st) : "cannot move the picture into place");
        return false;
    }
    return true;
}

// What both commands share: display, plug-in, settings, window, editor.
struct EditorSession : PluginSession {
    explicit EditorSession(const char* name) : PluginSession(name) {}
    ~EditorSession() {
        stop();
        window.destroy();
    }

    X11HostWindow window;

    // The plug-in and its settings first: a mistake in them is the same
    // mistake, with the same exit code, with or without a display.
    int start(const CommandLine& line) {
        if (int rc = takeArgs(line)) return rc;
        if (int rc = load()) return rc;
        if (!window.openDisplay()) {
            std::fprintf(stderr, "kvb %s: no X display (is DISPLAY set? try xvfb-run)\n", command);
            return 1;
        }
        XSetErrorHandler(onXError);
        return 0;
    }

    int openEditor() {
        int width = 0, height = 0;
        if (int rc = editorSize(width, height)) return rc;
        if (!window.create(width, height, "KVB") || lastXError != 0) {
            std::fprintf(stderr, "kvb %s: cannot create a window\n", command);
            return 1;
        }
        return PluginSession::openEditor(window.parentHandle());
    }
};

}  // namespace

int runGui(const CommandLine& line) {
    EditorSession s("gui");
    if (int rc = s.start(line)) return rc;
    AudioFeeder audio(s.host.effect(), s.host.sampleRate);
    if (int rc = s.openEditor()) return rc;

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    audio.start();
    const auto period = std::chrono::microseconds(1000000 / 30);
    auto next = Clock::now();
    while (!interrupted && s.window.handleEvents()) {
        s.host.dispatch(vst::effEditIdle);
        next += period;
        const auto now = Clock::now();
        if (next < now) next = now;  // fell behind: do not catch up in a burst
        std::this_thread::sleep_until(next);
    }
    s.closeEditor();
    audio.stop();
    return 0;
}

int runScreenshot(const CommandLine& line) {
    std::string out;
    double seconds = 0.0;
    if (int rc = screenshotArgsOf(line, out, seconds)) return rc;

    EditorSession s("screenshot");
    if (int rc = s.start(line)) return rc;
    if (seconds > 0.0) {
        // The meters show what this much of the signal left behind.
        AudioFeeder audio(s.host.effect(), s.host.sampleRate);
        audio.runFor(seconds);
    }
    if (int rc = s.openEditor()) return rc;
    // A few idles, further apart than the meters' refresh interval, let the
    // editor draw everything, meters included.
    for (int i = 0; i < 4; ++i) {
        s.window.handleEvents();
        s.host.dispatch(vst::effEditIdle);
        std::this_thread::sleep_for(std::chrono::milliseconds(70));
    }
    s.host.dispatch(vst::effEditIdle);
    std::string error;
    if (!savePng(s.window.capture(), out, error)) {
        std::fprintf(stderr, "kvb screenshot: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

}  // namespace kvbhost
