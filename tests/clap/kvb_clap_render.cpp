// kvb_clap_render IN OUT [--set NAME=VALUE]... [--block N] [--plugin PATH]
//
// Renders an audio file through KVB.clap into a 32-bit float WAV, aligned as
// `kvb render IN OUT --float` aligns it through the VST 2.4 build: the
// plug-in's latency is dropped at the start and rendered on silence at the
// end, so that the two files can be compared sample for sample.
//
// NAME is a parameter's VST 2.4 name (OptThr1), its CLAP name (Opt threshold
// 1) or its id (0-25); VALUE is from 0 to 1, as the VST 2.4 build reads it. A
// continuous parameter takes VALUE as its CLAP value; a stepped one takes the
// position the VST 2.4 build's processing reads VALUE as (kvb::positionOf),
// which is its CLAP value. The values reach the plug-in through a params flush
// before activation. The plug-in is KVB.clap next to this program unless
// --plugin says otherwise.
//
// Exit codes: 0 done, 1 the work failed (OUT is left as it was), 2 a wrong
// command line.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/ParameterText.h"
#include "host/AudioFile.h"
#include "params/Parameters.h"
#include "tests/clap/ClapHost.h"
#include "tests/support/AlignedRender.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: kvb_clap_render IN OUT [--set NAME=VALUE]... [--block N] [--plugin PATH]\n");
    return 2;
}

// The parameter NAME stands for, or -1.
int resolve(const claptest::ClapInstance& fx, const std::string& name) {
    if (!name.empty() && name.size() <= 2 && name.find_first_not_of("0123456789") == std::string::npos) {
        const int i = std::atoi(name.c_str());
        return i < kNumNamedParams ? i : -1;
    }
    for (int i = 0; i < kNumNamedParams; ++i) {
        clap_param_info_t info{};
        if (name == parameterName(i) || (fx.paramInfo(static_cast<std::uint32_t>(i), info) && name == info.name))
            return i;
    }
    return -1;
}

std::string besideProgram(const char* argv0, const char* file) {
    const std::string self = argv0 ? argv0 : "";
    const auto slash = self.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + file;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths, settings;
    std::string plugin = besideProgram(argc > 0 ? argv[0] : nullptr, "KVB.clap");
    long block = 512;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--set" || a == "--block" || a == "--plugin") && i + 1 >= argc) return usage();
        if (a == "--set") {
            settings.push_back(argv[++i]);
        } else if (a == "--plugin") {
            plugin = argv[++i];
        } else if (a == "--block") {
            char* end = nullptr;
            block = std::strtol(argv[++i], &end, 10);
            if (*end || block < 1 || block > (1L << 20)) return usage();
        } else if (a.rfind("--", 0) == 0) {
            return usage();
        } else {
            paths.push_back(a);
        }
    }
    if (paths.size() != 2) return usage();

    const claptest::ClapModule module(plugin);
    if (!module) {
        std::fprintf(stderr, "kvb_clap_render: %s\n", module.error().c_str());
        return 1;
    }
    claptest::ClapInstance fx(module);
    if (!fx) {
        std::fprintf(stderr, "kvb_clap_render: %s makes no plug-in\n", plugin.c_str());
        return 1;
    }

    for (const std::string& s : settings) {
        const auto eq = s.find('=');
        const int index = eq == std::string::npos ? -1 : resolve(fx, s.substr(0, eq));
        if (index < 0) {
            std::fprintf(stderr, "kvb_clap_render: '%s' names no parameter of the CLAP build (0-25)\n", s.c_str());
            return 2;
        }
        const std::string text = s.substr(eq + 1);
        errno = 0;
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end || errno == ERANGE || !(value >= 0.0 && value <= 1.0)) {
            std::fprintf(stderr, "kvb_clap_render: the value of '%s' is no number from 0 to 1\n", s.c_str());
            return 2;
        }
        const double clapValue = kvb::positionCount(index) > 0
                                     ? kvb::positionOf(index, static_cast<float>(value))
                                     : static_cast<double>(static_cast<float>(value));
        fx.queueValue(static_cast<clap_id>(index), clapValue);
    }
    fx.flush();

    std::string error;
    std::unique_ptr<kvbhost::AudioReader> in = kvbhost::openAudioForReading(paths[0], error);
    if (!in) {
        std::fprintf(stderr, "kvb_clap_render: cannot read %s: %s\n", paths[0].c_str(), error.c_str());
        return 1;
    }
    const kvbhost::AudioInfo info = in->info();
    const int channels = info.channels;
    if (channels < 1 || channels > 2) {
        std::fprintf(stderr, "kvb_clap_render: %s has %d channels; KVB takes mono or stereo\n", paths[0].c_str(),
                     channels);
        return 1;
    }
    // Written under a name of its own and put in place when complete, so that
    // a failed render leaves no half-written file.
    const std::string part = paths[1] + ".part";
    // A 32-bit float WAV, kvb's own writer (the same bytes on every platform).
    kvbhost::AudioInfo floatInfo = info;
    floatInfo.encoding = kvbhost::Encoding::Float32;
    std::unique_ptr<kvbhost::AudioWriter> out =
        kvbhost::openAudioForWriting(part, kvbhost::OutputFormat{".wav", 0}, floatInfo, false, error);
    if (!out) {
        std::fprintf(stderr, "kvb_clap_render: cannot write %s: %s\n", paths[1].c_str(), error.c_str());
        return 1;
    }
    if (!fx.activate(info.sampleRate, static_cast<std::uint32_t>(block))) {
        std::fprintf(stderr, "kvb_clap_render: the plug-in does not start\n");
        return 1;
    }

    bool ok = true;
    const kvbtest::RenderEnd end =
        kvbtest::renderAligned(*in, *out, channels, block, fx.latency(),
                               [&](const float* const* ins, float* const* outs, std::int64_t frames) {
                                   fx.output().clear();
                                   fx.process(ins, outs, static_cast<std::uint32_t>(frames));
                                   return true;
                               });
    if (end == kvbtest::RenderEnd::WriteFailed) {
        std::fprintf(stderr, "kvb_clap_render: writing %s failed: %s\n", paths[1].c_str(), out->error().c_str());
        ok = false;
    } else if (end == kvbtest::RenderEnd::ReadFailed) {
        std::fprintf(stderr, "kvb_clap_render: reading %s failed: %s\n", paths[0].c_str(), in->error().c_str());
        ok = false;
    }
    fx.deactivate();
    if (!out->close()) ok = false;
    if (ok) {
        std::remove(paths[1].c_str());  // Windows renames onto no existing file
        ok = std::rename(part.c_str(), paths[1].c_str()) == 0;
        if (!ok) std::fprintf(stderr, "kvb_clap_render: cannot move the result to %s\n", paths[1].c_str());
    }
    if (!ok) {
        std::remove(part.c_str());
        return 1;
    }
    return 0;
}
