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

namespace {

using kvbhost::Args;
using kvbhost::CommandLine;
using kvbhost::OptionSpec;

struct Command {
    const char* name;
    const char* files;    // the arguments after "kvb NAME", "" for none
    int minFiles, maxFiles;
    const char* summary;  // one line for kvb --help
    const char* details;  // what kvb help NAME says before the options
    std::vector<OptionSpec> options;
    int (*run)(const CommandLine&);
};

// The options that choose the plug-in and its settings, which every command
// that loads it takes, in the order they act.
const OptionSpec kPlugin{"--plugin", "PATH", "load this plug-in binary instead of the one next to kvb"};
const OptionSpec kProgram{"--program", "N", "start from program N (0 up to the plug-in's count - 1)"};
const OptionSpec kDemo{"--demo", nullptr, "then take the settings of kvb demo (listed below)"};
const OptionSpec kSet{"--set", "NAME=VALUE",
                      "then set a parameter, by the name or index 'kvb info' lists,\n"
                      "to a value from 0 to 1 (repeatable)",
                      true};
const OptionSpec kRate44{"--rate", "R", "sample rate in Hz (default 44100)"};
const OptionSpec kScaleOption{"--scale", "S",
                              "draw the editor at scale S (1 = 100 %, up to 2; the\n"
                              "nearest of 1, 1.25, 1.5, 1.75 and 2), as a desktop set to\n"
                              "that scale asks (default: the desktop's own)"};
#if defined(_WIN32)
#define KVB_OUTPUT_FORMATS "WAV (.wav), the format this build writes"
#else
#define KVB_OUTPUT_FORMATS "one of those that keep every sample: .wav, .flac, .aiff\n(.aif), .caf, .w64, .au"
const OptionSpec kPlot{"--plot", "PNG",
                       "also draw the short-term levels of input and output and the\n"
                       "gain change between them over time"};
#endif

std::vector<OptionSpec> withSetup(std::vector<OptionSpec> own) {
    std::vector<OptionSpec> all{kProgram, kDemo, kSet};
    all.insert(all.end(), own.begin(), own.end());
    all.push_back(kPlugin);
    return all;
}

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"info", "", 0, 0, "show what the plug-in offers",
         "Prints the plug-in's name, vendor, ID, inputs and outputs, flags, every\n"
         "parameter (index, name and value as the settings below leave it; for KVB\n"
         "also in the units of its controls) and its programs.\n",
         withSetup({}), kvbhost::runInfo},
        {"render", "IN OUT", 2, 2, "run an audio file through the plug-in",
         "Runs IN (mono or stereo) through the plug-in at IN's sample rate and writes\n"
         "OUT, then prints the peak and RMS levels of both. OUT's extension names its\n"
         "format, " KVB_OUTPUT_FORMATS ". Its samples are\n"
         "IN's kind (8- to 32-bit integer, 32- or 64-bit float) where that format holds\n"
         "them, else 32-bit float, or 24-bit where there is no float; integer samples\n"
         "are rounded to the nearest. OUT is aligned with IN: the plug-in's delay is\n"
         "taken out, so that output sample n belongs to input sample n, and OUT is as\n"
         "long as IN. A mono IN feeds both inputs and gives a mono OUT (the left output).\n",
         withSetup({
             {"--block", "N", "frames per processing call (default 512)"},
             {"--float", nullptr, "write 32-bit float samples"},
             {"--dither", nullptr, "add triangular dither (from a fixed seed) before rounding\nto integer samples"},
             {"--keep-latency", nullptr, "keep the plug-in's delay: OUT starts that many samples late"},
#if !defined(_WIN32)
             kPlot,
#endif
         }),
         kvbhost::runRender},
        {"demo", "[OUT]", 0, 1, "render the built-in demo signal, audibly compressed",
         "Renders 24 s of a built-in groove through the plug-in with the demo settings\n"
         "into OUT (default kvb-demo.wav; 24-bit, in the format OUT's extension names,\n"
         "as kvb render). --demo changes nothing here: kvb demo always takes them.\n",
         withSetup({
             kRate44,
             {"--dry", "DRY", "also write the unprocessed signal"},
#if !defined(_WIN32)
             kPlot,
#endif
         }),
         kvbhost::runDemo},
#if !defined(_WIN32)
        {"curve", "OUT.png", 1, 1, "draw the static level curve, measured through the plug-in",
         "Plays a steady 1 kHz tone into both inputs at -60 to +6 dBFS in 1 dB steps,\n"
         "holds each level until the output level has settled, and draws the output\n"
         "level and the gain change against the input level.\n",
         withSetup({kRate44, {"--csv", "FILE", "also write the numbers as comma-separated values"}}),
         kvbhost::runCurve},
        {"step", "OUT.png", 1, 1, "draw the gain change over time for a tone stepping up and down",
         "Plays a 1 kHz tone at -30 dBFS that steps to -6 dBFS for 2 s and back, and\n"
         "draws the gain change over time: the whole step, and its first 50 ms. The\n"
         "gain is the output's level over the input's, each over one period of the\n"
         "tone, then the median over a period and 16 samples either side of each\n"
         "moment, which leaves out the spikes (shorter than a millisecond, or than\n"
         "that window) where a step's edge passes. Prints the gain change before,\n"
         "during and after, and the times from each step to half and to 90% of the\n"
         "change it brings (attack and release): where the line drawn crosses them\n"
         "(marked with rings), never less than one sample period.\n",
         withSetup({kRate44,
                    {"--compare", "NAME",
                     "one line for each position of parameter NAME: the six of\n"
                     "DisAtk1 and the like, the three of OptMode and the like,\n"
                     "both of a switch, six values from 0 to 1 of any other"},
                    {"--csv", "FILE", "also write the gain change over time as comma-separated\nvalues"}}),
         kvbhost::runStep},
