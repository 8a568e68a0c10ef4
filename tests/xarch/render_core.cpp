// The signal chain alone, rendering a WAV file: no plug-in interface, no
// editor, no libraries beyond the C++ runtime, so that it builds for any
// architecture. Its output is the chain's, sample for sample as the plug-in
// renders it (initial delay kept): renders of one input on two machines can
// be compared bit for bit.
//
//   kvb_render_core IN.wav OUT.wav [NAME=VALUE ...] [--block N]
//                   [--form portable|avx2|avx512]
//
// NAME is a parameter name (OptThr1 ...); every other parameter keeps its
// default. --form runs one compiled form of the chain (answering 3 when this
// build or processor has not got it) instead of the widest there is. Writes
// 32-bit float WAV.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/Processor.h"
#include "host/AudioFile.h"
#include "params/Parameters.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "kvb_render_core: %s\n", message.c_str());
    return 1;
}

bool setByName(std::atomic<float> (&params)[kNumParams], const std::string& setting) {
    const std::size_t eq = setting.find('=');
    if (eq == std::string::npos) return false;
    const std::string name = setting.substr(0, eq);
    char* end = nullptr;
    const float value = std::strtof(setting.c_str() + eq + 1, &end);
    if (*end != '\0' || end == setting.c_str() + eq + 1) return false;
    for (int i = 0; i < kNumNamedParams; ++i) {
        if (name == kParameterTable[i].name) {
            params[i].store(value, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    int block = 512;
    std::string form;
    for (std::size_t i = 0; i + 1 < args.size();) {
        if (args[i] == "--block" || args[i] == "--form") {
            if (args[i] == "--block")
                block = std::atoi(args[i + 1].c_str());
            else
                form = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        } else {
            ++i;
        }
    }
    const bool knownForm = form.empty() || form == "portable" || form == "avx2" || form == "avx512";
    if (args.size() < 2 || block < 1 || !knownForm) {
        std::fprintf(stderr,
                     "usage: kvb_render_core IN.wav OUT.wav [NAME=VALUE ...] [--block N]"
                     " [--form portable|avx2|avx512]\n");
        return 2;
    }
    std::atomic<float> params[kNumParams];
    for (int i = 0; i < kNumParams; ++i)
        params[i].store(i < kNumNamedParams ? kParameterTable[i].defaultValue : 0.5f);
    for (std::size_t i = 2; i < args.size(); ++i)
        if (!setByName(params, args[i])) return fail("not a NAME=VALUE setting: " + args[i]);

    std::string error;
    auto in = kvbhost::openAudioForReading(args[0], error);
    if (!in) return fail("cannot read " + args[0] + ": " + error);
    const kvbhost::AudioInfo info = in->info();
    if (info.channels < 1 || info.channels > 2) return fail(args[0] + ": mono or stereo only");
    kvbhost::AudioInfo outInfo = info;
    outInfo.encoding = kvbhost::Encoding::Float32;
    auto out = kvbhost::openAudioForWriting(args[1], kvbhost::OutputFormat{".wav", 0}, outInfo, false, error);
    if (!out) return fail("cannot write " + args[1] + ": " + error);

    Processor processor;
    processor.setUp();
    if (!form.empty()) {
        const Processor::Rounds wanted = form == "portable" ? Processor::Rounds::Portable
                                         : form == "avx2"   ? Processor::Rounds::Avx2
                                                            : Processor::Rounds::Avx512;
        if (processor.useRounds(wanted) != wanted) {
            std::fprintf(stderr, "kvb_render_core: no %s form in this build or on this processor\n", form.c_str());
            return 3;
        }
    }
    processor.setSampleRate(static_cast<float>(info.sampleRate));
    std::vector<float> frames(static_cast<std::size_t>(block) * info.channels);
    std::vector<float> l(block), r(block);
    for (;;) {
        const std::int64_t got = in->read(frames.data(), block);
        if (got <= 0) break;
        const int n = static_cast<int>(got);
        for (int i = 0; i < n; ++i) {
            l[i] = frames[static_cast<std::size_t>(i) * info.channels];
            r[i] = frames[static_cast<std::size_t>(i) * info.channels + info.channels - 1];
        }
        float* ins[2] = {l.data(), r.data()};
        processor.process(params, ins, ins, n);
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < info.channels; ++c)
                frames[static_cast<std::size_t>(i) * info.channels + c] = c == 0 ? l[i] : r[i];
        if (!out->write(frames.data(), got)) return fail("writing " + args[1] + ": " + out->error());
    }
    if (!in->error().empty()) return fail("reading " + args[0] + ": " + in->error());
    if (!out->close()) return fail("writing " + args[1] + ": " + out->error());
    return 0;
}
