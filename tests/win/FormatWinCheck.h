// What the Windows editor checks of the VST3 and CLAP builds share
// (tests/vst3/vst3_wincheck.cpp, tests/clap/clap_wincheck.cpp): one line per
// check, the tally, and the pixels of one control in a picture of the window.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "editor/Layout.h"
#include "host/Picture.h"

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

}  // namespace formatwincheck
