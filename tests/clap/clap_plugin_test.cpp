// KVB.clap as a CLAP host sees it, through our test host (ClapHost.h): the
// exports, the descriptor and factory, the parameters and their texts, the
// state, ports and latency; the audio against the VST 2.4 effect (linked into
// this test) and against the engine cut at the same frames; and what a
// careless host sends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/ParameterText.h"
#include "engine/State.h"
#include "host/DemoSignal.h"
#include "tests/RunCommand.h"
#include "tests/clap/ClapHost.h"
#include "tests/robustness/RobustSupport.h"

using claptest::ClapInstance;
using claptest::ClapModule;

namespace {

constexpr std::uint32_t kFrames = 4096;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const ClapModule& module() {
    static const ClapModule m(KVB_CLAP_PATH);
    return m;
}

// A setting as the VST 2.4 build takes it (0 to 1).
struct Setting {
    int index;
    float value;
};

// Both stages of both channels at work, mid/side.
const std::vector<Setting> kMidSide = {{kOptThr1, 0.3f}, {kDisThr1, 0.4f}, {kDisByp1, 0.0f}, {kOptThr2, 0.5f},
                                       {kDisThr2, 0.2f}, {kDisByp2, 0.0f}, {kMSMode, 0.0f},  {kMeterMode, 0.5f},
                                       {kDisAtk2, 0.1f}, {kDisRls2, 0.95f}, {kTrafo2, 0.3f}};
// Left/right, linked, with stepped values between the positions' grid points.
const std::vector<Setting> kLinked = {{kOptThr1, 0.2f}, {kOptGain1, 0.4f}, {kDisThr1, 0.3f}, {kDisByp1, 0.0f},
                                      {kDisAtk1, 0.33f}, {kDisRat1, 0.71f}, {kDisRls1, 0.12f}, {kOptMode, 0.6f},
                                      {kTrafo1, 0.0f},  {kStereoMode, 0.0f}, {kMSMode, 1.0f}};
// Each channel its own, fast Opt stage, side-chain filters.
const std::vector<Setting> kUnlinked = {{kStereoMode, 1.0f}, {kOptThr1, 0.1f}, {kDisThr1, 0.2f}, {kDisByp1, 0.0f},
                                        {kDisRat1, 1.0f},   {kDisAtk1, 0.0f}, {kOptMode, 1.0f},  {kSCFilt1, 0.0f},
                                        {kOptThr2, 0.15f},  {kOptByp2, 1.0f}, {kDisByp2, 0.0f}};

// The CLAP value a VST 2.4 value stands for: the position the processing
// reads it as, or the value itself.
double clapValue(int index, float vst) {
    return kvb::positionCount(index) > 0 ? kvb::positionOf(index, vst) : static_cast<double>(vst);
}

// The demo signal, frames [from, from + n).
struct Signal {
    std::vector<float> l, r;
    Signal(float rate, std::uint32_t frames) : l(frames), r(frames) {
        kvbhost::renderDemoSignal(rate, frames, l.data(), r.data());
    }
};

// The VST 2.4 effect with the same settings.
struct Reference : robust::Instance {
    Reference(float rate, const std::vector<Setting>& settings) {
        changeRate(rate, static_cast<int>(kFrames));
        for (const Setting& s : settings) setParameter(s.index, s.value);
    }
    void run(const float* l, const float* r, float* ol, float* orr, std::uint32_t n) {
        float* in[2] = {const_cast<float*>(l), const_cast<float*>(r)};
        float* out[2] = {ol, orr};
        process(in, out, static_cast<int>(n));
    }
};

// An instance with the settings flushed in before activation.
std::unique_ptr<ClapInstance> started(double rate, const std::vector<Setting>& settings = {},
                                      bool offerExtensions = true) {
    auto fx = std::make_unique<ClapInstance>(module(), nullptr, offerExtensions);
    if (!*fx) return nullptr;
    for (const Setting& s : settings) fx->queueValue(static_cast<clap_id>(s.index), clapValue(s.index, s.value));
    fx->flush();
    if (!fx->activate(rate, kFrames)) return nullptr;
    return fx;
}

bool sameBits(const float* a, const float* b, std::size_t n) { return std::memcmp(a, b, n * sizeof(float)) == 0; }

// The state blob's values, as the instance would save them.
kvb::SavedState savedState(const ClapInstance& fx) {
    std::vector<std::uint8_t> blob;
    kvb::SavedState s;
    EXPECT_TRUE(fx.saveState(blob));
    EXPECT_EQ(kvb::readState(blob.data(), blob.size(), s), kvb::StateError::None);
    return s;
}

std::vector<std::uint8_t> blobOf(const kvb::SavedState& s) {
    std::vector<std::uint8_t> b(kvb::kStateBytes);
    kvb::writeState(s, b.data());
    return b;
}

}  // namespace

