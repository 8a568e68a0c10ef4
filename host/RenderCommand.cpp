// kvb render and kvb demo: audio through the real plug-in binary, offline.
#if defined(_WIN32)
#include <windows.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host/AudioFile.h"
#include "host/Commands.h"
#include "host/DemoSignal.h"
#include "host/ParamOptions.h"
#include "host/PluginHost.h"

namespace kvbhost {

namespace {

// Peak and RMS of one or two channels, in dBFS.
struct Levels {
    double peak = 0.0;
    double sumSquares = 0.0;
    std::size_t samples = 0;

    void add(const float* x, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const double v = x[i];
            peak = std::max(peak, std::fabs(v));
            sumSquares += v * v;
        }
        samples += n;
    }
    static double dB(double level) { return level > 0.0 ? 20.0 * std::log10(level) : -INFINITY; }
    double peakDb() const { return dB(peak); }
    double rmsDb() const { return samples ? dB(std::sqrt(sumSquares / samples)) : -INFINITY; }
};

void printSummary(const char* what, const Levels& in, const Levels& out, double seconds) {
    std::printf("%s %.1f s: in peak %.1f dBFS, RMS %.1f dBFS; out peak %.1f dBFS, RMS %.1f dBFS\n",
                what, seconds, in.peakDb(), in.rmsDb(), out.peakDb(), out.rmsDb());
}

// Shows a progress bar on a terminal.
class Progress {
public:
    Progress(std::int64_t total, bool show) : total_(total), show_(show && isatty(2)) {}
    void update(std::int64_t done) {
        if (!show_ || total_ <= 0) return;
        const int percent = static_cast<int>(100 * done / total_);
        if (percent == last_) return;
        last_ = percent;
        const int width = 40, filled = percent * width / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                     width - filled, "", percent);
        if (percent == 100) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    std::int64_t total_;
    bool show_;
    int last_ = -1;
};

// Drives one loaded plug-in block by block.
class Renderer {
public:
    Renderer(const PluginHost& host, int blockSize)
        : host_(host), block_(blockSize), in_(2, std::vector<float>(blockSize)),
          out_(2, std::vector<float>(blockSize)) {}

    void start(float sampleRate) {
        host_.dispatch(vst::effSetSampleRate, 0, 0, nullptr, sampleRate);
        host_.dispatch(vst::effSetBlockSize, 0, block_);
        host_.dispatch(vst::effMainsChanged, 0, 1);
    }
    void stop() { host_.dispatch(vst::effMainsChanged, 0, 0); }

    float* input(int channel) { return in_[channel].data(); }
    const float* output(int channel) const { return out_[channel].data(); }

    void process(int frames) {
        float* ins[2] = {in_[0].data(), in_[1].data()};
        float* outs[2] = {out_[0].data(), out_[1].data()};
        vst::AEffect* e = host_.effect();
        e->processReplacing(e, ins, outs, frames);
    }

private:
    const PluginHost& host_;
    int block_;
    std::vector<std::vector<float>> in_, out_;
};

bool parseWhole(const std::string& text, long lo, long hi, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end == text.c_str() + text.size() && errno == 0 && value >= lo &&
           value <= hi;
}

// A name next to the output that no one else is using; renamed over the
// output only when everything was written.
std::string temporaryNameFor(const std::string& out) {
    return out + ".part-" + std::to_string(static_cast<long>(getpid()));
}

// Puts the finished temporary file in the output's place.
bool replaceFile(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool loadAndConfigure(PluginHost& host, const std::string& plugin, long program,
                      const std::vector<std::string>& sets, const char* command) {
    if (!host.load(plugin)) {
        std::fprintf(stderr, "%s: %s\n", command, host.error().c_str());
        return false;
    }
    if (program >= 0) host.dispatch(vst::effSetProgram, 0, program);
    std::string error;
    if (!applySettings(host, sets, error)) {
        std::fprintf(stderr, "%s: %s\n", command, error.c_str());
        return false;
    }
    return true;
}

}  // namespace

int runRender(const Args& given) {
    const char* cmd = "kvb render";
    Args args = given;
    const std::string plugin = takePluginOption(args);
    const std::vector<std::string> sets = takeSetOptions(args);
    std::string text;
    long program = -1, block = 512;
    if (takeOption(args, "--program", text) && !parseWhole(text, 0, 49, program)) {
        std::fprintf(stderr, "%s: --program takes a number from 0 to 49, not '%s'\n", cmd, text.c_str());
        return 2;
    }
    if (takeOption(args, "--block", text) && !parseWhole(text, 1, 1 << 20, block)) {
        std::fprintf(stderr, "%s: --block takes a number from 1 to 1048576, not '%s'\n", cmd, text.c_str());
        return 2;
    }
    bool asFloat = false;
    if (auto it = std::find(args.begin(), args.end(), "--float"); it != args.end()) {
        asFloat = true;
        args.erase(it);
    }
    bool keepLatency = false;
    if (auto it = std::find(args.begin(), args.end(), "--keep-latency"); it != args.end()) {
        keepLatency = true;
        args.erase(it);
    }
    if (args.size() != 2 || args[0].rfind("--", 0) == 0 || args[1].rfind("--", 0) == 0) {
        std::fprintf(stderr, "usage: kvb render IN OUT [--program N] [--set NAME=VALUE ...] "
                             "[--block N] [--float] [--keep-latency] [--plugin PATH]\n");
        return 2;
    }
    const std::string inPath = args[0], outPath = args[1];

    std::string error;
    std::unique_ptr<AudioReader> in = openAudioForReading(inPath, error);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read %s: %s\n", cmd, inPath.c_str(), error.c_str());
        return 1;
    }
    const AudioInfo inInfo = in->info();
    if (inInfo.channels < 1 || inInfo.channels > 2) {
        std::fprintf(stderr, "%s: %s has %d channels; KVB takes mono or stereo\n", cmd,
                     inPath.c_str(), inInfo.channels);
        return 1;
    }

