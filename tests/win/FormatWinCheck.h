// What the Windows editor checks of the VST3 and CLAP builds share
// (tests/vst3/vst3_wincheck.cpp, tests/clap/clap_wincheck.cpp): one line per
// check, the tally, the pixels of one control in a picture of the window,
// letting the window run, and what a host's changes must move.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

#include "editor/Layout.h"
#include "host/Picture.h"
#include "host/WinHostWindow.h"
#include "params/Parameters.h"

namespace formatwincheck {

inline int passed = 0;
inline int failed = 0;

inline void check(bool ok, const std::string& what) {
    ++(ok ? passed : failed);
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
}

// Closes with "wincheck: N passed, M failed" (scripts/test-windows.sh reads it).
inline int finish() {
    std::printf("wincheck: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

// The pixels of control `tag`'s rectangle.
inline std::vector<std::uint32_t> area(const kvbhost::Picture& p, int tag) {
    std::vector<std::uint32_t> out;
    const kvbeditor::ControlLayout* c = kvbeditor::controlOf(tag);
    for (int y = c->top; y < c->top + c->height && y < p.height; ++y)
        for (int x = c->left; x < c->left + c->width && x < p.width; ++x) out.push_back(p.at(x, y));
    return out;
}

// Lets the window and the editor in it run for about ms milliseconds.
inline void pump(kvbhost::WinHostWindow& window, int ms) {
    for (int t = 0; t < ms; t += 10) {
        window.pumpMessages();
        Sleep(10);
    }
}

// The host set Opt bypass 1 and Opt threshold 1: pictures before and after
// show those two controls moved and no other.
inline void checkOnlyTheHostsControlsMoved(const kvbhost::Picture& before, const kvbhost::Picture& after) {
    check(area(before, kOptByp1) != area(after, kOptByp1), "the host's Opt bypass 1 moves its switch");
    check(area(before, kOptThr1) != area(after, kOptThr1), "the host's Opt threshold 1 moves its knob");
    check(area(before, kDisGain2) == area(after, kDisGain2), "and no other control");
}

}  // namespace formatwincheck
