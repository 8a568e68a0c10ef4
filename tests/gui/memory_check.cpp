// What the editor costs a host that runs many of it, through the built
// plug-in as a host drives it, on an Xvfb of its own:
//
//   memory_check editors N   N plug-ins, each with its editor open: the
//                            second and later cost at most 2 MB each (the
//                            skin is decoded once and shared), and once all
//                            are closed the skin's memory is given back.
//   memory_check reload N    N cycles of loading the module, opening and
//                            closing the editor and unloading it: the
//                            process grows by less than 1 MB over them.
//
// Memory is the process's resident set, as a host's user sees it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/PluginHost.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/XvfbServer.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

double residentMiB() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / kMiB;
}

struct Instance {
    kvbhost::PluginHost host;
    guitest::HostWindow window;
};

bool openEditor(Instance& i) {
    vst::ERect* r = nullptr;
    if (i.host.dispatch(vst::effEditGetRect, 0, 0, &r) != 1 || !r) return false;
    if (!i.window.create(r->right - r->left, r->bottom - r->top)) return false;
    if (i.host.dispatch(vst::effEditOpen, 0, 0, i.window.parentHandle()) != 1) return false;
    for (int n = 0; n < 3; ++n) i.host.dispatch(vst::effEditIdle);
    return true;
}

int editors(int count) {
    std::vector<std::unique_ptr<Instance>> all;
    double base = 0, one = 0;
    for (int n = 0; n < count; ++n) {
        all.push_back(std::make_unique<Instance>());
        Instance& i = *all.back();
        if (!i.host.load(KVB_PLUGIN_PATH)) {
            std::fprintf(stderr, "memory check: %s\n", i.host.error().c_str());
            return 2;
        }
        if (n == 0) base = residentMiB();
        if (!openEditor(i)) {
            std::fprintf(stderr, "memory check: editor %d did not open\n", n + 1);
            return 1;
        }
        if (n == 0) one = residentMiB();
    }
    const double all16 = residentMiB();
    const double first = one - base, each = count > 1 ? (all16 - one) / (count - 1) : 0.0;
    std::printf("first editor: %.1f MiB; %d editors: %.1f MiB more, %.2f MiB each after the first\n",
                first, count, all16 - one, each);
    for (auto& i : all) i->host.dispatch(vst::effEditClose);
    for (auto& i : all) i->host.dispatch(vst::effEditIdle);
    const double closed = residentMiB();
    std::printf("all closed: %.1f MiB above the first editor's opening\n", closed - base);
    all.clear();
    int failures = 0;
    if (each > 2.0) {
        std::fprintf(stderr, "memory check: %.2f MiB per further editor (at most 2)\n", each);
        ++failures;
    }
    // The decoded skin (tens of MiB) is given back with the last editor.
    if (closed - base > first / 2) {
        std::fprintf(stderr, "memory check: %.1f MiB kept after every editor closed\n", closed - base);
        ++failures;
    }
    return failures ? 1 : 0;
}

int reload(int cycles) {
    double afterFirst = 0, beforeFirst = residentMiB();
    for (int n = 0; n < cycles; ++n) {
        Instance i;
        if (!i.host.load(KVB_PLUGIN_PATH)) {
            std::fprintf(stderr, "memory check: %s\n", i.host.error().c_str());
            return 2;
        }
        if (!openEditor(i)) {
            std::fprintf(stderr, "memory check: the editor did not open in cycle %d\n", n + 1);
            return 1;
        }
        i.host.dispatch(vst::effEditClose);
        i.host.unload();
        i.window.destroy();
        if (n == 0) afterFirst = residentMiB();
    }
    const double grown = residentMiB() - afterFirst;
    std::printf("%d load/open/close/unload cycles: the first took %.2f MiB, the other %d %.2f MiB\n",
                cycles, afterFirst - beforeFirst, cycles - 1, grown);
    if (grown >= 1.0) {
        std::fprintf(stderr, "memory check: grew by %.2f MiB over %d reloads (less than 1 allowed)\n",
                     grown, cycles - 1);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "editors") != 0 && std::strcmp(argv[1], "reload") != 0)) {
        std::fprintf(stderr, "usage: kvb_gui_memory_check editors|reload N\n");
        return 2;
    }
    const int n = std::atoi(argv[2]);
    guitest::XvfbServer server;
    if (!server.start()) {
        std::fprintf(stderr, "memory check: %s\n", server.error().c_str());
        return 2;
    }
    return std::strcmp(argv[1], "editors") == 0 ? editors(n) : reload(n);
}
