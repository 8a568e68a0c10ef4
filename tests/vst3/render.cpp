// kvb_vst3_render: a float WAV through a VST3 bundle, with our own small
// host, lined up as `kvb render IN OUT --float` lines up its output through
// the VST 2.4 build, so that the two files can be compared sample for sample.
//
//   kvb_vst3_render IN.wav OUT.wav [--plugin BUNDLE] [--block N] [--set NAME=VALUE ...]
//   kvb_vst3_render --parameters [--plugin BUNDLE]
//
// The second form lists the parameters as the bundle's controller declares
// them, one a line: id, title, short title, step count, flags (tab between).
//
// NAME is a parameter's short title as the bundle reports it (OptThr1, the
// VST 2.4 build's parameter name) or its id; VALUE from 0 to 1 is the value
// as the VST 2.4 build takes it, and it is handed over unchanged as the
// normalised value: the plug-in reads a normalised value by the same rule
// (a stepped parameter's position is the one the processing reads from that
// number), so the same number selects the same setting in both builds.
// The settings are queued at frame 0 of the first block, before any sample.
//
// The output has the input's channels (a mono input feeds both inputs, its
// output is the left one) and length: the plug-in's reported latency is
// dropped at the start, and the input is followed by as much silence to
// bring its last samples out. The output is a 32-bit float WAV.
// Exit codes: 0 done, 1 the work failed, 2 a wrong command line.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/AudioFile.h"
#include "tests/support/AlignedRender.h"
#include "tests/vst3/Vst3Host.h"

