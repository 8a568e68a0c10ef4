// kvb render and kvb demo: audio through the real plug-in binary, offline.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host/AudioFile.h"
#include "host/Commands.h"
#include "host/DemoSignal.h"
#include "host/LevelTrace.h"
#include "host/OutputFile.h"
#include "host/ParamOptions.h"
#include "host/PluginHost.h"
#include "host/Progress.h"

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
    const float* const* inputs() {
        ptrs_[0] = in_[0].data();
        ptrs_[1] = in_[1].data();
        return ptrs_;
    }
    const float* const* outputs() {
        ptrs_[2] = out_[0].data();
        ptrs_[3] = out_[1].data();
        return ptrs_ + 2;
    }

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
    const float* ptrs_[4] = {};
};

// OUT's format from its name; answers 0, or 2 after saying what is accepted.
int outputFormatOf(const std::string& path, const char* what, OutputFormat& format) {
    if (outputFormatFor(path, format)) return 0;
    std::fprintf(stderr,
                 "%s: %s '%s': the extension chooses the file's format, and kvb writes only formats that keep "
                 "every sample: %s\n",
                 commandPrefix(), what, path.c_str(), acceptedOutputExtensions().c_str());
    return 2;
}

// "25000 frames (0.567 s)"
std::string framesText(std::int64_t frames, int rate) {
    char text[64];
    std::snprintf(text, sizeof text, "%lld frames (%.3f s)", static_cast<long long>(frames),
                  static_cast<double>(frames) / rate);
    return text;
}

// A file that holds less than its header says: what is there is rendered,
// and the user told how much is missing.
void warnCutShort(const std::string& path, const AudioInfo& info, std::int64_t there, bool before) {
    std::fprintf(stderr, "%s: warning: %s is cut short: its header gives %s, the file holds %s; %s, %s missing\n",
                 commandPrefix(), path.c_str(), framesText(info.claimedFrames, info.sampleRate).c_str(),
                 framesText(there, info.sampleRate).c_str(),
                 before ? "rendering what is there" : "rendered what was there",
                 framesText(info.claimedFrames - there, info.sampleRate).c_str());
}

// Draws the trace as PNG; answers 0, or 1 after saying why not.
int writeTracePlot(const LevelTrace& trace, const std::string& plotPath, const std::string& title,
                   const std::vector<std::string>& settings, long program) {
#if defined(_WIN32)
    (void)trace, (void)plotPath, (void)title, (void)settings, (void)program;
    return 1;
#else
    std::string error;
    if (!writeChart(plotPath, trace.chart(title, describeSettings(settings, program)), error)) {
        std::fprintf(stderr, "%s: %s\n", commandPrefix(), error.c_str());
        return 1;
    }
    return 0;
#endif
}

}  // namespace

int runRender(const CommandLine& line) {
    const char* cmd = commandPrefix();
    PluginSetup setup;
    if (int rc = pluginSetupOf(line, setup)) return rc;
    long block = 512;
    const std::string blockText = line.value("--block");
    if (line.has("--block") && !parseWhole(blockText, 1, 1 << 20, block)) {
        std::fprintf(stderr, "%s: --block takes a number from 1 to 1048576, not '%s'\n", cmd, blockText.c_str());
        return 2;
    }
    const std::string plotPath = line.value("--plot");
    const bool asFloat = line.has("--float");
    const bool dither = line.has("--dither");
    const bool keepLatency = line.has("--keep-latency");
    const std::string inPath = line.arguments()[0], outPath = line.arguments()[1];
    OutputFormat format;
    if (int rc = outputFormatOf(outPath, "OUT", format)) return rc;
    if (line.has("--plot"))
        if (int rc = checkPictureName(plotPath, "--plot")) return rc;
    if (int rc = checkOutputs({inPath}, {{outPath, "OUT"}, {plotPath, "--plot"}})) return rc;

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
    if (int rc = loadPlugin(host, setup)) return rc;

    AudioInfo outInfo = inInfo;
    outInfo.encoding = outputEncoding(format, asFloat ? Encoding::Float32 : inInfo.encoding);
    if (dither && isFloat(outInfo.encoding))
        std::fprintf(stderr, "%s: note: --dither does nothing here: %s gets %s samples\n", cmd, outPath.c_str(),
                     encodingName(outInfo.encoding));
    const std::string temp = temporaryNameFor(outPath);
    std::unique_ptr<AudioWriter> out = openAudioForWriting(temp, format, outInfo, dither, error);
    if (!out) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "%s: cannot write %s: %s\n", cmd, outPath.c_str(), error.c_str());
        return 1;
    }
    if (inInfo.frames < inInfo.claimedFrames) warnCutShort(inPath, inInfo, inInfo.frames, true);

    const int channels = inInfo.channels;
    Renderer renderer(host, static_cast<int>(block));
    renderer.start(static_cast<float>(inInfo.sampleRate));
    std::vector<float> interleaved(static_cast<std::size_t>(block) * channels);
    Levels levelsIn, levelsOut;
    LevelTrace trace(inInfo.sampleRate);
    Progress progress(inInfo.frames, inInfo.frames > inInfo.sampleRate * 20LL);
    // Output sample n belongs to input sample n: the first `delay` outputs
    // (the plug-in's reported latency) are dropped, and as many frames of
    // silence follow the input to bring its last samples out.
    const std::int64_t delay =
        keepLatency ? 0 : std::max<vst::int32>(0, host.effect()->initialDelay);
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
        // The plot follows the input (the plug-in's few samples of delay
        // are nothing to its windows of 50 ms).
        if (!plotPath.empty() && fromInput)
            trace.add(renderer.inputs(), renderer.outputs(), channels, n);
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
    // A reader that found out only by reading that the file is shorter.
    if (ok && done < inInfo.frames) warnCutShort(inPath, inInfo, done, false);
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
    if (!plotPath.empty())
        return writeTracePlot(trace, plotPath, "kvb render: " + inPath + " → " + outPath,
                              setup.settings, setup.program);
    return 0;
}