    PluginHost host;
    if (!loadAndConfigure(host, plugin, program, sets, cmd)) return 1;

    const std::string temp = temporaryNameFor(outPath);
    std::unique_ptr<AudioWriter> out = openAudioForWriting(
        temp, inInfo, asFloat ? SampleFormat::Float32 : SampleFormat::SameAsInput, error);
    if (!out) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", cmd, outPath.c_str(), error.c_str());
        return 1;
    }

    const int channels = inInfo.channels;
    Renderer renderer(host, static_cast<int>(block));
    renderer.start(static_cast<float>(inInfo.sampleRate));
    std::vector<float> interleaved(static_cast<std::size_t>(block) * channels);
    Levels levelsIn, levelsOut;
    Progress progress(inInfo.frames, inInfo.frames > inInfo.sampleRate * 20LL);
    // Output sample n belongs to input sample n: the first `delay` outputs
    // (the plug-in's reported latency) are dropped, and as many frames of
    // silence follow the input to bring its last samples out.
    const std::int64_t delay = keepLatency ? 0 : std::max<vst::int32>(0, host.effect()->initialDelay);
    std::int64_t toDrop = delay, silenceLeft = delay;
    std::int64_t done = 0;
    bool ok = true;
    for (;;) {
        std::int64_t got = in->read(interleaved.data(), block);
        const bool fromInput = got > 0;
        if (fromInput) {
            levelsIn.add(interleaved.data(), static_cast<std::size_t>(got) * channels);
        } else {
            if (silenceLeft == 0 || !in->error().empty()) break;
            got = std::min<std::int64_t>(block, silenceLeft);
            silenceLeft -= got;
            std::fill_n(interleaved.data(), got * channels, 0.0f);
        }
        const int n = static_cast<int>(got);
        for (int i = 0; i < n; ++i) {
            renderer.input(0)[i] = interleaved[static_cast<std::size_t>(i) * channels];
            renderer.input(1)[i] = interleaved[static_cast<std::size_t>(i) * channels + channels - 1];
        }
        renderer.process(n);
        const int skip = static_cast<int>(std::min<std::int64_t>(toDrop, n));
        toDrop -= skip;
        for (int i = skip; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                interleaved[static_cast<std::size_t>(i - skip) * channels + c] = renderer.output(c)[i];
        got = n - skip;
        levelsOut.add(interleaved.data(), static_cast<std::size_t>(got) * channels);
        if (got > 0 && !out->write(interleaved.data(), got)) {
            std::fprintf(stderr, "%s: writing %s failed: %s\n", cmd, outPath.c_str(), out->error().c_str());
            ok = false;
            break;
        }
        if (fromInput) done += n;
        progress.update(done);
    }
    if (ok && !in->error().empty()) {
        std::fprintf(stderr, "%s: reading %s failed: %s\n", cmd, inPath.c_str(), in->error().c_str());
        ok = false;
    }
    renderer.stop();
    if (!out->close()) {
        if (ok) std::fprintf(stderr, "%s: writing %s failed: %s\n", cmd, outPath.c_str(), out->error().c_str());
        ok = false;
    }
    if (!ok || !replaceFile(temp, outPath)) {
        if (ok) std::fprintf(stderr, "%s: cannot move the result to %s\n", cmd, outPath.c_str());
        std::remove(temp.c_str());
        return 1;
    }
    printSummary(outPath.c_str(), levelsIn, levelsOut, static_cast<double>(done) / inInfo.sampleRate);
    return 0;
}