// --- the binary, the entry and the factory ---------------------------------------------

TEST(ClapBinary, ExportsOnlyClapEntryAndStartsFromIt) {
    ASSERT_TRUE(module()) << module().error();
    const CommandResult r = runCommand("nm -D --defined-only " + std::string(KVB_CLAP_PATH));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.substr(r.out.find(' ') + 1), "D clap_entry\n") << r.out;
    for (const char* hidden : {"VSTPluginMain", "main", "lv2_descriptor", "hInstance", "createEditor"})
        EXPECT_EQ(module().symbol(hidden), nullptr) << hidden;

    const clap_plugin_entry_t* e = module().entry();
    EXPECT_TRUE(clap_version_is_compatible(e->clap_version));
    EXPECT_EQ(e->get_factory("clap.plugin-invalidation-factory"), nullptr);
    EXPECT_EQ(e->get_factory(nullptr), nullptr);
    EXPECT_EQ(e->get_factory(CLAP_PLUGIN_FACTORY_ID), module().factory());
}

TEST(ClapBinary, TheFactoryDescribesAndMakesOnePlugin) {
    const clap_plugin_factory_t* f = module().factory();
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->get_plugin_count(f), 1u);
    EXPECT_EQ(f->get_plugin_descriptor(f, 1), nullptr);
    const clap_plugin_descriptor_t* d = f->get_plugin_descriptor(f, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(clap_version_is_compatible(d->clap_version));
    EXPECT_STREQ(d->id, "example.kvb-audio.kvb");
    EXPECT_STREQ(d->name, "KVB");
    EXPECT_STREQ(d->vendor, "https://kvb-audio.example");
    EXPECT_STREQ(d->url, "https://kvb-audio.example");
    EXPECT_STREQ(d->version, "1.0.0");
    std::vector<std::string> features;
    for (const char* const* p = d->features; p && *p; ++p) features.push_back(*p);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "compressor", "stereo"}));

    ClapInstance fx(module());
    ASSERT_TRUE(fx);
    EXPECT_EQ(fx.plugin()->desc, d);
    // Another id, no host, or a host of CLAP 0.x: nothing is made.
    EXPECT_EQ(f->create_plugin(f, fx.host(), "example.other"), nullptr);
    EXPECT_EQ(f->create_plugin(f, fx.host(), nullptr), nullptr);
    EXPECT_EQ(f->create_plugin(f, nullptr, d->id), nullptr);
    clap_host_t old = *fx.host();
    old.clap_version = {0, 26, 0};
    EXPECT_EQ(f->create_plugin(f, &old, d->id), nullptr);
}

TEST(ClapBinary, OneStereoPortEachWayAndThreeSamplesOfLatency) {
    ClapInstance fx(module());
    ASSERT_TRUE(fx);
    EXPECT_EQ(fx.latency(), 3u);
    const auto* ports = fx.extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    ASSERT_NE(ports, nullptr);
    for (bool input : {true, false}) {
        ASSERT_EQ(ports->count(fx.plugin(), input), 1u);
        clap_audio_port_info_t info{};
        ASSERT_TRUE(ports->get(fx.plugin(), 0, input, &info));
        EXPECT_EQ(info.id, 0u);
        EXPECT_EQ(info.channel_count, 2u);
        EXPECT_EQ(info.flags, static_cast<std::uint32_t>(CLAP_AUDIO_PORT_IS_MAIN));
        EXPECT_STREQ(info.port_type, CLAP_PORT_STEREO);
        EXPECT_EQ(info.in_place_pair, 0u);
        EXPECT_FALSE(ports->get(fx.plugin(), 1, input, &info));
    }
    EXPECT_EQ(fx.extension<void>("clap.note-ports"), nullptr);
}

