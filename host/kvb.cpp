// kvb: a command-line host for the KVB plug-in binary.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/Commands.h"
#include "host/DemoSignal.h"
#include "host/PluginHost.h"

#ifndef KVB_VERSION
#define KVB_VERSION "unknown"
#endif

namespace kvbhost {

// The editor commands (GuiCommand.cpp with X11, GuiCommand_win.cpp on Windows).
int runGui(const Args& args);
int runScreenshot(const Args& args);

}  // namespace kvbhost

namespace {

using kvbhost::Args;

struct Command {
    const char* name;
    const char* synopsis;  // after "kvb "
    const char* summary;   // one line for kvb --help
    const char* details;   // what kvb help NAME adds: the options
    int (*run)(const Args&);
};

#if defined(_WIN32)
#define KVB_PLOT_SYNOPSIS ""
#define KVB_PLOT_OPTION ""
#else
#define KVB_PLOT_SYNOPSIS " [--plot PNG]"
#define KVB_PLOT_OPTION "  --plot PNG          also draw the short-term levels of IN and OUT and the gain\n" \
                        "                      change between them over time\n"
#endif

const Command kCommands[] = {
    {"info", "info [--plugin PATH]", "show what the plug-in offers",
     "Prints the plug-in's name, vendor, ID, inputs and outputs, flags, and every\n"
     "parameter (index, name, value) and program.\n",
     kvbhost::runInfo},
    {"render",
     "render IN OUT [--program N] [--set NAME=VALUE ...] [--block N] [--float] [--keep-latency]"
     KVB_PLOT_SYNOPSIS " [--plugin PATH]",
     "run an audio file through the plug-in",
     "Runs IN (mono or stereo) through the plug-in at IN's sample rate and writes OUT\n"
     "in IN's format, then prints the peak and RMS levels of both. OUT is aligned\n"
     "with IN: the plug-in's delay is taken out, so that output sample n belongs to\n"
     "input sample n, and OUT is as long as IN.\n"
     "  --program N         start from program N (0 up to the plug-in's count - 1)\n"
     "  --set NAME=VALUE    set a parameter, by the name or index 'kvb info' lists,\n"
     "                      to a value from 0 to 1 (repeatable; after --program)\n"
     "  --block N           frames per processing call (default 512)\n"
     "  --float             write a 32-bit float WAV\n"
     "  --keep-latency      keep the plug-in's delay: OUT starts that many samples late\n"
     KVB_PLOT_OPTION,
     kvbhost::runRender},
    {"demo", "demo [OUT.wav] [--dry DRY.wav]" KVB_PLOT_SYNOPSIS " [--plugin PATH]",
     "render the built-in demo signal, audibly compressed",
     "Renders 24 s of a built-in groove through the plug-in with the demo settings\n"
     "into OUT.wav (default kvb-demo.wav).\n"
     "  --dry DRY.wav       also write the unprocessed signal\n" KVB_PLOT_OPTION,
     kvbhost::runDemo},
#if !defined(_WIN32)
    {"curve",
     "curve OUT.png [--demo] [--program N] [--set NAME=VALUE ...] [--rate R] [--csv FILE]"
     " [--plugin PATH]",
     "draw the static level curve, measured through the plug-in",
     "Plays a steady 1 kHz tone into both inputs at -60 to +6 dBFS in 1 dB steps,\n"
     "holds each level until the output level has settled, and draws the output\n"
     "level and the gain change against the input level.\n"
     "  --demo              start from the settings of kvb demo (before --set)\n"
     "  --program N         start from program N\n"
     "  --set NAME=VALUE    set a parameter (repeatable)\n"
     "  --rate R            sample rate in Hz (default 44100)\n"
     "  --csv FILE          also write the numbers as comma-separated values\n",
     kvbhost::runCurve},
    {"step",
     "step OUT.png [--demo] [--program N] [--set NAME=VALUE ...] [--compare NAME] [--rate R]"
     " [--csv FILE] [--plugin PATH]",
     "draw the gain change over time for a tone stepping up and down",
     "Plays a 1 kHz tone at -30 dBFS that steps to -6 dBFS for 2 s and back, and\n"
     "draws the gain change over time: the whole step, and its first 50 ms. Prints\n"
     "the gain change before, during and after, and the times from each step to\n"
     "half and to 90% of the change it brings (attack and release).\n"
     "  --compare NAME      one line for each position of parameter NAME: the six of\n"
     "                      DisAtk1 and the like, the three of OptMode and the like,\n"
     "                      both of a switch, six values from 0 to 1 of any other\n"
     "  --csv FILE          also write the gain change over time as comma-separated\n"
     "                      values\n"
     "  --demo, --program N, --set NAME=VALUE, --rate R   as for kvb curve\n",
     kvbhost::runStep},
#endif
    {"bench",
     "bench [--plugin PATH] [--rate R] [--block N] [--set NAME=VALUE ...] [--seconds S] [--runs N]"
     " [--compare PATH [--compare-set NAME=VALUE ...]]",
     "time processReplacing of a plug-in (KVB by default), or of two side by side",
     "Feeds the demo signal to the plug-in block by block and reports the time\n"
     "processReplacing takes, over several runs.\n"
     "  --rate R            sample rate in Hz (default 48000)\n"
     "  --block N           frames per processing call (default 512)\n"
     "  --set NAME=VALUE    set a parameter (repeatable)\n"
     "  --seconds S         audio per run (default 2)\n"
     "  --runs N            runs (default 7); medians are reported\n"
     "  --compare PATH      time a second plug-in binary alongside, run for run\n"
     "  --compare-set NAME=VALUE   a setting for the second plug-in (repeatable)\n",
     kvbhost::runBench},
    {"gui", "gui [--demo] [--set NAME=VALUE ...] [--plugin PATH]",
     "open the editor in a window, with the demo signal playing",
     "  --demo              start from the settings of kvb demo (before --set)\n"
     "  --set NAME=VALUE    set a parameter (repeatable)\n",
     kvbhost::runGui},
    {"screenshot", "screenshot OUT.png [--demo] [--set NAME=VALUE ...] [--audio SECONDS] [--plugin PATH]",
     "save a picture of the editor as PNG",
     "  --demo              start from the settings of kvb demo (before --set)\n"
     "  --set NAME=VALUE    set a parameter (repeatable)\n"
     "  --audio SECONDS     play this much of the demo signal first, for the meters\n"
     "                      (default 1)\n",
     kvbhost::runScreenshot},
};

const Command* find(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

void usage(FILE* out) {
    std::fputs("usage: kvb COMMAND [options]\n"
               "       kvb help COMMAND     (or kvb COMMAND --help) for a command's options\n"
               "       kvb --version\n\n"
               "commands:\n",
               out);
    for (const Command& c : kCommands) std::fprintf(out, "  %-11s %s\n", c.name, c.summary);
    std::fputs("\nEvery command loads the plug-in built next to kvb, or the one given with\n"
               "--plugin PATH.\n",
               out);
}

void help(const Command& c, FILE* out) {
    std::fprintf(out, "usage: kvb %s\n\n%s", c.synopsis, c.details);
    std::fputs("  --plugin PATH       load this plug-in binary instead of the one next to kvb\n", out);
    if (std::strstr(c.details, "demo settings") || std::strstr(c.details, "--demo")) {
        std::string line = "\nThe demo settings:";
        for (const std::string& s : kvbhost::demoSettings()) {
            if (line.size() + 1 + s.size() > 78) {
                std::fprintf(out, "%s\n", line.c_str());
                line = " ";
            }
            line += " " + s;
        }
        std::fprintf(out, "%s\n", line.c_str());
    }
}

bool asksForHelp(const Args& args) {
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

}  // namespace

namespace kvbhost {

int usageError(const char* command) {
    if (const Command* c = find(command))
        std::fprintf(stderr, "usage: kvb %s\n(see 'kvb help %s')\n", c->synopsis, c->name);
    return 2;
}

}  // namespace kvbhost

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        usage(stdout);
        return 0;
    }
    if (first == "--version") {
        std::printf("kvb %s\n", KVB_VERSION);
        return 0;
    }
    if (first == "help") {
        if (argc == 2) {
            usage(stdout);
            return 0;
        }
        const Command* c = find(argv[2]);
        if (!c) {
            std::fprintf(stderr, "kvb help: unknown command '%s' (see 'kvb --help')\n", argv[2]);
            return 2;
        }
        if (argc > 3) {
            std::fprintf(stderr, "kvb help: unexpected argument '%s'\n", argv[3]);
            return 2;
        }
        help(*c, stdout);
        return 0;
    }
    if (first[0] == '-') {
        std::fprintf(stderr, "kvb: unknown option '%s' (see 'kvb --help')\n", first.c_str());
        return 2;
    }
    const Command* c = find(first);
    if (!c) {
        std::fprintf(stderr, "kvb: unknown command '%s' (see 'kvb --help')\n", first.c_str());
        return 2;
    }
    const Args args(argv + 2, argv + argc);
    if (asksForHelp(args)) {
        help(*c, stdout);
        return 0;
    }
    kvbhost::setCommandPrefix(std::string("kvb ") + c->name);
    return c->run(args);
}
