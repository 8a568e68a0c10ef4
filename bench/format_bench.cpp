// kvb_format_bench: what the same processing costs through each plug-in
// format, timed as kvb bench times it. Each build of KVB is loaded through its
// own entry (the VST 2.4 record, the LV2 descriptor, the VST3 factory, the
// CLAP entry) by a host of ours (the tests' hosts for VST3 and CLAP), fed the demo's programme material block after
// block, and timed in runs that alternate between the formats, so that all
// see the same machine. A run's cost is the thread's CPU time over the frames
// it processed; the figures are the median run and, against the VST 2.4
// build, the median of the ratios of runs side by side and the ratio of the
// fastest runs.
//
//   kvb_format_bench [--rate R] [--block N] [--seconds S] [--runs N]
//                    [--set NAME=VALUE ...] [--gain-db G]
//
// NAME=VALUE are VST 2.4 names and values (0 to 1), each format given the
// value its processing reads alike; without --set, both stages of channel 1
// compress (OptByp1=0 OptThr1=0.3 DisByp1=0 DisThr1=0.3), as in the README's
// kvb bench command. --gain-db scales the material (-70: a quiet passage).
#include <dlfcn.h>
#include <lv2/core/lv2.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/ParameterText.h"
#include "host/DemoSignal.h"
#include "host/PluginHost.h"
#include "lv2/Ports.h"
#include "params/Parameters.h"
#include "tests/clap/ClapHost.h"
#include "tests/vst3/Vst3Host.h"