// --- parameters -------------------------------------------------------------------------

TEST(ClapParams, TwentySixSettingsInVst24OrderThenTwoReadOnlyMeters) {
    ClapInstance fx(module());
    ASSERT_TRUE(fx);
    ASSERT_EQ(fx.paramCount(), 28u);
    for (std::uint32_t i = 0; i < 28; ++i) {
        clap_param_info_t info{};
        ASSERT_TRUE(fx.paramInfo(i, info));
        EXPECT_EQ(info.id, i);
        EXPECT_EQ(info.min_value, 0.0) << i;
        if (i >= 26) {
            EXPECT_EQ(std::string(info.name), "Meter " + std::to_string(i - 25));
            EXPECT_EQ(info.flags, static_cast<std::uint32_t>(CLAP_PARAM_IS_READONLY));
            EXPECT_EQ(info.max_value, 30.0);
            EXPECT_EQ(info.default_value, 0.0);
            EXPECT_EQ(fx.paramValue(i), 0.0);
            continue;
        }
        const int index = static_cast<int>(i);
        const int n = kvb::positionCount(index);
        EXPECT_STREQ(info.name, kvb::describeParameter(index).title);
        const std::uint32_t stepped = n > 0 ? CLAP_PARAM_IS_STEPPED : 0;
        EXPECT_EQ(info.flags, CLAP_PARAM_IS_AUTOMATABLE | stepped) << info.name;
        EXPECT_EQ(info.max_value, n > 0 ? n - 1 : 1.0) << info.name;
        EXPECT_EQ(info.default_value, clapValue(index, parameterDefault(index))) << info.name;
        EXPECT_EQ(fx.paramValue(i), info.default_value) << info.name;
    }
    clap_param_info_t info{};
    EXPECT_FALSE(fx.paramInfo(28, info));
    EXPECT_EQ(fx.paramValue(28), -1.0) << "no such parameter";
}

// Every position's name, and continuous values in their units, both ways.
TEST(ClapParams, TextsInRealUnitsBothWaysForEveryPosition) {
    ClapInstance fx(module());
    ASSERT_TRUE(fx);
    char expected[64];
    for (int i = 0; i < kNumNamedParams; ++i) {
        const auto id = static_cast<clap_id>(i);
        const int n = kvb::positionCount(i);
        for (int k = 0; k < n; ++k) {
            const std::string label = kvb::positionLabel(i, k);
            EXPECT_EQ(fx.valueToText(id, k), label) << i;
            EXPECT_EQ(fx.valueToText(id, k + 0.99), label) << "stepped values are cut, " << i;
            double v = -1.0;
            EXPECT_TRUE(fx.textToValue(id, label.c_str(), v)) << label;
            EXPECT_EQ(v, k) << label;
        }
        if (n > 0) {
            EXPECT_EQ(fx.valueToText(id, -3.0), kvb::positionLabel(i, 0));
            EXPECT_EQ(fx.valueToText(id, 99.0), kvb::positionLabel(i, n - 1));
            continue;
        }
        for (double v : {0.0, 0.25, 0.5, 0.8125, 1.0}) {
            kvb::formatValue(i, static_cast<float>(v), expected, sizeof expected);
            const std::string text = fx.valueToText(id, v);
            EXPECT_EQ(text, expected);
            double back = -1.0;
            ASSERT_TRUE(fx.textToValue(id, text.c_str(), back)) << text;
            EXPECT_EQ(fx.valueToText(id, back), text) << "read back as " << back;
        }
        EXPECT_EQ(fx.valueToText(id, 5.0), fx.valueToText(id, 1.0));
        kvb::formatValue(i, parameterDefault(i), expected, sizeof expected);
        EXPECT_EQ(fx.valueToText(id, kNaN), expected) << "not a number reads as the default";
    }
    EXPECT_EQ(fx.valueToText(kOptThr1, 0.5), "-35.0 dB");
    double v = -1.0;
    EXPECT_TRUE(fx.textToValue(kOptThr1, "-10 dB", v));
    EXPECT_EQ(v, 1.0);
    EXPECT_TRUE(fx.textToValue(kDisRat1, "4:1", v));
    EXPECT_EQ(fx.valueToText(kDisRat1, v), "4:1");
    EXPECT_FALSE(fx.textToValue(kOptThr1, "loud", v));
    EXPECT_FALSE(fx.textToValue(kOptMode, "QUICK", v));
    // The meters in dB, within 0 to 30.
    EXPECT_EQ(fx.valueToText(26, 12.34), "12.3 dB");
    EXPECT_EQ(fx.valueToText(27, 45.0), "30.0 dB");
    EXPECT_TRUE(fx.textToValue(27, "7.5 dB", v));
    EXPECT_EQ(v, 7.5);
    EXPECT_EQ(fx.valueToText(28, 0.0), "(none)");
    EXPECT_FALSE(fx.textToValue(28, "1", v));
}

