// Fifty open/close cycles of the editor through the built plug-in, as a host
// makes them. Fails if memory is lost by the cycles (under valgrind, which
// CTest uses), or if file descriptors (display connections among them) or
// child windows are left behind. Invalid memory accesses fail the run
// through valgrind's own exit code.
#include <dirent.h>
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstdlib>

#include "host/PluginHost.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/XvfbServer.h"

namespace {

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

}  // namespace

// Bytes lost (definitely or indirectly) so far; 0 outside valgrind.
unsigned long lostBytes() {
    unsigned long leaked = 0, dubious = 0, reachable = 0, suppressed = 0;
    VALGRIND_DO_QUICK_LEAK_CHECK;
    VALGRIND_COUNT_LEAKS(leaked, dubious, reachable, suppressed);
    (void)dubious, (void)reachable, (void)suppressed;
    return leaked;
}

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 50;
    guitest::XvfbServer server;
    if (!server.start()) {
        std::fprintf(stderr, "leak check: %s\n", server.error().c_str());
        return 2;
    }
    int failures = 0;
    {
        kvbhost::PluginHost host;
        if (!host.load(KVB_PLUGIN_PATH)) {
            std::fprintf(stderr, "leak check: %s\n", host.error().c_str());
            return 2;
        }
        guitest::HostWindow window;
        if (!window.create(1100, 616)) return 2;
        auto cycle = [&] {
            if (host.dispatch(vst::effEditOpen, 0, 0, window.parentHandle()) != 1) {
                std::fprintf(stderr, "leak check: the editor did not open\n");
                ++failures;
            }
            for (int i = 0; i < 3; ++i) host.dispatch(vst::effEditIdle);
            host.dispatch(vst::effEditClose);
        };
        // The first window fills the one-time caches of the font and drawing
        // libraries; from then on every cycle must give back all it takes.
        cycle();
        const int fdsBefore = openDescriptors();
        const unsigned long lostBefore = lostBytes();
        for (int i = 1; i < cycles; ++i) cycle();
        const int fdsAfter = openDescriptors();
        const unsigned long lostAfter = lostBytes();
        if (RUNNING_ON_VALGRIND)
            std::printf("lost after the first cycle: %lu bytes, after %d: %lu bytes\n", lostBefore,
                        cycles, lostAfter);
        if (lostAfter != lostBefore) {
            std::fprintf(stderr, "leak check: %lu bytes lost by %d open/close cycles\n",
                         lostAfter - lostBefore, cycles - 1);
            ++failures;
        }
        if (fdsAfter != fdsBefore) {
            std::fprintf(stderr, "leak check: %d file descriptors before, %d after %d cycles\n",
                         fdsBefore, fdsAfter, cycles);
            ++failures;
        }
        if (window.childCount() != 0) {
            std::fprintf(stderr, "leak check: %d windows left in the host's window\n",
                         window.childCount());
            ++failures;
        }
        host.unload();
    }
    std::printf("%d open/close cycles: %s\n", cycles, failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