namespace {

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

struct Setting {
    int index;
    float value;  // as the VST 2.4 build reads it
};

// One format's instance, processing stereo blocks of at most `block` frames.
class Subject {
public:
    virtual ~Subject() = default;
    virtual const char* name() const = 0;
    virtual void process(const float* l, const float* r, float* ol, float* orr, int frames) = 0;
};

class Vst2 final : public Subject {
public:
    Vst2(const std::vector<Setting>& settings, double rate, int block) {
        if (!host_.load(KVB_PLUGIN_PATH)) fail(host_.error());
        host_.dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
        host_.dispatch(vst::effSetBlockSize, 0, block);
        vst::AEffect* e = host_.effect();
        for (const Setting& s : settings) e->setParameter(e, s.index, s.value);
        host_.dispatch(vst::effMainsChanged, 0, 1);
    }
    const char* name() const override { return "VST 2.4"; }
    void process(const float* l, const float* r, float* ol, float* orr, int frames) override {
        float* in[2] = {const_cast<float*>(l), const_cast<float*>(r)};
        float* out[2] = {ol, orr};
        vst::AEffect* e = host_.effect();
        e->processReplacing(e, in, out, frames);
    }

private:
    static void fail(const std::string& why) {
        std::fprintf(stderr, "kvb_format_bench: %s\n", why.c_str());
        std::exit(1);
    }
    kvbhost::PluginHost host_;
};

class Lv2 final : public Subject {
public:
    Lv2(const std::vector<Setting>& settings, double rate, int /*block*/) {
        module_ = dlopen(KVB_LV2_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        auto entry = module_ ? reinterpret_cast<const LV2_Descriptor* (*)(std::uint32_t)>(
                                   dlsym(module_, "lv2_descriptor"))
                             : nullptr;
        desc_ = entry ? entry(0) : nullptr;
        const LV2_Feature* const none[] = {nullptr};
        handle_ = desc_ ? desc_->instantiate(desc_, rate, KVB_LV2_BUNDLE "/", none) : nullptr;
        if (!handle_) {
            std::fprintf(stderr, "kvb_format_bench: cannot instantiate %s\n", KVB_LV2_PLUGIN_PATH);
            std::exit(1);
        }
        for (std::uint32_t i = 0; i < kvblv2::kNumParamPorts; ++i) {
            controls_[i] = parameterDefault(static_cast<int>(i));
            desc_->connect_port(handle_, i, &controls_[i]);
        }
        for (const Setting& s : settings) controls_[s.index] = s.value;
        desc_->connect_port(handle_, kvblv2::kMeter1Port, &meters_[0]);
        desc_->connect_port(handle_, kvblv2::kMeter2Port, &meters_[1]);
        desc_->connect_port(handle_, kvblv2::kLatencyPort, &latency_);
        desc_->activate(handle_);
    }
    ~Lv2() override {
        desc_->deactivate(handle_);
        desc_->cleanup(handle_);
        dlclose(module_);
    }
    const char* name() const override { return "LV2"; }
    void process(const float* l, const float* r, float* ol, float* orr, int frames) override {
        desc_->connect_port(handle_, kvblv2::kInLeftPort, const_cast<float*>(l));
        desc_->connect_port(handle_, kvblv2::kInRightPort, const_cast<float*>(r));
        desc_->connect_port(handle_, kvblv2::kOutLeftPort, ol);
        desc_->connect_port(handle_, kvblv2::kOutRightPort, orr);
        desc_->run(handle_, static_cast<std::uint32_t>(frames));
    }

private:
    void* module_ = nullptr;
    const LV2_Descriptor* desc_ = nullptr;
    LV2_Handle handle_ = nullptr;
    float controls_[kvblv2::kNumParamPorts] = {};
    float meters_[2] = {};
    float latency_ = 0.0f;
};

class Clap final : public Subject {
public:
    Clap(const std::vector<Setting>& settings, double rate, int block) : module_(KVB_CLAP_PATH), fx_(module_) {
        if (!fx_) {
            std::fprintf(stderr, "kvb_format_bench: %s\n", module_ ? "no instance" : module_.error().c_str());
            std::exit(1);
        }
        // A stepped parameter's CLAP value is its position.
        for (const Setting& s : settings)
            fx_.queueValue(static_cast<clap_id>(s.index), kvb::positionCount(s.index) > 0
                                                                ? kvb::positionOf(s.index, s.value)
                                                                : static_cast<double>(s.value));
        fx_.flush();
        fx_.activate(rate, static_cast<std::uint32_t>(block));
    }
    ~Clap() override { fx_.deactivate(); }
    const char* name() const override { return "CLAP"; }
    void process(const float* l, const float* r, float* ol, float* orr, int frames) override {
        const float* in[2] = {l, r};
        float* out[2] = {ol, orr};
        fx_.process(in, out, static_cast<std::uint32_t>(frames));
        fx_.output().clear();  // the meters' events
    }

private:
    claptest::ClapModule module_;
    claptest::ClapInstance fx_;
};

class Vst3 final : public Subject {
public:
    Vst3(const std::vector<Setting>& settings, double rate, int block) {
        if (!module_.load(KVB_VST3_BUNDLE) || !plugin_.create(module_)) {
            std::fprintf(stderr, "kvb_format_bench: %s\n",
                         module_.error().empty() ? plugin_.error().c_str() : module_.error().c_str());
            std::exit(1);
        }
        plugin_.setup(rate, block);
        plugin_.activate();
        // The VST3 build reads a normalised value as the VST 2.4 build reads
        // its value; the settings go in with the first block.
        for (const Setting& s : settings) plugin_.queueChange(static_cast<v3_param_id>(s.index), 0, s.value);
    }
    ~Vst3() override { plugin_.deactivate(); }
    const char* name() const override { return "VST3"; }
    void process(const float* l, const float* r, float* ol, float* orr, int frames) override {
        const float* in[2] = {l, r};
        float* out[2] = {ol, orr};
        plugin_.process(in, out, frames);
    }

private:
    vst3host::Module module_;
    vst3host::Plugin plugin_;
};

// The demo, block after block, through one subject.
class Feeder {
public:
    Feeder(std::unique_ptr<Subject> s, int block) : subject(std::move(s)), block_(block), ol_(block), or_(block) {}
    void process(const std::vector<float>& l, const std::vector<float>& r, std::size_t frames) {
        for (std::size_t done = 0; done < frames;) {
            const std::size_t at = position_ % l.size();
            const int n = static_cast<int>(std::min({static_cast<std::size_t>(block_), l.size() - at, frames - done}));
            subject->process(&l[at], &r[at], ol_.data(), or_.data(), n);
            done += static_cast<std::size_t>(n);
            position_ += static_cast<std::size_t>(n);
        }
    }
    double time(const std::vector<float>& l, const std::vector<float>& r, std::size_t frames) {
        const double t0 = threadSeconds();
        process(l, r, frames);
        return (threadSeconds() - t0) * 1e9 / static_cast<double>(frames);
    }
    std::unique_ptr<Subject> subject;
    std::vector<double> runs;

private:
    int block_;
    std::vector<float> ol_, or_;
    std::size_t position_ = 0;
};

bool number(const char* text, double lo, double hi, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == 0 && std::isfinite(out) && out >= lo && out <= hi;
}

int usage() {
    std::fprintf(stderr,
                 "usage: kvb_format_bench [--rate R] [--block N] [--seconds S] [--runs N]\n"
                 "                        [--set NAME=VALUE ...] [--gain-db G]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double rate = 48000.0, block = 512.0, seconds = 2.0, runs = 7.0, gainDb = 0.0;
    std::vector<Setting> settings;
    bool setGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        const char* v = argv[++i];
        if (a == "--rate") {
            if (!number(v, 8000.0, 768000.0, rate)) return usage();
        } else if (a == "--block") {
            if (!number(v, 1.0, 65536.0, block) || block != std::floor(block)) return usage();
        } else if (a == "--seconds") {
            if (!number(v, 0.1, 3600.0, seconds)) return usage();
        } else if (a == "--runs") {
            if (!number(v, 1.0, 101.0, runs) || runs != std::floor(runs)) return usage();
        } else if (a == "--gain-db") {
            if (!number(v, -200.0, 40.0, gainDb)) return usage();
        } else if (a == "--set") {
            const char* eq = std::strchr(v, '=');
            double value = 0.0;
            int index = -1;
            for (int k = 0; eq && k < kNumNamedParams; ++k)
                if (std::string(v, eq) == parameterName(k)) index = k;
            if (index < 0 || !number(eq + 1, 0.0, 1.0, value)) {
                std::fprintf(stderr, "kvb_format_bench: --set takes NAME=VALUE, a parameter 0-25 by name and "
                                     "a value from 0 to 1, not '%s'\n", v);
                return 2;
            }
            settings.push_back({index, static_cast<float>(value)});
            setGiven = true;
        } else {
            return usage();
        }
    }
    if (!setGiven) settings = {{kOptByp1, 0.0f}, {kOptThr1, 0.3f}, {kDisByp1, 0.0f}, {kDisThr1, 0.3f}};

    const int b = static_cast<int>(block);
    std::vector<Feeder> feeders;
    feeders.emplace_back(std::make_unique<Vst2>(settings, rate, b), b);
    feeders.emplace_back(std::make_unique<Lv2>(settings, rate, b), b);
    feeders.emplace_back(std::make_unique<Vst3>(settings, rate, b), b);
    feeders.emplace_back(std::make_unique<Clap>(settings, rate, b), b);

    const std::size_t runFrames = static_cast<std::size_t>(seconds * rate);
    const std::size_t signalFrames = std::min(runFrames, static_cast<std::size_t>(8.0 * rate));
    std::vector<float> l(signalFrames), r(signalFrames);
    kvbhost::renderDemoSignal(static_cast<float>(rate), signalFrames, l.data(), r.data());
    const float gain = static_cast<float>(std::pow(10.0, gainDb / 20.0));
    for (std::size_t i = 0; i < signalFrames; ++i) {
        l[i] *= gain;
        r[i] *= gain;
    }

    for (Feeder& f : feeders) f.process(l, r, static_cast<std::size_t>(rate));  // detectors settle
    for (int k = 0; k < static_cast<int>(runs); ++k)
        for (Feeder& f : feeders) f.runs.push_back(f.time(l, r, runFrames));

    std::printf("rate %.0f Hz, block %d, %d runs of %.1f s, material at %+.1f dB\n", rate, b,
                static_cast<int>(runs), seconds, gainDb);
    const Feeder& ref = feeders[0];
    for (const Feeder& f : feeders) {
        std::printf("%-8s median %6.1f ns per stereo frame", f.subject->name(), median(f.runs));
        if (&f != &ref) {
            std::vector<double> ratios;
            for (std::size_t k = 0; k < f.runs.size(); ++k) ratios.push_back(f.runs[k] / ref.runs[k]);
            const double fastest = *std::min_element(f.runs.begin(), f.runs.end()) /
                                   *std::min_element(ref.runs.begin(), ref.runs.end());
            std::printf("   against VST 2.4: median of runs side by side %.3f, fastest runs %.3f", median(ratios),
                        fastest);
        }
        std::printf("\n");
    }
    return 0;
}