// Host values are held on the processing's positions (the state shows the
// engine's value); beyond the range the nearer end, NaN the default; other
// ids and the read-only meters take nothing.
TEST(ClapParams, HostValuesAreSanitisedAndSteppedOnesHeldOnPositions) {
    ClapInstance fx(module());
    ASSERT_TRUE(fx);
    const kvb::SavedState before = savedState(fx);
    fx.queueValue(kDisAtk1, 2.9);
    fx.queueValue(kOptMode, 7.0);
    fx.queueValue(kDisRls2, -2.0);
    fx.queueValue(kMSMode, kNaN);
    fx.queueValue(kOptThr1, 1.7);
    fx.queueValue(kOptGain1, 0.375);
    fx.queueValue(kDisThr1, -kInf);
    fx.queueValue(kDisGain1, kNaN);
    for (clap_id id : {26u, 27u, 28u, 1000u, CLAP_INVALID_ID}) fx.queueValue(id, 0.5);
    fx.flush();
    EXPECT_EQ(fx.paramValue(kDisAtk1), 2.0);
    EXPECT_EQ(fx.paramValue(kOptMode), 2.0);
    EXPECT_EQ(fx.paramValue(kDisRls2), 0.0);
    const kvb::SavedState s = savedState(fx);
    EXPECT_EQ(s.values[kDisAtk1], 0.4f);
    EXPECT_EQ(s.values[kOptMode], 1.0f);
    EXPECT_EQ(s.values[kDisRls2], 0.0f);
    EXPECT_EQ(s.values[kMSMode], parameterDefault(kMSMode));
    EXPECT_EQ(s.values[kOptThr1], 1.0f);
    EXPECT_EQ(s.values[kOptGain1], 0.375f);
    EXPECT_EQ(s.values[kDisThr1], 0.0f);
    EXPECT_EQ(s.values[kDisGain1], parameterDefault(kDisGain1));
    for (int i = kMeter1Param; i < kNumParams; ++i) EXPECT_EQ(s.values[i], before.values[i]) << i;
    EXPECT_TRUE(fx.output().empty()) << "the host's own changes are not sent back";
}

// --- state ---------------------------------------------------------------------------

