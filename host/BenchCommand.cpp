// kvb bench: the cost of processReplacing of any VST 2.4 plug-in, KVB's by
// default, on the demo's programme material or on the start of an audio file
// (--input), scaled by --gain-db. After a settling second, several timed
// runs; a run's cost is the processing thread's CPU time (wall time on
// Windows) over the frames it processed, and the median run is the figure.
// With --compare a second plug-in is timed in the same process, its runs
// alternating with the first one's, so that both see the same machine: on a
// shared machine the ratio of the two is the figure to trust.
#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "host/AudioFile.h"
#include "host/Commands.h"
#include "host/DemoSignal.h"
#include "host/ParamOptions.h"
#include "host/PluginHost.h"

namespace kvbhost {

namespace {

double threadSeconds() {
#if defined(_WIN32)
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#else
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
#endif
}

bool parseNumber(const std::string& text, double lo, double hi, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && errno == 0 && std::isfinite(value) &&
           value >= lo && value <= hi;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

// One plug-in instance fed the demo block after block.
class Subject {
public:
    // Loads the plug-in with its settings; answers 0, or the exit code after
    // saying why not (2 for a setting it does not have, as everywhere).
    int start(const PluginSetup& setup, double rate, int block) {
        path_ = setup.plugin;
        if (int rc = loadPlugin(host_, setup)) return rc;
        vst::AEffect* e = host_.effect();
        if (e->numInputs < 2 || e->numOutputs < 2 || !(e->flags & vst::effFlagsCanReplacing)) {
            std::fprintf(stderr, "%s: %s needs 2 inputs, 2 outputs and processReplacing\n", commandPrefix(),
                         path_.c_str());
            return 1;
        }
        block_ = block;
        host_.sampleRate = static_cast<float>(rate);
        host_.blockSize = block;
        host_.dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
        host_.dispatch(vst::effSetBlockSize, 0, block);
        host_.dispatch(vst::effMainsChanged, 0, 1);
        // Plug-ins with more channels get silence on the others.
        in_.assign(static_cast<std::size_t>(e->numInputs), std::vector<float>(block));
        out_.assign(static_cast<std::size_t>(e->numOutputs), std::vector<float>(block));
        for (auto& c : in_) ins_.push_back(c.data());
        for (auto& c : out_) outs_.push_back(c.data());
        char name[256] = {};
        host_.dispatch(vst::effGetEffectName, 0, 0, name);
        name_ = name[0] ? name : "?";
        return 0;
    }

    // Processes `frames` frames of the signal, from where the last call ended.
    void process(const std::vector<float>& left, const std::vector<float>& right, std::size_t frames) {
        vst::AEffect* e = host_.effect();
        for (std::size_t done = 0; done < frames;) {
            const std::size_t at = position_ % left.size();
            const int n = static_cast<int>(std::min({static_cast<std::size_t>(block_), left.size() - at, frames - done}));
            std::copy_n(&left[at], n, in_[0].data());
            std::copy_n(&right[at], n, in_[1].data());
            e->processReplacing(e, ins_.data(), outs_.data(), n);
            finite_ = finite_ && std::isfinite(out_[0][0]) && std::isfinite(out_[1][0]);
            done += static_cast<std::size_t>(n);
            position_ += static_cast<std::size_t>(n);
        }
    }
    // One timed run: ns per stereo frame.
    double time(const std::vector<float>& left, const std::vector<float>& right, std::size_t frames) {
        const double t0 = threadSeconds();
        process(left, right, frames);
        return (threadSeconds() - t0) * 1e9 / static_cast<double>(frames);
    }
    void stop() { host_.dispatch(vst::effMainsChanged, 0, 0); }

    void report(const std::vector<double>& runs, double rate) const {
        std::printf("%s (%s)%s\n  runs (ns per stereo frame):", name_.c_str(), path_.c_str(),
                    finite_ ? "" : " -- output not finite");
        for (double v : runs) std::printf(" %.1f", v);
        const double m = median(runs);
        std::printf("\n  median: %.1f ns per stereo frame, real-time factor %.1f\n", m, 1e9 / (m * rate));
    }

private:
    PluginHost host_;
    std::string path_, name_;
    int block_ = 512;
    std::vector<std::vector<float>> in_, out_;
    std::vector<float*> ins_, outs_;
    std::size_t position_ = 0;
    bool finite_ = true;
};

}  // namespace

int runBench(const CommandLine& line) {
    const char* cmd = commandPrefix();
    PluginSetup first;
    if (int rc = pluginSetupOf(line, first)) return rc;
    const bool comparing = line.has("--compare");
    PluginSetup second;
    second.plugin = line.value("--compare");
    second.settings = line.values("--compare-set");
    double rate = 48000.0, block = 512.0, seconds = 2.0, runs = 7.0, gainDb = 0.0;
    struct NumberOption {
        const char* name;
        double lo, hi;
        double* value;
        bool whole;
    } options[] = {{"--rate", 8000.0, 768000.0, &rate, false},
                   {"--block", 1.0, 65536.0, &block, true},
                   {"--seconds", 0.1, 3600.0, &seconds, false},
                   {"--runs", 1.0, 101.0, &runs, true},
                   {"--gain-db", -200.0, 60.0, &gainDb, false}};
    for (const NumberOption& o : options) {
        if (!line.has(o.name)) continue;
        const std::string text = line.value(o.name);
        if (o.value == &gainDb && text == "-inf") {
            gainDb = -INFINITY;  // digital silence
            continue;
        }
        if (!parseNumber(text, o.lo, o.hi, *o.value) || (o.whole && *o.value != std::floor(*o.value))) {
            std::fprintf(stderr, "%s: %s takes a %s from %g to %g, not '%s'\n", cmd, o.name,
                         o.whole ? "whole number" : "number", o.lo, o.hi, text.c_str());
            return 2;
        }
    }
    if (!comparing && !second.settings.empty()) {
        std::fprintf(stderr, "%s: --compare-set needs --compare\n", cmd);
        return usageError("bench");
    }

    // The signal: the input file's start or the demo's, one run long (a
    // shorter file is gone round), at the file's rate unless --rate says.
    std::unique_ptr<AudioReader> input;
    if (line.has("--input")) {
        const std::string path = line.value("--input");
        std::string error;
        input = openAudioForReading(path, error);
        if (!input) {
            std::fprintf(stderr, "%s: cannot read %s: %s\n", cmd, path.c_str(), error.c_str());
            return 1;
        }
        const AudioInfo& info = input->info();
        if (info.channels < 1 || info.channels > 2) {
            std::fprintf(stderr, "%s: %s has %d channels; bench takes mono or stereo\n", cmd, path.c_str(),
                         info.channels);
            return 1;
        }
        if (!line.has("--rate")) rate = info.sampleRate;
    }
    const std::size_t runFrames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> left, right;
    if (input) {
        const int channels = input->info().channels;
        std::vector<float> frames(static_cast<std::size_t>(channels) * 4096);
        while (left.size() < runFrames) {
            const std::int64_t want = static_cast<std::int64_t>(std::min<std::size_t>(4096, runFrames - left.size()));
            const std::int64_t got = input->read(frames.data(), want);
            if (got <= 0) break;
            for (std::int64_t i = 0; i < got; ++i) {
                left.push_back(frames[static_cast<std::size_t>(i * channels)]);
                right.push_back(frames[static_cast<std::size_t>(i * channels + channels - 1)]);
            }
        }
        if (!input->error().empty() || left.empty()) {
            std::fprintf(stderr, "%s: cannot read %s: %s\n", cmd, line.value("--input").c_str(),
                         left.empty() ? "it holds no audio" : input->error().c_str());
            return 1;
        }
    } else {
        // The demo's first seconds, enough for one run; longer runs go round it.
        const std::size_t signalFrames = std::min(runFrames, static_cast<std::size_t>(8.0 * rate));
        left.resize(signalFrames);
        right.resize(signalFrames);
        renderDemoSignal(static_cast<float>(rate), signalFrames, left.data(), right.data());
    }
    if (gainDb != 0.0) {
        // Scaled in double and rounded once; -inf dB is digital silence (+0).
        const double gain = std::pow(10.0, gainDb / 20.0);
        for (std::vector<float>* c : {&left, &right})
            for (float& v : *c) v = gain == 0.0 ? 0.0f : static_cast<float>(static_cast<double>(v) * gain);
    }

    std::vector<std::unique_ptr<Subject>> subjects;
    subjects.push_back(std::make_unique<Subject>());
    if (int rc = subjects[0]->start(first, rate, static_cast<int>(block))) return rc;
    if (comparing) {
        subjects.push_back(std::make_unique<Subject>());
        if (int rc = subjects[1]->start(second, rate, static_cast<int>(block))) return rc;
    }

    for (auto& s : subjects) s->process(left, right, static_cast<std::size_t>(rate));  // detectors settle
    std::vector<std::vector<double>> times(subjects.size());
    std::vector<double> ratios;
    for (int r = 0; r < static_cast<int>(runs); ++r) {
        for (std::size_t k = 0; k < subjects.size(); ++k) times[k].push_back(subjects[k]->time(left, right, runFrames));
        if (comparing) ratios.push_back(times[0].back() / times[1].back());
    }
    for (auto& s : subjects) s->stop();

    std::printf("rate %.0f Hz, block %d, %d runs of %.1f s of %s", rate, static_cast<int>(block),
                static_cast<int>(runs), seconds, input ? line.value("--input").c_str() : "the demo");
    if (std::isinf(gainDb)) std::printf(", silenced");
    else if (gainDb != 0.0) std::printf(" at %+.1f dB", gainDb);
    std::printf("\n");
    for (std::size_t k = 0; k < subjects.size(); ++k) subjects[k]->report(times[k], rate);
    if (comparing) {
        // Other programs only ever add time: the fastest runs are the least disturbed.
        const double fastest = *std::min_element(times[0].begin(), times[0].end()) /
                               *std::min_element(times[1].begin(), times[1].end());
        std::printf("ratio (first / second): median of the runs side by side %.2f, fastest runs %.2f\n",
                    median(ratios), fastest);
    }
    return 0;
}

}  // namespace kvbhost
