// kvb_vst3_wincheck [KVB.vst3]: the editor of the VST3 bundle in a Win32 host
// window, as a Windows VST3 host shows it (run under Wine by
// scripts/test-windows.sh): the view attached as a child of the host's HWND,
// idled by its own timer (Windows hosts have no run loop to give), the skin
// drawn, the host's automation moving its controls, and gone when the view
// is removed. Prints one line per check and closes with
// "wincheck: N passed, M failed".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/WinHostWindow.h"
#include "tests/win/FormatWinCheck.h"
#include "params/Parameters.h"
#include "tests/vst3/Vst3Host.h"

using formatwincheck::check;

int main(int argc, char** argv) {
    vst3host::Module module;
    const bool loaded = module.load(argc > 1 ? argv[1] : "KVB.vst3");
    check(loaded, "KVB.vst3 loads " + module.error());
    if (!loaded) return 1;
    vst3host::Plugin fx;
    check(fx.create(module), "an instance " + fx.error());
    if (!fx) return 1;

    kvbhost::WinHostWindow window;
    if (!window.create(1100, 616, "KVB.vst3", nullptr)) {
        check(false, "a host window");
        return 1;
    }
    const bool opened = fx.openEditor(window.handle());
    v3_view_rect size{};
    if (opened) vst3host::tableOf<v3_plugin_view_cpp>(fx.view)->view.get_size(fx.view, &size);
    check(opened && size.right - size.left == 1100 && size.bottom - size.top == 616,
          "the view attaches to an HWND at 1100 x 616 (" + std::to_string(size.right - size.left) + " x " +
              std::to_string(size.bottom - size.top) + ")");
    check(window.child() != nullptr, "the editor is a child of the host's window");

    formatwincheck::pump(window, 300);
    kvbhost::Picture before, after;
    std::string error;
    check(window.capture(before, error), "a picture of the window " + error);

    // Automation played on the host's audio thread reaches the controls.
    fx.setup(48000.0, 256);
    fx.activate();
    fx.queueChange(kOptByp1, 10, 1.0);
    fx.queueChange(kOptThr1, 20, 0.0);
    static float silence[256], out[2][256];
    const float* ins[2] = {silence, silence};
    float* outs[2] = {out[0], out[1]};
    fx.process(ins, outs, 256);
    formatwincheck::pump(window, 300);
    check(window.capture(after, error), "a picture after the host's automation " + error);
    formatwincheck::checkOnlyTheHostsControlsMoved(before, after);

    fx.closeEditor();
    formatwincheck::pump(window, 50);
    check(window.child() == nullptr, "removing the view takes the editor's window away");
    fx.deactivate();
    return formatwincheck::finish();
}