// Every value (the engine's 51, the hidden ones too) and the program travel,
// through streams that take or give a byte, or seven, at a time.
TEST(ClapState, RoundTripsEveryValueThroughPartialStreams) {
    ClapInstance a(module()), b(module());
    ASSERT_TRUE(a && b);
    kvb::SavedState s;
    s.program = 7;
    for (int i = 0; i < kNumParams; ++i) s.values[i] = static_cast<float>((i * 37) % 101) / 100.0f;
    s.values[kDisAtk1] = 0.33f;  // off the positions' grid: kept as it is
    ASSERT_TRUE(a.loadState(blobOf(s), 7));
    EXPECT_EQ(a.calls.rescan, 1);
    std::vector<std::uint8_t> saved;
    ASSERT_TRUE(a.saveState(saved, 1));
    EXPECT_EQ(saved, blobOf(s));
    ASSERT_TRUE(b.loadState(saved, 1));
    for (int i = 0; i < kNumNamedParams; ++i)
        EXPECT_EQ(b.paramValue(static_cast<clap_id>(i)), clapValue(i, s.values[i])) << i;
    std::vector<std::uint8_t> again;
    ASSERT_TRUE(b.saveState(again));
    EXPECT_EQ(again, saved);

    // Values beyond 0 to 1 are the nearer end.
    s.values[kOptThr1] = 4.0f;
    s.values[40] = -2.0f;
    ASSERT_TRUE(b.loadState(blobOf(s)));
    EXPECT_EQ(savedState(b).values[kOptThr1], 1.0f);
    EXPECT_EQ(savedState(b).values[40], 0.0f);
}

TEST(ClapState, EachKindOfBadStateIsRefusedAndChangesNothing) {
    ClapInstance fx(module());
    ASSERT_TRUE(fx);
    fx.queueValue(kOptThr1, 0.25);
    fx.queueValue(kDisRat2, 3.0);
    fx.flush();
    std::vector<std::uint8_t> good;
    ASSERT_TRUE(fx.saveState(good));

    std::vector<std::vector<std::uint8_t>> bad;
    bad.push_back({});                                           // empty
    bad.emplace_back(good.begin(), good.end() - 1);              // short
    bad.emplace_back(good.begin(), good.begin() + 16);           // the header alone
    bad.push_back(good), bad.back()[0] = 'X';                    // another tag
    bad.push_back(good), bad.back()[4] = 2;                      // a newer version
    bad.push_back(good), bad.back()[12] = 50;                    // another count of values
    for (std::uint32_t word : {0x7fc00000u, 0x7f800000u, 0xff800000u}) {  // NaN, +inf, -inf
        bad.push_back(good);
        std::memcpy(bad.back().data() + 16 + 4 * kDisGain1, &word, 4);
    }
    for (const auto& b : bad) {
        EXPECT_FALSE(fx.loadState(b, 3)) << b.size() << " bytes";
        std::vector<std::uint8_t> now;
        ASSERT_TRUE(fx.saveState(now));
        EXPECT_EQ(now, good);
    }
    EXPECT_EQ(fx.calls.rescan, 0);

    // Streams that fail, or take nothing.
    const auto* state = fx.extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    const clap_istream_t broken{nullptr, [](const clap_istream_t*, void*, std::uint64_t) -> std::int64_t { return -1; }};
    const clap_ostream_t full{nullptr, [](const clap_ostream_t*, const void*, std::uint64_t) -> std::int64_t { return 0; }};
    EXPECT_FALSE(state->load(fx.plugin(), &broken));
    EXPECT_FALSE(state->save(fx.plugin(), &full));
    EXPECT_FALSE(state->load(fx.plugin(), nullptr));
    EXPECT_FALSE(state->save(fx.plugin(), nullptr));
    std::vector<std::uint8_t> now;
    ASSERT_TRUE(fx.saveState(now));
    EXPECT_EQ(now, good);
}

// --- audio ------------------------------------------------------------------------------