namespace {

int usage(const char* why) {
    std::fprintf(stderr,
                 "kvb_vst3_render: %s\n"
                 "usage: kvb_vst3_render IN.wav OUT.wav [--plugin BUNDLE] [--block N] [--set NAME=VALUE ...]\n",
                 why);
    return 2;
}

// A failed render leaves no half-written file behind.
int failed(std::unique_ptr<kvbhost::AudioWriter>& out, const std::string& outPath) {
    out.reset();
    std::remove(outPath.c_str());
    return 1;
}

// The bundle next to this program: KVB.vst3 in its folder.
std::string defaultBundle(const char* argv0) {
    std::string dir = argv0;
    const std::size_t slash = dir.find_last_of("/\\");
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    return dir + "/KVB.vst3";
}

bool number(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string inPath, outPath, bundle = defaultBundle(argv[0]);
    long block = 512;
    std::vector<std::string> sets;
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--parameters") {
            listing = true;
            continue;
        }
        if ((a == "--plugin" || a == "--block" || a == "--set") && i + 1 >= argc) return usage(("no value for " + a).c_str());
        if (a == "--plugin") bundle = argv[++i];
        else if (a == "--set") sets.push_back(argv[++i]);
        else if (a == "--block") {
            double b = 0.0;
            if (!number(argv[++i], b) || b < 1 || b > (1 << 20) || b != static_cast<long>(b))
                return usage("--block takes a whole number from 1 to 1048576");
            block = static_cast<long>(b);
        } else if (!a.empty() && a[0] == '-') return usage(("unknown option " + a).c_str());
        else if (inPath.empty()) inPath = a;
        else if (outPath.empty()) outPath = a;
        else return usage("too many file names");
    }
    if (listing ? !inPath.empty() || !sets.empty() : outPath.empty())
        return usage(listing ? "--parameters takes only --plugin" : "IN and OUT are needed");

    vst3host::Module module;
    if (!module.load(bundle)) {
        std::fprintf(stderr, "kvb_vst3_render: %s\n", module.error().c_str());
        return 1;
    }
    vst3host::Plugin plugin;
    if (!plugin.create(module)) {
        std::fprintf(stderr, "kvb_vst3_render: %s: %s\n", bundle.c_str(), plugin.error().c_str());
        return 1;
    }
    if (listing) {
        for (int32_t k = 0; k < plugin.parameterCount(); ++k) {
            v3_param_info p{};
            if (!plugin.parameterInfo(k, p)) return 1;
            std::printf("%u\t%s\t%s\t%d\t%d\n", static_cast<unsigned>(p.param_id),
                        vst3host::fromUtf16(p.title).c_str(), vst3host::fromUtf16(p.short_title).c_str(),
                        p.step_count, p.flags);
        }
        return 0;
    }
    for (const std::string& s : sets) {
        const std::size_t eq = s.find('=');
        double value = 0.0;
        if (eq == std::string::npos || !number(s.substr(eq + 1), value) || !(value >= 0.0 && value <= 1.0))
            return usage(("--set takes NAME=VALUE with VALUE from 0 to 1, not " + s).c_str());
        const std::string name = s.substr(0, eq);
        double id = -1;
        int32_t found = plugin.findParameter(name);
        if (found < 0 && number(name, id) && id >= 0 && id == static_cast<int32_t>(id)) {
            v3_param_info info{};
            if (plugin.parameterInfo(static_cast<int32_t>(id), info)) found = static_cast<int32_t>(info.param_id);
        }
        if (found < 0) return usage(("no parameter " + name).c_str());
        plugin.queueChange(static_cast<v3_param_id>(found), 0, value);
    }

    std::string error;
    std::unique_ptr<kvbhost::AudioReader> in = kvbhost::openAudioForReading(inPath, error);
    if (!in) {
        std::fprintf(stderr, "kvb_vst3_render: cannot read %s: %s\n", inPath.c_str(), error.c_str());
        return 1;
    }
    const kvbhost::AudioInfo info = in->info();
    if (info.channels < 1 || info.channels > 2) {
        std::fprintf(stderr, "kvb_vst3_render: %s has %d channels; KVB takes mono or stereo\n", inPath.c_str(),
                     info.channels);
        return 1;
    }
    // A 32-bit float WAV, kvb's own writer (the same bytes on every platform).
    kvbhost::AudioInfo floatInfo = info;
    floatInfo.encoding = kvbhost::Encoding::Float32;
    std::unique_ptr<kvbhost::AudioWriter> out =
        kvbhost::openAudioForWriting(outPath, kvbhost::OutputFormat{".wav", 0}, floatInfo, false, error);
    if (!out) {
        std::fprintf(stderr, "kvb_vst3_render: cannot write %s: %s\n", outPath.c_str(), error.c_str());
        return 1;
    }
    if (plugin.setup(info.sampleRate, static_cast<int>(block), V3_OFFLINE) != V3_OK || !plugin.activate()) {
        std::fprintf(stderr, "kvb_vst3_render: the plug-in refused %d Hz\n", info.sampleRate);
        return failed(out, outPath);
    }
    const uint32_t latency = plugin.latency();

    const kvbtest::RenderEnd end = kvbtest::renderAligned(
        *in, *out, info.channels, block, latency, [&](const float* const* ins, float* const* outs, std::int64_t frames) {
            return plugin.process(ins, outs, static_cast<int32_t>(frames)) == V3_OK;
        });
    if (end == kvbtest::RenderEnd::ProcessFailed) {
        std::fprintf(stderr, "kvb_vst3_render: the plug-in's process failed\n");
        return failed(out, outPath);
    }
    if (end == kvbtest::RenderEnd::WriteFailed) {
        std::fprintf(stderr, "kvb_vst3_render: writing %s failed: %s\n", outPath.c_str(), out->error().c_str());
        return failed(out, outPath);
    }
    plugin.deactivate();
    if (!in->error().empty()) {
        std::fprintf(stderr, "kvb_vst3_render: reading %s failed: %s\n", inPath.c_str(), in->error().c_str());
        return failed(out, outPath);
    }
    if (!out->close()) {
        std::fprintf(stderr, "kvb_vst3_render: writing %s failed: %s\n", outPath.c_str(), out->error().c_str());
        return failed(out, outPath);
    }
    return 0;
}