// Writes a complete 24-bit stereo WAV under a temporary name, then puts it in
// place of `path`.
bool writeStereo24(const std::string& path, const std::vector<float>& interleaved, float rate,
                   std::string& error) {
    AudioInfo info;
    info.sampleRate = static_cast<int>(rate);
    info.channels = 2;
    const std::string temp = temporaryNameFor(path);
    std::unique_ptr<AudioWriter> out = openAudioForWriting(temp, info, SampleFormat::Pcm24, error);
    if (!out) return false;
    const bool written = out->write(interleaved.data(), static_cast<std::int64_t>(interleaved.size() / 2));
    const bool closed = out->close();
    if (!written || !closed) error = out->error();
    if (!written || !closed || !replaceFile(temp, path)) {
        if (error.empty()) error = "cannot move the result into place";
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

// The demo's settings: linked left/right; the Opt stage levels gently, the
// Dis stage catches the drums fast at 5:1 with 7.5 dB of make-up, so the
// groove comes out about 3 dB louder with its peaks where they were. The
// meters (default mode) show channel 1 of the Opt stage on the left and of
// the Dis stage on the right.
const char* const kDemoSettings[] = {
    "MSMode=1",    "StereoMode=0", "OptThr1=0.8", "OptGain1=0.1", "DisByp1=0",   "DisThr1=0.5",
    "DisAtk1=0",   "DisRat1=0.8",  "DisRls1=0.3", "DisGain1=0.5",
};

int runDemo(const Args& given) {
    const char* cmd = "kvb demo";
    Args args = given;
    const std::string plugin = takePluginOption(args);
    std::string dryPath;
    takeOption(args, "--dry", dryPath);
    if (args.size() > 1 || (args.size() == 1 && args[0].rfind("--", 0) == 0)) {
        std::fprintf(stderr, "usage: kvb demo [OUT.wav] [--dry DRY.wav] [--plugin PATH]\n");
        return 2;
    }
    const std::string outPath = args.empty() ? "kvb-demo.wav" : args[0];
    const float rate = 44100.0f;
    const std::size_t frames = static_cast<std::size_t>(kDemoSeconds * rate);
    std::vector<float> left(frames), right(frames);
    renderDemoSignal(rate, frames, left.data(), right.data());

    PluginHost host;
    if (!loadAndConfigure(host, plugin, -1,
                          std::vector<std::string>(std::begin(kDemoSettings), std::end(kDemoSettings)),
                          cmd))
        return 1;

    const int block = 512;
    Renderer renderer(host, block);
    renderer.start(rate);
    std::vector<float> interleaved(frames * 2);
    Levels levelsIn, levelsOut;
    for (std::size_t pos = 0; pos < frames; pos += block) {
        const int n = static_cast<int>(std::min<std::size_t>(block, frames - pos));
        std::copy_n(&left[pos], n, renderer.input(0));
        std::copy_n(&right[pos], n, renderer.input(1));
        levelsIn.add(&left[pos], n);
        levelsIn.add(&right[pos], n);
        renderer.process(n);
        for (int i = 0; i < n; ++i) {
            interleaved[2 * (pos + i)] = renderer.output(0)[i];
            interleaved[2 * (pos + i) + 1] = renderer.output(1)[i];
        }
        levelsOut.add(renderer.output(0), n);
        levelsOut.add(renderer.output(1), n);
    }
    renderer.stop();

    std::string error;
    if (!writeStereo24(outPath, interleaved, rate, error)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", cmd, outPath.c_str(), error.c_str());
        return 1;
    }
    if (!dryPath.empty()) {
        for (std::size_t i = 0; i < frames; ++i) {
            interleaved[2 * i] = left[i];
            interleaved[2 * i + 1] = right[i];
        }
        if (!writeStereo24(dryPath, interleaved, rate, error)) {
            std::fprintf(stderr, "%s: cannot write %s: %s\n", cmd, dryPath.c_str(), error.c_str());
            return 1;
        }
    }
    printSummary(outPath.c_str(), levelsIn, levelsOut, kDemoSeconds);
    return 0;
}

}  // namespace kvbhost