// Settings flushed in before activation and blocks of many sizes: the VST
// 2.4 effect's bits, and its meters as the host's values of ids 26 and 27.
TEST(ClapAudio, RendersTheVst24EffectsBitsUnderSeveralSettingsAndBlockSizes) {
    const float rate = 48000.0f;
    for (const auto* settings : {&kMidSide, &kLinked, &kUnlinked}) {
        auto fx = started(rate, *settings);
        ASSERT_TRUE(fx);
        Reference ref(rate, *settings);
        const Signal sig(rate, 6 * kFrames);
        std::vector<float> l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
        float* out[2] = {ol.data(), orr.data()};
        std::uint32_t at = 0;
        float deepest = 0.0f;
        for (std::uint32_t n : {1u, 64u, 257u, 4096u, 3u, 1000u, 4096u, 4096u, 512u, 4096u}) {
            const float* in[2] = {sig.l.data() + at, sig.r.data() + at};
            ref.run(in[0], in[1], l.data(), r.data(), n);
            fx->output().clear();
            ASSERT_EQ(fx->process(in, out, n), CLAP_PROCESS_CONTINUE);
            ASSERT_TRUE(sameBits(ol.data(), l.data(), n)) << "block at " << at;
            ASSERT_TRUE(sameBits(orr.data(), r.data(), n)) << "block at " << at;
            for (int w = 0; w < 2; ++w)
                EXPECT_EQ(fx->paramValue(26u + w), std::clamp(static_cast<double>(ref.meter(w)), 0.0, 30.0));
            for (const auto& e : fx->output()) {
                EXPECT_EQ(e.type, CLAP_EVENT_PARAM_VALUE);
                EXPECT_EQ(e.time, n - 1);
                EXPECT_TRUE(e.id == 26 || e.id == 27) << e.id;
                EXPECT_EQ(e.value, fx->paramValue(e.id));
            }
            deepest = std::max({deepest, ref.meter(0), ref.meter(1)});
            at += n;
        }
        EXPECT_GT(deepest, 3.0f) << "the settings should compress the demo";
    }
}

// Changes at frames of a block, more than the glue gathers at once, several
// at one frame, out of order and past the end: the engine's output when it is
// cut at the same frames, whatever the block.
TEST(ClapAudio, EventsApplyAtTheirFramesAsTheEngineCutThere) {
    const float rate = 44100.0f;
    auto fx = started(rate, kMidSide);
    ASSERT_TRUE(fx);
    auto engine = std::make_unique<kvb::Engine>();
    engine->prepare(rate, kFrames);
    for (const Setting& s : kMidSide) engine->setParameter(s.index, kvb::positionCount(s.index) ? kvb::positionValue(s.index, kvb::positionOf(s.index, s.value)) : s.value);
    const Signal sig(rate, 4 * kFrames);
    std::vector<float> ol(kFrames), orr(kFrames), el(kFrames), er(kFrames);
    robust::Rng rng(5);
    for (std::uint32_t block = 0; block < 4; ++block) {
        std::vector<kvb::ParameterChange> changes;
        std::uint32_t frame = 0;
        const int count = block == 1 ? 300 : 40;
        for (int k = 0; k < count; ++k) {
            frame += static_cast<std::uint32_t>(rng.below(block == 2 ? 3 : 200));
            std::uint32_t at = frame;
            if (k == 10) at = frame / 2;           // out of order
            if (k == count - 1) at = kFrames + 9;  // past the end
            const int index = rng.below(kNumNamedParams);
            const int n = kvb::positionCount(index);
            const double v = n ? rng.below(n) : rng.unit();
            fx->queueValue(static_cast<clap_id>(index), v, at);
            changes.push_back({at, index, n ? kvb::positionValue(index, static_cast<int>(v)) : static_cast<float>(v)});
        }
        const float* in[2] = {sig.l.data() + block * kFrames, sig.r.data() + block * kFrames};
        float* out[2] = {ol.data(), orr.data()};
        float* eout[2] = {el.data(), er.data()};
        fx->process(in, out, kFrames);
        engine->process(in, eout, kFrames, changes.data(), static_cast<int>(changes.size()));
        ASSERT_TRUE(sameBits(ol.data(), el.data(), kFrames)) << "block " << block;
        ASSERT_TRUE(sameBits(orr.data(), er.data(), kFrames)) << "block " << block;
        for (const auto& c : changes)
            ASSERT_EQ(fx->paramValue(static_cast<clap_id>(c.index)), clapValue(c.index, engine->parameter(c.index)));
    }
}