#endif
        {"bench", "", 0, 0, "time processReplacing of a plug-in (KVB by default), or of two side by side",
         "Feeds the demo signal, or the start of an audio file, to the plug-in block\n"
         "by block and reports the time processReplacing takes, over several runs.\n"
         "The settings are the first plug-in's; --compare-set gives the second one's.\n",
         withSetup({
             {"--input", "FILE", "time on the first S seconds of FILE (mono or stereo; gone\nround when shorter) instead of the demo"},
             {"--gain-db", "G", "scale the input by G dB (-200 to 60, e.g. -70 for a quiet\npassage; -inf for digital silence)"},
             {"--rate", "R", "sample rate in Hz (default 48000, or FILE's)"},
             {"--block", "N", "frames per processing call (default 512)"},
             {"--seconds", "S", "audio per run (default 2)"},
             {"--runs", "N", "runs (default 7); medians are reported"},
             {"--compare", "PATH", "time a second plug-in binary alongside, run for run"},
             {"--compare-set", "NAME=VALUE", "a setting for the second plug-in (repeatable)", true},
         }),
         kvbhost::runBench},
        {"gui", "", 0, 0, "open the editor in a window, with the demo signal playing", "",
         withSetup({kScaleOption}), kvbhost::runGui},
        {"screenshot", "OUT.png", 1, 1, "save a picture of the editor as PNG", "",
         withSetup({{"--audio", "SECONDS",
                     "play this much of the demo signal first, for the meters\n(default 1)"},
                    kScaleOption}),
         kvbhost::runScreenshot},
    };
    return list;
}

const Command* find(const std::string& name) {
    for (const Command& c : commands())
        if (name == c.name) return &c;
    return nullptr;
}

// "kvb render IN OUT [--program N] ...", wrapped to lines of 80 characters.
std::string synopsis(const Command& c) {
    std::string text = std::string("usage: kvb ") + c.name + (*c.files ? " " : "") + c.files;
    std::size_t lineStart = 0;
    for (const OptionSpec& o : c.options) {
        std::string item = std::string("[") + o.name + (o.value ? std::string(" ") + o.value : "") +
                           (o.repeatable ? " ...]" : "]");
        if (text.size() - lineStart + 1 + item.size() > 80) {
            text += "\n";
            lineStart = text.size();
            text += "          ";
        }
        text += " " + item;
    }
    return text + "\n";
}

void usage(FILE* out) {
    std::fputs("usage: kvb COMMAND [options]\n"
               "       kvb help COMMAND     (or kvb COMMAND --help) for a command's options\n"
               "       kvb --version\n\n"
               "commands:\n",
               out);
    for (const Command& c : commands()) std::fprintf(out, "  %-11s %s\n", c.name, c.summary);
    std::fputs("\nEvery command loads the plug-in built next to kvb, or the one given with\n"
               "--plugin PATH. An option given twice takes its last value; --set adds up.\n",
               out);
}

void help(const Command& c, FILE* out) {
    std::fprintf(out, "%s\n%s", synopsis(c).c_str(), c.details);
    if (*c.details) std::fputc('\n', out);
    for (const OptionSpec& o : c.options) {
        const std::string head = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
        std::string text = o.help;
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
            text.insert(at + 1, 22, ' ');
        if (head.size() < 19)
            std::fprintf(out, "  %-19s %s\n", head.c_str(), text.c_str());
        else
            std::fprintf(out, "  %s\n                      %s\n", head.c_str(), text.c_str());
    }
    for (const OptionSpec& o : c.options) {
        if (std::strcmp(o.name, "--demo") != 0) continue;
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
    for (const std::string& a : args) {
        if (a == "--") return false;
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

}  // namespace

namespace kvbhost {

int usageError(const char* command) {
    if (const Command* c = find(command))
        std::fprintf(stderr, "%s(see 'kvb help %s')\n", synopsis(*c).c_str(), c->name);
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
    CommandLine line;
    if (int rc = line.parse(args, c->options)) return rc;
    const int files = static_cast<int>(line.arguments().size());
    if (files > c->maxFiles) {
        std::fprintf(stderr, "kvb %s: unexpected argument '%s'\n", c->name,
                     line.arguments()[static_cast<std::size_t>(c->maxFiles)].c_str());
        return kvbhost::usageError(c->name);
    }
    if (files < c->minFiles) {
        std::fprintf(stderr, "kvb %s: %s missing\n", c->name, c->files);
        return kvbhost::usageError(c->name);
    }
    return c->run(line);
}
