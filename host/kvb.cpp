// kvb: a command-line host for the KVB plug-in binary.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/Commands.h"
#include "host/PluginHost.h"

namespace kvbhost {

// The editor commands (GuiCommand.cpp with X11, GuiCommand_win.cpp on Windows).
int runGui(const Args& args);
int runScreenshot(const Args& args);

bool takeOption(Args& args, const std::string& name, std::string& value) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name) continue;
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "kvb: %s needs a value\n", name.c_str());
            std::exit(2);
        }
        value = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return true;
    }
    return false;
}

std::string takePluginOption(Args& args) {
    std::string path;
    return takeOption(args, "--plugin", path) ? path : defaultPluginPath();
}

}  // namespace kvbhost

namespace {

void usage(FILE* out) {
    std::fputs(
        "usage: kvb COMMAND [options]\n"
        "  info [--plugin PATH]   show what the plug-in offers\n"
        "  render IN OUT [--program N] [--set NAME=VALUE ...] [--block N] [--float] [--keep-latency]\n"
        "         [--plugin PATH] run an audio file through the plug-in; output sample n belongs\n"
        "                         to input sample n (--keep-latency: the plug-in's delay stays)\n"
        "  demo [OUT.wav] [--dry DRY.wav] [--plugin PATH]\n"
        "                         render the built-in demo signal (default kvb-demo.wav);\n"
        "                         --dry also writes the unprocessed signal\n"
        "  gui [--set NAME=VALUE ...] [--plugin PATH]\n"
        "                         open the editor in a window, with the demo signal playing\n"
        "  screenshot OUT.png [--set NAME=VALUE ...] [--audio SECONDS] [--plugin PATH]\n"
        "                         save a picture of the editor as PNG\n"
        "  bench [--plugin PATH] [--rate R] [--block N] [--set NAME=VALUE ...] [--seconds S] [--runs N]\n"
        "        [--compare PATH [--compare-set NAME=VALUE ...]]\n"
        "                         time processReplacing of a plug-in (KVB by default), or of two\n"
        "                         side by side\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    kvbhost::Args args(argv + 2, argv + argc);
    if (command == "info") return kvbhost::runInfo(args);
    if (command == "render") return kvbhost::runRender(args);
    if (command == "demo") return kvbhost::runDemo(args);
    if (command == "bench") return kvbhost::runBench(args);
    if (command == "gui") return kvbhost::runGui(args);
    if (command == "screenshot") return kvbhost::runScreenshot(args);
    if (command == "help" || command == "--help" || command == "-h") {
        usage(stdout);
        return 0;
    }
    std::fprintf(stderr, "kvb: unknown command '%s'\n", command.c_str());
    usage(stderr);
    return 2;
}