// A reset on the audio thread, and a deactivate/activate: an instance
// without history that keeps its values.
TEST(ClapAudio, ResetAndReactivationStartWithoutHistory) {
    const float rate = 96000.0f;
    auto fx = started(rate, kLinked);
    auto fresh = started(rate, kLinked);
    ASSERT_TRUE(fx && fresh);
    const Signal sig(rate, kFrames);
    std::vector<float> ol(kFrames), orr(kFrames), fl(kFrames), fr(kFrames);
    const float* in[2] = {sig.l.data(), sig.r.data()};
    float* out[2] = {ol.data(), orr.data()};
    float* fout[2] = {fl.data(), fr.data()};
    fresh->process(in, fout, kFrames);
    fx->process(in, out, kFrames);
    fx->plugin()->reset(fx->plugin());
    fx->process(in, out, kFrames);
    EXPECT_TRUE(sameBits(ol.data(), fl.data(), kFrames) && sameBits(orr.data(), fr.data(), kFrames));
    fx->deactivate();
    ASSERT_TRUE(fx->activate(rate, kFrames));
    fx->process(in, out, kFrames);
    EXPECT_TRUE(sameBits(ol.data(), fl.data(), kFrames) && sameBits(orr.data(), fr.data(), kFrames));
}

// --- what a careless host sends ------------------------------------------------------

