// kvb gui and kvb screenshot on Windows: the plug-in's editor in a window of
// our own, driven as a Windows host drives it (effEditOpen with the HWND,
// our message loop, effEditIdle about 30 times a second). Knows the plug-in
// only through its AEffect.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "host/AudioFeeder.h"
#include "host/Commands.h"
#include "host/EditorSession.h"
#include "host/DemoSignal.h"
#include "host/ParamOptions.h"
#include "host/PluginHost.h"
#include "host/WinHostWindow.h"

namespace kvbhost {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> interrupted{false};

BOOL WINAPI onConsoleEvent(DWORD) {
    interrupted = true;
    return TRUE;
}

// What both commands share: plug-in, settings, window, editor.
struct EditorSession : PluginSession {
    explicit EditorSession(const char* name) : PluginSession(name) {}
    ~EditorSession() {
        stop();
        window.destroy();
    }

    WinHostWindow window;

    int start(const CommandLine& line) {
        if (int rc = takeArgs(line)) return rc;
        becomeDpiAware();
        return load();
    }

    // As a host that draws for every monitor's DPI itself (per-monitor aware,
    // version 2): the editor then reads its monitor's DPI from our window,
    // not the 96 Windows shows an unaware program. Looked up, as older
    // Windows versions lack it.
    static void becomeDpiAware() {
        using SetContext = BOOL(WINAPI*)(HANDLE);
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        const auto set = user32 ? reinterpret_cast<SetContext>(reinterpret_cast<void*>(
                                      GetProcAddress(user32, "SetProcessDpiAwarenessContext")))
                                : nullptr;
        if (set) set(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4)));  // PER_MONITOR_AWARE_V2
    }

    int openEditor() {
        int width = 0, height = 0;
        if (int rc = editorSize(width, height)) return rc;
        if (!window.create(width, height, "KVB", &host)) {
            std::fprintf(stderr, "kvb %s: cannot create a window\n", command);
            return 1;
        }
        return PluginSession::openEditor(window.handle());
    }

    // Messages and editor idles for `ms` milliseconds, an idle about every
    // `periodMs`. Answers false once the user closed the window.
    bool run(int ms, int periodMs) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        auto next = Clock::now();
        while (Clock::now() < end && !interrupted) {
            if (!window.pumpMessages()) return false;
            host.dispatch(vst::effEditIdle);
            next += std::chrono::milliseconds(periodMs);
            const auto now = Clock::now();
            if (next < now) next = now;  // fell behind: do not catch up in a burst
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
            // Wakes early for input, which is handled at once.
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait.count()),
                                      QS_ALLINPUT);
        }
        return !interrupted;
    }
};

}  // namespace

int runGui(const CommandLine& line) {
    EditorSession s("gui");
    if (int rc = s.start(line)) return rc;
    AudioFeeder audio(s.host.effect(), s.host.sampleRate);
    if (int rc = s.openEditor()) return rc;

    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    audio.start();
    while (s.run(1000, 1000 / 30)) {
    }
    s.closeEditor();
    audio.stop();
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
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
    // Idles further apart than the meters' refresh interval let the editor
    // draw everything, meters included, and the window show it.
    s.run(300, 70);
    s.host.dispatch(vst::effEditIdle);
    s.window.pumpMessages();
    Picture picture;
    std::string error;
    if (!s.window.capture(picture, error) || !writePng(out, picture, error)) {
        std::fprintf(stderr, "kvb screenshot: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

}  // namespace kvbhost
