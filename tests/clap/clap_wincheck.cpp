// kvb_clap_wincheck [KVB.clap]: the editor of KVB.clap in a Win32 host window,
// as a Windows CLAP host shows it (run under Wine by scripts/test-windows.sh):
// embedded as a child of the host's HWND, idled by its own timer (no host
// timer asked for), the skin drawn, the host's parameter events moving its
// controls, and gone when the host closes it. Prints one line per check and
// closes with "wincheck: N passed, M failed".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/WinHostWindow.h"
#include "tests/win/FormatWinCheck.h"
#include "params/Parameters.h"
#include "tests/clap/ClapHost.h"

using formatwincheck::check;

int main(int argc, char** argv) {
    const claptest::ClapModule module(argc > 1 ? argv[1] : "KVB.clap");
    check(static_cast<bool>(module), "KVB.clap loads " + module.error());
    if (!module) return 1;
    claptest::ClapInstance fx(module);
    const auto* gui = fx.extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    check(gui && gui->is_api_supported(fx.plugin(), CLAP_WINDOW_API_WIN32, false) &&
              !gui->is_api_supported(fx.plugin(), CLAP_WINDOW_API_WIN32, true) &&
              !gui->is_api_supported(fx.plugin(), CLAP_WINDOW_API_X11, false),
          "the editor embeds in a Win32 window, not floating, not X11");

    kvbhost::WinHostWindow window;
    if (!window.create(1100, 616, "KVB.clap", nullptr)) {
        check(false, "a host window");
        return 1;
    }
    std::uint32_t width = 0, height = 0;
    const bool opened = fx.openGui(reinterpret_cast<std::uintptr_t>(window.handle()), &width, &height);
    check(opened && width == 1100 && height == 616,
          "create, set_parent and show: 1100 x 616 (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    check(window.child() != nullptr, "the editor is a child of the host's window");
    check(fx.timerCount() == 0, "no host timer: the editor idles on its own");

    formatwincheck::pump(window, 300);
    kvbhost::Picture before, after;
    std::string error;
    check(window.capture(before, error), "a picture of the window " + error);

    // The host's changes, on its audio thread, reach the controls.
    fx.activate(48000.0, 256);
    fx.queueValue(kOptByp1, 1.0, 10);
    fx.queueValue(kOptThr1, 0.0, 20);
    static float silence[256], out[2][256];
    const float* ins[2] = {silence, silence};
    float* outs[2] = {out[0], out[1]};
    fx.process(ins, outs, 256);
    formatwincheck::pump(window, 300);
    check(window.capture(after, error), "a picture after the host's changes " + error);
    formatwincheck::checkOnlyTheHostsControlsMoved(before, after);

    // The host's scale: the editor's window takes the size of the skin drawn
    // for it, and the host is asked to follow.
    const int resizes = fx.calls.requestResize;
    check(gui->set_scale(fx.plugin(), 2.0), "set_scale 2");
    std::uint32_t w2 = 0, h2 = 0;
    check(gui->get_size(fx.plugin(), &w2, &h2) && w2 == 2200 && h2 == 1232,
          "at 200 % the editor is 2200 x 1232 (" + std::to_string(w2) + " x " + std::to_string(h2) + ")");
    check(fx.calls.requestResize == resizes + 1, "and asks the host to resize it");
    RECT client{};
    check(window.child() && GetClientRect(static_cast<HWND>(window.child()), &client) && client.right == 2200 &&
              client.bottom == 1232,
          "its window is 2200 x 1232 (" + std::to_string(client.right) + " x " + std::to_string(client.bottom) + ")");

    fx.closeGui();
    formatwincheck::pump(window, 50);
    check(window.child() == nullptr, "hide and destroy take the editor's window away");
    return formatwincheck::finish();
}