// Missing or null buffers are silence in and discarded out; outputs may be
// the inputs; empty blocks touch no audio; odd events are passed over.
TEST(ClapRobustness, BuffersPortsAndEventsOfEveryShape) {
    const float rate = 44100.0f;
    auto fx = started(rate, kUnlinked);
    ASSERT_TRUE(fx);
    Reference ref(rate, kUnlinked);
    const Signal sig(rate, 8 * kFrames);
    std::vector<float> silence(kFrames, 0.0f), l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
    std::uint32_t at = 0;

    // In place.
    std::vector<float> bl(sig.l.begin(), sig.l.begin() + 700), br(sig.r.begin(), sig.r.begin() + 700);
    float* both[2] = {bl.data(), br.data()};
    ref.run(sig.l.data(), sig.r.data(), l.data(), r.data(), 700);
    fx->process(both, both, 700);
    EXPECT_TRUE(sameBits(bl.data(), l.data(), 700) && sameBits(br.data(), r.data(), 700));
    at += 700;

    // The right input and the left output left out (null channel pointers),
    // longer than the glue's scratch buffers.
    {
        const float* in[2] = {sig.l.data() + at, nullptr};
        float* out[2] = {nullptr, orr.data()};
        ref.run(sig.l.data() + at, silence.data(), l.data(), r.data(), 1000);
        fx->process(in, out, 1000);
        EXPECT_TRUE(sameBits(orr.data(), r.data(), 1000));
        at += 1000;
    }
    // No ports at all, null data arrays, mono ports: nothing to crash on.
    clap_process_t p{};
    p.frames_count = 600;
    fx->process(p);
    clap_audio_buffer_t none{nullptr, nullptr, 2, 0, 0};
    p.audio_inputs = &none;
    p.audio_outputs = &none;
    p.audio_inputs_count = p.audio_outputs_count = 1;
    fx->process(p);
    std::vector<float> quiet(600, 0.0f);
    float* mono[1] = {quiet.data()};
    clap_audio_buffer_t one{mono, nullptr, 1, 0, 0};
    p.audio_inputs = p.audio_outputs = &one;
    fx->process(p);
    EXPECT_EQ(one.constant_mask, 0u);
    ref.run(silence.data(), silence.data(), l.data(), r.data(), 1800);

    // An empty block writes nothing; odd events (other kinds, spaces, short
    // sizes, gestures) are passed over and the next block sounds the same.
    std::fill(ol.begin(), ol.end(), 7.0f);
    const float* in[2] = {sig.l.data() + at, sig.r.data() + at};
    float* out[2] = {ol.data(), orr.data()};
    clap_event_param_value_t odd{};
    odd.header = {sizeof odd, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_MOD, 0};
    odd.param_id = kOptThr1;
    odd.value = 0.9;
    fx->queueRaw(odd);
    odd.header.type = CLAP_EVENT_PARAM_VALUE;
    odd.header.space_id = 7;
    fx->queueRaw(odd);
    odd.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    odd.header.size = 8;
    fx->queueRaw(odd);
    odd.header = {sizeof(clap_event_param_gesture_t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_GESTURE_BEGIN, 0};
    fx->queueRaw(odd);
    EXPECT_EQ(fx->process(in, out, 0), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(ol, std::vector<float>(kFrames, 7.0f));
    ref.run(in[0], in[1], l.data(), r.data(), 512);
    fx->process(in, out, 512);
    EXPECT_TRUE(sameBits(ol.data(), l.data(), 512));
    EXPECT_EQ(fx->paramValue(kOptThr1), 0.1f);
}

TEST(ClapRobustness, UnusableRatesAndCallsOutOfOrderDoNoHarm) {
    auto at44k = started(44100.0);
    ASSERT_TRUE(at44k);
    const Signal sig(44100.0f, kFrames);
    std::vector<float> l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
    const float* in[2] = {sig.l.data(), sig.r.data()};
    float* ref[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    at44k->process(in, ref, kFrames);
    for (double rate : {0.0, -48000.0, kNaN, kInf, -kInf, 1e300, 1e-300, 1e-40}) {
        auto fx = started(rate);
        ASSERT_TRUE(fx) << rate;
        fx->process(in, out, kFrames);
        EXPECT_TRUE(sameBits(ol.data(), l.data(), kFrames) && sameBits(orr.data(), r.data(), kFrames)) << rate;
    }

    // Before activation: nothing processes, nothing starts, reset is harmless.
    ClapInstance fx(module());
    ASSERT_TRUE(fx);
    const clap_plugin_t* p = fx.plugin();
    EXPECT_EQ(fx.process(in, out, 64), CLAP_PROCESS_ERROR);
    EXPECT_FALSE(p->start_processing(p));
    p->stop_processing(p);
    p->reset(p);
    p->deactivate(p);
    EXPECT_EQ(p->process(p, nullptr), CLAP_PROCESS_ERROR);
    ASSERT_TRUE(fx.activate(48000.0, 256));
    EXPECT_FALSE(p->activate(p, 44100.0, 1, 512)) << "a second activation";
    EXPECT_EQ(fx.process(in, out, 4096), CLAP_PROCESS_CONTINUE) << "more than the most frames announced";
    EXPECT_EQ(p->process(p, nullptr), CLAP_PROCESS_ERROR);
    p->stop_processing(p);
    p->stop_processing(p);
    EXPECT_EQ(fx.process(in, out, 64), CLAP_PROCESS_CONTINUE);
    // Destroyed while active and processing.
    const clap_plugin_factory_t* f = module().factory();
    const clap_plugin_t* careless = f->create_plugin(f, fx.host(), p->desc->id);
    ASSERT_NE(careless, nullptr);
    ASSERT_TRUE(careless->init(careless));
    ASSERT_TRUE(careless->activate(careless, 44100.0, 1, 64));
    ASSERT_TRUE(careless->start_processing(careless));
    careless->destroy(careless);
}

// A host that offers no extension: parameters, state, processing and the
// editor's creation work all the same.
TEST(ClapRobustness, AHostWithoutExtensionsIsServedAllTheSame) {
    auto fx = started(44100.0, kLinked, false);
    ASSERT_TRUE(fx);
    auto ref = started(44100.0, kLinked, true);
    const Signal sig(44100.0f, kFrames);
    std::vector<float> l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
    const float* in[2] = {sig.l.data(), sig.r.data()};
    float* out[2] = {ol.data(), orr.data()};
    float* rout[2] = {l.data(), r.data()};
    fx->process(in, out, kFrames);
    ref->process(in, rout, kFrames);
    EXPECT_TRUE(sameBits(ol.data(), l.data(), kFrames));
    std::vector<std::uint8_t> blob;
    ASSERT_TRUE(fx->saveState(blob));
    ASSERT_TRUE(fx->loadState(blob));
    const auto* gui = fx->extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    ASSERT_NE(gui, nullptr);
    EXPECT_TRUE(gui->create(fx->plugin(), CLAP_WINDOW_API_X11, false));
    std::uint32_t w = 0, h = 0;
    EXPECT_TRUE(gui->get_size(fx->plugin(), &w, &h));
    EXPECT_EQ(w, 1100u);
    EXPECT_EQ(h, 616u);
    gui->destroy(fx->plugin());
}