// Writes a complete 24-bit stereo file under a temporary name, then puts it
// in place of `path`.
bool writeStereo24(const std::string& path, const OutputFormat& format, const std::vector<float>& interleaved,
                   float rate, std::string& error) {
    AudioInfo info;
    info.sampleRate = static_cast<int>(rate);
    info.channels = 2;
    info.frames = static_cast<std::int64_t>(interleaved.size() / 2);
    info.encoding = outputEncoding(format, Encoding::Pcm24);
    const std::string temp = temporaryNameFor(path);
    std::unique_ptr<AudioWriter> out = openAudioForWriting(temp, format, info, false, error);
    if (!out) {
        std::remove(temp.c_str());
        return false;
    }
    const bool written = out->write(interleaved.data(), info.frames);
    const bool closed = out->close();
    if (!written || !closed) error = out->error();
    if (!written || !closed || !replaceFile(temp, path)) {
        if (error.empty()) error = "cannot move the result into place";
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

int runDemo(const CommandLine& line) {
    const char* cmd = commandPrefix();
    PluginSetup setup;
    if (int rc = pluginSetupOf(line, setup, true)) return rc;
    long rateValue = 44100;
    const std::string rateText = line.value("--rate");
    if (line.has("--rate") && !parseWhole(rateText, 8000, 384000, rateValue)) {
        std::fprintf(stderr, "%s: --rate takes a sample rate from 8000 to 384000 Hz, not '%s'\n", cmd,
                     rateText.c_str());
        return 2;
    }
    const std::string outPath = line.arguments().empty() ? "kvb-demo.wav" : line.arguments()[0];
    const std::string dryPath = line.value("--dry"), plotPath = line.value("--plot");
    OutputFormat outFormat, dryFormat;
    if (int rc = outputFormatOf(outPath, "OUT", outFormat)) return rc;
    if (line.has("--dry"))
        if (int rc = outputFormatOf(dryPath, "--dry", dryFormat)) return rc;
    if (line.has("--plot"))
        if (int rc = checkPictureName(plotPath, "--plot")) return rc;
    if (int rc = checkOutputs({}, {{outPath, "OUT"}, {dryPath, "--dry"}, {plotPath, "--plot"}})) return rc;
    const float rate = static_cast<float>(rateValue);
    const std::size_t frames = static_cast<std::size_t>(kDemoSeconds * rate);
    std::vector<float> left(frames), right(frames);
    renderDemoSignal(rate, frames, left.data(), right.data());

    PluginHost host;
    if (int rc = loadPlugin(host, setup)) return rc;

    const int block = 512;
    Renderer renderer(host, block);
    renderer.start(rate);
    std::vector<float> interleaved(frames * 2);
    Levels levelsIn, levelsOut;
    LevelTrace trace(rate);
    for (std::size_t pos = 0; pos < frames; pos += block) {
        const int n = static_cast<int>(std::min<std::size_t>(block, frames - pos));
        std::copy_n(&left[pos], n, renderer.input(0));
        std::copy_n(&right[pos], n, renderer.input(1));
        levelsIn.add(&left[pos], n);
        levelsIn.add(&right[pos], n);
        renderer.process(n);
        if (!plotPath.empty()) trace.add(renderer.inputs(), renderer.outputs(), 2, n);
        for (int i = 0; i < n; ++i) {
            interleaved[2 * (pos + i)] = renderer.output(0)[i];
            interleaved[2 * (pos + i) + 1] = renderer.output(1)[i];
        }
        levelsOut.add(renderer.output(0), n);
        levelsOut.add(renderer.output(1), n);
    }
    renderer.stop();

    std::string error;
    if (!writeStereo24(outPath, outFormat, interleaved, rate, error)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", cmd, outPath.c_str(), error.c_str());
        return 1;
    }
    if (!dryPath.empty()) {
        for (std::size_t i = 0; i < frames; ++i) {
            interleaved[2 * i] = left[i];
            interleaved[2 * i + 1] = right[i];
        }
        if (!writeStereo24(dryPath, dryFormat, interleaved, rate, error)) {
            std::fprintf(stderr, "%s: cannot write %s: %s\n", cmd, dryPath.c_str(), error.c_str());
            return 1;
        }
    }
    printSummary(outPath.c_str(), levelsIn, levelsOut, kDemoSeconds);
    if (!plotPath.empty())
        return writeTracePlot(trace, plotPath, "kvb demo: the built-in groove → " + outPath,
                              setup.settings, setup.program);
    return 0;
}

}  // namespace kvbhost
