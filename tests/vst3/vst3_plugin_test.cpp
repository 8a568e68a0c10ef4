// The VST3 bundle through our own VST3 host (Vst3Host.h), as a host sees it:
// its exports and layout, the factory, the parameters, and its sound against
// the effect object driven as the VST 2.4 build drives it (linked into this
// test): the same bits in every setting and block size, automation cut at
// the same frames, state, and whatever a careless host sends.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/ParameterText.h"
#include "engine/State.h"
#include "host/DemoSignal.h"
#include "tests/RunCommand.h"
#include "tests/robustness/RobustSupport.h"
#include "tests/vst3/Vst3Host.h"

using vst3host::Edit;
using vst3host::fromUtf16;
using vst3host::tableOf;

namespace {

constexpr int kFrames = 4096;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The class id, from its words 0x4B564231 0x9C2E4F7A 0xB8D15E63 0x2A7F0C94:
// big-endian words in order off Windows.
constexpr uint8_t kClassId[16] = {0x4B, 0x56, 0x42, 0x31, 0x9C, 0x2E, 0x4F, 0x7A,
                                  0xB8, 0xD1, 0x5E, 0x63, 0x2A, 0x7F, 0x0C, 0x94};

const vst3host::Module& module() {
    static vst3host::Module m;
    static const bool loaded = m.load(KVB_VST3_BUNDLE);
    EXPECT_TRUE(loaded) << m.error();
    return m;
}

using Settings = std::vector<std::pair<int, float>>;

// Both stages of both channels working, in mid/side; linked left/right with
// the fast steps; unlinked with the slow ones.
const Settings kMidSide = {{kOptThr1, 0.3f}, {kDisThr1, 0.4f}, {kDisByp1, 0.0f}, {kOptThr2, 0.5f},
                           {kDisThr2, 0.2f}, {kDisByp2, 0.0f}, {kMSMode, 0.0f},  {kMeterMode, 0.5f}};
const Settings kLinked = {{kMSMode, 1.0f},  {kStereoMode, 0.0f}, {kOptThr1, 0.2f}, {kDisThr1, 0.3f},
                          {kDisByp1, 0.0f}, {kDisAtk1, 0.0f},    {kDisRls1, 0.3f}, {kDisRat1, 0.65f},
                          {kOptMode, 1.0f}, {kTrafo1, 0.0f},     {kOptGain1, 0.4f}};
const Settings kUnlinked = {{kStereoMode, 1.0f}, {kOptThr1, 0.1f}, {kDisThr1, 0.2f}, {kDisByp1, 0.0f},
                            {kDisAtk1, 0.95f},   {kDisRls1, 1.0f}, {kOptMode, 0.5f}, {kSCFilt1, 0.0f},
                            {kOptThr2, 0.1f},    {kDisThr2, 0.25f}, {kDisByp2, 0.0f}, {kTrafo2, 0.5f}};

// The VST 2.4 effect, at `rate`, with `settings`.
struct Reference : robust::Instance {
    Reference(float rate, const Settings& settings) {
        changeRate(rate, kFrames);
        for (const auto& [index, value] : settings) setParameter(index, value);
    }
    void run(const float* l, const float* r, float* ol, float* orr, int n) {
        float* in[2] = {const_cast<float*>(l), const_cast<float*>(r)};
        float* out[2] = {ol, orr};
        process(in, out, n);
    }
};

// The bundle's instance, set up and active at `rate`, with `settings` queued
// for the first block.
struct Instance : vst3host::Plugin {
    explicit Instance(double rate, const Settings& settings = {}) {
        if (!create(module())) return;
        EXPECT_EQ(setup(rate, kFrames), V3_OK);
        EXPECT_TRUE(activate());
        for (const auto& [index, value] : settings) queueChange(static_cast<v3_param_id>(index), 0, value);
    }
    v3_result run(const float* l, const float* r, float* ol, float* orr, int n) {
        const float* in[2] = {l, r};
        float* out[2] = {ol, orr};
        return process(in, out, n);
    }
    double meterOut(int which) { return outputChanges.last(kMeter1Param + which, -1.0); }
    const v3_audio_processor& proc() { return tableOf<v3_audio_processor_cpp>(processor)->proc; }
    const v3_component& comp() { return tableOf<v3_component_cpp>(component)->comp; }
    const v3_edit_controller& ctrl() { return tableOf<v3_edit_controller_cpp>(controller)->ctrl; }
};

struct Signal {
    std::vector<float> l, r;
    Signal(float rate, int frames) : l(frames), r(frames) {
        kvbhost::renderDemoSignal(rate, frames, l.data(), r.data());
    }
};

bool sameBits(const float* a, const float* b, int n) { return std::memcmp(a, b, sizeof(float) * n) == 0; }

std::vector<uint8_t> stateOf(Instance& p) {
    std::vector<uint8_t> s;
    EXPECT_TRUE(p.getState(s));
    return s;
}

}  // namespace

// --- the module ---------------------------------------------------------------------

TEST(Vst3Bundle, ExportsItsThreeEntriesAndSitsWhereHostsLook) {
    const std::string binary = KVB_VST3_BUNDLE "/Contents/x86_64-linux/KVB.so";
    EXPECT_EQ(vst3host::Module::binaryInBundle(KVB_VST3_BUNDLE), binary);
    EXPECT_EQ(module().binary(), binary);
    const CommandResult r = runCommand("nm -D --defined-only " + binary + " | awk '{print $3}' | sort");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "GetPluginFactory\nModuleEntry\nModuleExit\n");
    for (const char* hidden : {"VSTPluginMain", "lv2_descriptor", "hInstance", "InitDll"})
        EXPECT_EQ(module().symbol(hidden), nullptr) << hidden;
}

TEST(Vst3Factory, DescribesOneDynamicsEffectWithItsIdAndMakesOnlyIt) {
    v3_plugin_factory** f = module().factory();
    ASSERT_NE(f, nullptr);
    const auto* table = tableOf<v3_plugin_factory_cpp>(f);
    v3_factory_info fi{};
    ASSERT_EQ(table->v1.get_factory_info(f, &fi), V3_OK);
    EXPECT_STREQ(fi.vendor, "https://kvb-audio.example");
    EXPECT_STREQ(fi.url, "https://kvb-audio.example");
    EXPECT_EQ(fi.flags, 0x10);
    ASSERT_EQ(table->v1.num_classes(f), 1);

    v3_class_info ci{};
    ASSERT_EQ(table->v1.get_class_info(f, 0, &ci), V3_OK);
    EXPECT_EQ(std::memcmp(ci.class_id, kClassId, 16), 0);
    EXPECT_STREQ(ci.category, "Audio Module Class");
    EXPECT_STREQ(ci.name, "KVB");
    EXPECT_EQ(ci.cardinality, 0x7FFFFFFF);
    EXPECT_NE(table->v1.get_class_info(f, 1, &ci), V3_OK);

    void* f2 = nullptr;
    ASSERT_EQ(tableOf<v3_funknown>(f)->query_interface(f, v3_plugin_factory_3_iid, &f2), V3_OK);
    const auto* t3 = tableOf<v3_plugin_factory_cpp>(f2);
    v3_class_info_2 c2{};
    ASSERT_EQ(t3->v2.get_class_info_2(f2, 0, &c2), V3_OK);
    EXPECT_EQ(std::memcmp(c2.class_id, kClassId, 16), 0);
    EXPECT_STREQ(c2.sub_categories, "Fx|Dynamics");
    EXPECT_STREQ(c2.vendor, "https://kvb-audio.example");
    EXPECT_STREQ(c2.version, "1.0.0");
    v3_class_info_3 c3{};
    ASSERT_EQ(t3->v3.get_class_info_utf16(f2, 0, &c3), V3_OK);
    EXPECT_EQ(fromUtf16(c3.name, 64), "KVB");
    EXPECT_EQ(fromUtf16(c3.version, 64), "1.0.0");
    EXPECT_STREQ(c3.sub_categories, "Fx|Dynamics");

    // Another class id, or an interface the class does not have: nothing made.
    void* made = &fi;
    uint8_t other[16];
    std::memcpy(other, kClassId, 16);
    other[15] ^= 1;
    EXPECT_NE(table->v1.create_instance(f, other, v3_component_iid, &made), V3_OK);
    EXPECT_EQ(made, nullptr);
    EXPECT_NE(table->v1.create_instance(f, kClassId, v3_plugin_view_iid, &made), V3_OK);
    EXPECT_EQ(made, nullptr);
}

// One object behind the component, the processor and the controller; no
// controller class of its own.
TEST(Vst3Component, IsItsOwnControllerWithOneStereoBusEachWayAndNoEvents) {
    Instance p(44100.0);
    ASSERT_TRUE(p) << p.error();
    EXPECT_FALSE(p.separateController);
    v3_tuid cid{};
    EXPECT_NE(p.comp().get_controller_class_id(p.component, cid), V3_OK);
    void* viaController = nullptr;
    ASSERT_EQ(tableOf<v3_funknown>(p.controller)->query_interface(p.controller, v3_audio_processor_iid, &viaController),
              V3_OK);
    EXPECT_EQ(viaController, static_cast<void*>(p.processor));
    tableOf<v3_funknown>(viaController)->unref(viaController);

    EXPECT_EQ(p.comp().get_bus_count(p.component, V3_AUDIO, V3_INPUT), 1);
    EXPECT_EQ(p.comp().get_bus_count(p.component, V3_AUDIO, V3_OUTPUT), 1);
    EXPECT_EQ(p.comp().get_bus_count(p.component, V3_EVENT, V3_INPUT), 0);
    EXPECT_EQ(p.comp().get_bus_count(p.component, V3_EVENT, V3_OUTPUT), 0);
    for (int32_t dir : {V3_INPUT, V3_OUTPUT}) {
        v3_bus_info b{};
        ASSERT_EQ(p.comp().get_bus_info(p.component, V3_AUDIO, dir, 0, &b), V3_OK);
        EXPECT_EQ(b.channel_count, 2);
        EXPECT_EQ(b.bus_type, V3_MAIN);
        EXPECT_EQ(b.flags, static_cast<uint32_t>(V3_DEFAULT_ACTIVE));
        EXPECT_NE(p.comp().get_bus_info(p.component, V3_AUDIO, dir, 1, &b), V3_OK);
        v3_speaker_arrangement a = 0;
        ASSERT_EQ(p.proc().get_bus_arrangement(p.processor, dir, 0, &a), V3_OK);
        EXPECT_EQ(a, static_cast<v3_speaker_arrangement>(V3_SPEAKER_L | V3_SPEAKER_R));
    }
    EXPECT_EQ(p.proc().get_latency_samples(p.processor), 3u);
    EXPECT_EQ(p.proc().get_tail_samples(p.processor), 0u);
    EXPECT_EQ(p.proc().can_process_sample_size(p.processor, V3_SAMPLE_32), V3_OK);
    EXPECT_NE(p.proc().can_process_sample_size(p.processor, V3_SAMPLE_64), V3_OK);

    // Stereo in and out, and nothing else.
    v3_speaker_arrangement stereo = V3_SPEAKER_L | V3_SPEAKER_R, mono = V3_SPEAKER_M,
                           surround = stereo | V3_SPEAKER_C | V3_SPEAKER_LFE | V3_SPEAKER_LS | V3_SPEAKER_RS;
    v3_speaker_arrangement two[2] = {stereo, stereo};
    EXPECT_EQ(p.proc().set_bus_arrangements(p.processor, &stereo, 1, &stereo, 1), V3_OK);
    EXPECT_NE(p.proc().set_bus_arrangements(p.processor, &mono, 1, &mono, 1), V3_OK);
    EXPECT_NE(p.proc().set_bus_arrangements(p.processor, &stereo, 1, &mono, 1), V3_OK);
    EXPECT_NE(p.proc().set_bus_arrangements(p.processor, &surround, 1, &surround, 1), V3_OK);
    EXPECT_NE(p.proc().set_bus_arrangements(p.processor, two, 2, &stereo, 1), V3_OK);
    EXPECT_NE(p.proc().set_bus_arrangements(p.processor, nullptr, 0, &stereo, 1), V3_OK);
    EXPECT_NE(p.proc().set_bus_arrangements(p.processor, nullptr, 1, nullptr, 1), V3_OK);
}

// --- parameters -----------------------------------------------------------------------

TEST(Vst3Parameters, DescribeEveryParameterAndTheTwoReadOnlyMeters) {
    Instance p(44100.0);
    ASSERT_TRUE(p);
    ASSERT_EQ(p.parameterCount(), 28);
    for (int i = 0; i < 26; ++i) {
        v3_param_info info{};
        ASSERT_TRUE(p.parameterInfo(i, info));
        const kvb::ParameterDescription& d = kvb::describeParameter(i);
        EXPECT_EQ(info.param_id, static_cast<v3_param_id>(i));
        EXPECT_EQ(fromUtf16(info.title), d.title);
        EXPECT_EQ(fromUtf16(info.short_title), parameterName(i));
        EXPECT_EQ(fromUtf16(info.units), d.unit);
        const int steps = kvb::positionCount(i) > 0 ? kvb::positionCount(i) - 1 : 0;
        EXPECT_EQ(info.step_count, steps) << i;
        EXPECT_EQ(info.default_normalised_value, static_cast<double>(parameterDefault(i))) << i;
        EXPECT_EQ(p.normalised(i), info.default_normalised_value) << i;
        EXPECT_TRUE(info.flags & V3_PARAM_CAN_AUTOMATE);
        EXPECT_FALSE(info.flags & V3_PARAM_READ_ONLY);
        EXPECT_EQ((info.flags & V3_PARAM_IS_LIST) != 0, steps == 1 || steps == 2) << i;
    }
    // A few by name, as a user reads them.
    v3_param_info info{};
    ASSERT_TRUE(p.parameterInfo(3, info));
    EXPECT_EQ(fromUtf16(info.title), "Dis attack 1");
    EXPECT_EQ(info.step_count, 5);
    ASSERT_TRUE(p.parameterInfo(25, info));
    EXPECT_EQ(fromUtf16(info.short_title), "MSMode");
    EXPECT_EQ(info.step_count, 1);
    for (int i : {26, 27}) {
        ASSERT_TRUE(p.parameterInfo(i, info));
        EXPECT_EQ(info.param_id, static_cast<v3_param_id>(i));
        EXPECT_EQ(info.flags, V3_PARAM_READ_ONLY);
        EXPECT_EQ(fromUtf16(info.units), "dB");
        EXPECT_EQ(info.step_count, 0);
    }
    EXPECT_FALSE(p.parameterInfo(28, info));
    EXPECT_FALSE(p.parameterInfo(-1, info));
}

// Every position of every stepped parameter: its name, the way back, its
// plain value (the position) and normalised value (k / steps), consistent.
// Continuous ones in their units, both ways; the meters in dB.
TEST(Vst3Parameters, TextsAndPlainValuesBothWaysOnTheStepGrid) {
    Instance p(44100.0);
    ASSERT_TRUE(p);
    const v3_edit_controller& c = p.ctrl();
    for (int i = 0; i < 26; ++i) {
        const int n = kvb::positionCount(i);
        if (n == 0) continue;
        for (int k = 0; k < n; ++k) {
            const double v = static_cast<double>(k) / (n - 1);
            EXPECT_EQ(p.text(i, v), kvb::positionLabel(i, k)) << i << " position " << k;
            double back = -1.0;
            ASSERT_TRUE(p.valueOf(i, kvb::positionLabel(i, k), back)) << i << " " << kvb::positionLabel(i, k);
            EXPECT_EQ(back, static_cast<double>(static_cast<float>(v))) << i << " position " << k;
            EXPECT_EQ(c.normalised_parameter_to_plain(p.controller, i, v), k) << i;
            EXPECT_EQ(c.plain_parameter_to_normalised(p.controller, i, k), static_cast<double>(static_cast<float>(v)));
        }
        // Between the grid: the position the processing reads.
        EXPECT_EQ(c.normalised_parameter_to_plain(p.controller, i, 0.3),
                  kvb::positionOf(i, 0.3f)) << i;
        EXPECT_EQ(c.plain_parameter_to_normalised(p.controller, i, 99.0), 1.0);
    }
    EXPECT_EQ(p.text(kOptThr1, 0.5), "-35.0 dB");
    EXPECT_EQ(p.text(kDisThr1, 1.0), "0.0 dB");
    EXPECT_EQ(p.text(kOptGain1, 2.0), "15.0 dB");  // beyond the range: the nearer end
    EXPECT_EQ(p.text(kOptMode, 0.5), "MED");
    EXPECT_EQ(p.text(kMSMode, 0.5), "MID/SIDE");  // the channel switch is on above 0.5
    double v = 0.0;
    ASSERT_TRUE(p.valueOf(kOptThr1, "-35 dB", v));
    EXPECT_EQ(v, 0.5);
    ASSERT_TRUE(p.valueOf(kDisGain1, "7.5", v));
    EXPECT_EQ(v, 0.5);
    ASSERT_TRUE(p.valueOf(kOptMode, "fast", v));
    EXPECT_EQ(v, 1.0);
    EXPECT_FALSE(p.valueOf(kOptThr1, "loud", v));
    EXPECT_FALSE(p.valueOf(kOptMode, "0.5", v));
    EXPECT_EQ(c.normalised_parameter_to_plain(p.controller, kOptThr1, 0.25), 0.25);
    // The meters: 0 to 30 dB of gain reduction.
    EXPECT_EQ(p.text(26, 0.5), "15.0 dB");
    EXPECT_DOUBLE_EQ(c.normalised_parameter_to_plain(p.controller, 27, 0.1), 3.0);
    ASSERT_TRUE(p.valueOf(27, "6.0 dB", v));
    EXPECT_DOUBLE_EQ(v, 0.2);
    EXPECT_EQ(p.text(28, 0.5), "") << "no parameter 28";
}

// What the host sets through setParamNormalized is what getParamNormalized
// answers, held and clamped as the sound would take it; the sound itself
// follows the processing queues alone.
TEST(Vst3Parameters, HostValuesAreHeldOnTheGridAndClamped) {
    Instance p(44100.0);
    ASSERT_TRUE(p);
    const v3_edit_controller& c = p.ctrl();
    const struct {
        int id;
        double sent, shown;
    } cases[] = {{kDisAtk1, 0.3, 0.2},   {kOptMode, 0.4, 0.5}, {kOptMode, 0.2, 0.0},  {kOptByp1, 0.5, 1.0},
                 {kStereoMode, 0.5, 0.0}, {kOptThr1, 2.0, 1.0}, {kOptThr1, -1.0, 0.0}, {kDisRat2, kNaN, 0.8},
                 {kOptGain2, kNaN, 0.0}};
    for (const auto& k : cases) {
        EXPECT_EQ(c.set_parameter_normalised(p.controller, k.id, k.sent), V3_OK);
        EXPECT_EQ(p.normalised(k.id), static_cast<double>(static_cast<float>(k.shown))) << k.id << " " << k.sent;
    }
    EXPECT_EQ(c.set_parameter_normalised(p.controller, 40, 0.5), V3_INVALID_ARG);
}

// --- sound ----------------------------------------------------------------------------

// Blocks of many sizes under three settings: the VST 2.4 build's bits, and
// its meters in the output parameter changes after every block.
TEST(Vst3Sound, RendersTheVst24BuildsBitsInEverySettingAndBlockSize) {
    const float rate = 48000.0f;
    const Signal s(rate, 4 * kFrames);
    for (const Settings* settings : {&kMidSide, &kLinked, &kUnlinked}) {
        Instance p(rate, *settings);
        ASSERT_TRUE(p);
        Reference ref(rate, *settings);
        std::vector<float> l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
        int at = 0;
        float deepest = 0.0f;
        for (int n : {1, 64, 257, 4096, 3, 1000, 4096, 2800}) {
            ref.run(&s.l[at], &s.r[at], l.data(), r.data(), n);
            ASSERT_EQ(p.run(&s.l[at], &s.r[at], ol.data(), orr.data(), n), V3_OK);
            ASSERT_TRUE(sameBits(ol.data(), l.data(), n)) << "block at " << at;
            ASSERT_TRUE(sameBits(orr.data(), r.data(), n)) << "block at " << at;
            for (int w = 0; w < 2; ++w)
                EXPECT_DOUBLE_EQ(p.meterOut(w), std::clamp(ref.meter(w) / 30.0, 0.0, 1.0)) << "meter " << w;
            deepest = std::max({deepest, ref.meter(0), ref.meter(1)});
            at += n;
        }
        EXPECT_GT(deepest, 3.0f) << "the settings should compress the demo";
    }
}

// Changes queued at frames inside blocks (several parameters, several points
// each, more points than the glue merges at once) sound as the VST 2.4
// effect cut at the same frames with the values set between the cuts.
TEST(Vst3Sound, AutomationAppliesAtItsFramesAsTheEngineCutThere) {
    const float rate = 44100.0f;
    const Signal s(rate, 2 * kFrames);
    Instance p(rate, kMidSide);
    ASSERT_TRUE(p);
    Reference ref(rate, kMidSide);
    struct Point {
        int frame, id;
        double value;
    };
    std::vector<Point> points;
    for (int f = 5; f < kFrames; f += 13) points.push_back({f, kOptThr1, 0.2 + 0.6 * f / kFrames});
    for (int f = 0; f < kFrames; f += 701) points.push_back({f, kDisAtk1, (f / 701) % 6 / 5.0 * 0.97 + 0.01});
    points.push_back({2000, kMSMode, 1.0});
    points.push_back({2000, kDisThr2, 0.9});
    points.push_back({3999, kOptMode, 0.75});
    points.push_back({kFrames - 1, kStereoMode, 1.0});
    ASSERT_GT(points.size(), 300u);
    for (const Point& pt : points) ASSERT_TRUE(p.queueChange(pt.id, pt.frame, pt.value));
    std::stable_sort(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.frame < b.frame; });

    std::vector<float> l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
    ASSERT_EQ(p.run(s.l.data(), s.r.data(), ol.data(), orr.data(), kFrames), V3_OK);
    int done = 0;
    for (std::size_t k = 0; k <= points.size(); ++k) {
        const int until = k < points.size() ? points[k].frame : kFrames;
        if (until > done) ref.run(&s.l[done], &s.r[done], &l[done], &r[done], until - done);
        done = std::max(done, until);
        if (k < points.size()) ref.setParameter(points[k].id, static_cast<float>(points[k].value));
    }
    ASSERT_TRUE(sameBits(ol.data(), l.data(), kFrames));
    ASSERT_TRUE(sameBits(orr.data(), r.data(), kFrames));
    // What the controller shows follows: the last point of each.
    EXPECT_EQ(p.normalised(kOptMode), 1.0);
    EXPECT_EQ(p.normalised(kStereoMode), 1.0);
    EXPECT_EQ(p.normalised(kDisAtk1), 1.0);
    double lastThreshold = 0.0;
    for (const Point& pt : points)
        if (pt.id == kOptThr1) lastThreshold = pt.value;
    EXPECT_EQ(p.normalised(kOptThr1), static_cast<double>(static_cast<float>(lastThreshold)));

    // A flush (0 frames, changes alone) applies them too; a change at or
    // beyond a block's end applies after it.
    ASSERT_TRUE(p.queueChange(kDisByp1, 0, 1.0));
    ASSERT_EQ(p.run(s.l.data(), s.r.data(), ol.data(), orr.data(), 0), V3_OK);
    ASSERT_TRUE(p.queueChange(kOptByp2, 512, 1.0));
    ASSERT_TRUE(p.queueChange(kOptByp1, 9999, 1.0));
    ASSERT_EQ(p.run(&s.l[kFrames], &s.r[kFrames], ol.data(), orr.data(), 512), V3_OK);
    ref.setParameter(kDisByp1, 1.0f);
    ref.run(&s.l[kFrames], &s.r[kFrames], l.data(), r.data(), 512);
    EXPECT_TRUE(sameBits(ol.data(), l.data(), 512));
    ref.setParameter(kOptByp2, 1.0f);
    ref.setParameter(kOptByp1, 1.0f);
    ASSERT_EQ(p.run(&s.l[kFrames + 512], &s.r[kFrames + 512], ol.data(), orr.data(), 1000), V3_OK);
    ref.run(&s.l[kFrames + 512], &s.r[kFrames + 512], l.data(), r.data(), 1000);
    EXPECT_TRUE(sameBits(ol.data(), l.data(), 1000));
    EXPECT_TRUE(sameBits(orr.data(), r.data(), 1000));
}

// --- state ----------------------------------------------------------------------------

TEST(Vst3State, RoundTripsIntoAnotherInstanceWithTheSameSound) {
    const float rate = 44100.0f;
    const Signal s(rate, 2048);
    Instance a(rate, kLinked);
    ASSERT_TRUE(a);
    std::vector<float> ol(2048), orr(2048), l(2048), r(2048);
    a.run(s.l.data(), s.r.data(), ol.data(), orr.data(), 16);  // takes the settings
    std::vector<uint8_t> blob = stateOf(a);
    ASSERT_EQ(blob.size(), kvb::kStateBytes);
    kvb::SavedState saved;
    ASSERT_EQ(kvb::readState(blob.data(), blob.size(), saved), kvb::StateError::None);
    EXPECT_EQ(saved.values[kOptThr1], 0.2f);
    EXPECT_EQ(saved.values[kDisRat1], 0.6f) << "0.65 held on its position";
    EXPECT_EQ(saved.values[40], 0.5f) << "the spares are kept";

    Instance b(rate);
    ASSERT_TRUE(b);
    ASSERT_EQ(b.setState(blob), V3_OK);
    EXPECT_EQ(stateOf(b), blob);
    EXPECT_EQ(b.normalised(kOptThr1), static_cast<double>(0.2f));
    Reference ref(rate, kLinked);
    ref.run(s.l.data(), s.r.data(), l.data(), r.data(), 2048);
    b.run(s.l.data(), s.r.data(), ol.data(), orr.data(), 2048);
    EXPECT_TRUE(sameBits(ol.data(), l.data(), 2048));

    // Beyond 0 to 1: the nearer end; a stepped value: its position's.
    kvb::SavedState odd = saved;
    odd.values[kOptGain1] = 3.0f;
    odd.values[kDisThr1] = -2.0f;
    odd.values[kDisAtk1] = 0.33f;
    odd.values[kMeter1Param] = 9.0f;
    odd.program = 7;
    std::vector<uint8_t> oddBlob(kvb::kStateBytes);
    kvb::writeState(odd, oddBlob.data());
    ASSERT_EQ(b.setState(oddBlob), V3_OK);
    ASSERT_EQ(kvb::readState(stateOf(b).data(), kvb::kStateBytes, saved), kvb::StateError::None);
    EXPECT_EQ(saved.values[kOptGain1], 1.0f);
    EXPECT_EQ(saved.values[kDisThr1], 0.0f);
    EXPECT_EQ(saved.values[kDisAtk1], 0.2f);
    EXPECT_EQ(saved.values[kMeter1Param], 1.0f);
    EXPECT_EQ(saved.program, 7u) << "the program is kept and written back";
}

// Every kind of bad state, through the component and the controller alike:
// an error, and the instance exactly as it was.
TEST(Vst3State, EachKindOfBadStateIsRefusedAndChangesNothing) {
    Instance p(44100.0, kUnlinked);
    ASSERT_TRUE(p);
    std::vector<float> buf(64);
    p.run(buf.data(), buf.data(), buf.data(), buf.data(), 64);
    const std::vector<uint8_t> before = stateOf(p);
    std::vector<double> shown;
    for (int i = 0; i < 26; ++i) shown.push_back(p.normalised(i));

    auto patched = [&](std::size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = before;
        for (std::size_t k = 0; k < bytes.size(); ++k) b[at + k] = bytes[k];
        return b;
    };
    const float nan = std::nanf("");
    uint8_t nanBytes[4];
    std::memcpy(nanBytes, &nan, 4);
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        std::vector<uint8_t>(before.begin(), before.begin() + 100),  // short
        patched(0, {'K', 'V', 'B', 'x'}),                              // another tag
        patched(4, {2, 0, 0, 0}),                                      // a newer version
        patched(12, {50, 0, 0, 0}),                                    // 50 values
        patched(16 + 4 * 5, {nanBytes[0], nanBytes[1], nanBytes[2], nanBytes[3]}),
        patched(16 + 4 * 30, {0, 0, 0x80, 0x7F}),  // infinity
    };
    for (std::size_t k = 0; k < bad.size(); ++k) {
        vst3host::MemoryStream s(bad[k]), t(bad[k]);
        EXPECT_NE(p.comp().set_state(p.component, s.object()), V3_OK) << "case " << k;
        EXPECT_NE(p.ctrl().set_component_state(p.controller, t.object()), V3_OK) << "case " << k;
    }
    vst3host::MemoryStream broken(before);
    broken.failing = true;
    EXPECT_NE(p.comp().set_state(p.component, broken.object()), V3_OK);
    EXPECT_NE(p.comp().set_state(p.component, nullptr), V3_OK);
    EXPECT_NE(p.comp().get_state(p.component, broken.object()), V3_OK);
    EXPECT_NE(p.comp().get_state(p.component, nullptr), V3_OK);

    EXPECT_EQ(stateOf(p), before);
    for (int i = 0; i < 26; ++i) EXPECT_EQ(p.normalised(i), shown[static_cast<std::size_t>(i)]) << i;
}

// --- what a careless host sends --------------------------------------------------------

TEST(Vst3Robustness, MissingAndInPlaceBuffersAndEmptyCallsAreHandled) {
    const float rate = 44100.0f;
    const Signal s(rate, 3000);
    Instance p(rate, kMidSide);
    ASSERT_TRUE(p);
    Reference ref(rate, kMidSide);
    std::vector<float> silence(3000, 0.0f), l(3000), r(3000);

    // In place: each output written over its input.
    std::vector<float> ioL(s.l.begin(), s.l.begin() + 1000), ioR(s.r.begin(), s.r.begin() + 1000);
    ASSERT_EQ(p.run(ioL.data(), ioR.data(), ioL.data(), ioR.data(), 1000), V3_OK);
    ref.run(s.l.data(), s.r.data(), l.data(), r.data(), 1000);
    EXPECT_TRUE(sameBits(ioL.data(), l.data(), 1000));
    EXPECT_TRUE(sameBits(ioR.data(), r.data(), 1000));

    // The right input and left output missing (null channel pointers):
    // silence in, discarded out, in blocks longer than the glue's scratch.
    std::vector<float> outR(700, 7.0f);
    float* ins[2] = {const_cast<float*>(&s.l[1000]), nullptr};
    float* outs[2] = {nullptr, outR.data()};
    v3_audio_bus_buffers inBus{2, 0, {ins}}, outBus{2, 0, {outs}};
    v3_process_data d{};
    d.symbolic_sample_size = V3_SAMPLE_32;
    d.nframes = 700;
    d.num_input_buses = 1;
    d.num_output_buses = 1;
    d.inputs = &inBus;
    d.outputs = &outBus;
    ASSERT_EQ(p.processRaw(d), V3_OK);
    ref.run(&s.l[1000], silence.data(), l.data(), r.data(), 700);
    EXPECT_TRUE(sameBits(outR.data(), r.data(), 700));

    // No buses at all, no parameter changes, then 0 and negative frames, a
    // null process data: nothing to crash on, nothing changed after.
    d.num_input_buses = d.num_output_buses = 0;
    d.inputs = d.outputs = nullptr;
    d.nframes = 300;
    EXPECT_EQ(p.processRaw(d), V3_OK);
    ref.run(silence.data(), silence.data(), l.data(), r.data(), 300);
    d.nframes = 0;
    EXPECT_EQ(p.processRaw(d), V3_OK);
    d.nframes = -5;
    EXPECT_EQ(p.processRaw(d), V3_OK);
    EXPECT_NE(tableOf<v3_audio_processor_cpp>(p.processor)->proc.process(p.processor, nullptr), V3_OK);
    d.symbolic_sample_size = V3_SAMPLE_64;
    d.nframes = 64;
    EXPECT_NE(p.processRaw(d), V3_OK);
    ASSERT_EQ(p.run(&s.l[2000], &s.r[2000], l.data() + 1000, r.data() + 1000, 1000), V3_OK);
    ref.run(&s.l[2000], &s.r[2000], l.data(), r.data(), 1000);
    EXPECT_TRUE(sameBits(l.data() + 1000, l.data(), 1000));
}

// Rates a float cannot hold or the chain cannot use are ignored (44100 Hz, or
// the last good rate, stays); 64-bit samples and a setup while active are
// refused; calls out of order do no harm.
TEST(Vst3Robustness, BadRatesAndCallsOutOfOrderAreHarmless) {
    const Signal s(44100.0f, 2048);
    std::vector<float> want(2048), wantR(2048), got(2048), gotR(2048);
    Instance at44k(44100.0, kLinked);
    ASSERT_TRUE(at44k);
    at44k.run(s.l.data(), s.r.data(), want.data(), wantR.data(), 2048);
    for (double rate : {0.0, -48000.0, kNaN, HUGE_VAL, 1e300, 1e-300}) {
        Instance p(rate, kLinked);
        ASSERT_TRUE(p);
        p.run(s.l.data(), s.r.data(), got.data(), gotR.data(), 2048);
        EXPECT_TRUE(sameBits(got.data(), want.data(), 2048)) << rate;
    }
    Instance p(44100.0, kLinked);
    ASSERT_TRUE(p);
    EXPECT_NE(p.setup(96000.0, 512), V3_OK) << "while active";
    v3_process_setup wide{V3_REALTIME, V3_SAMPLE_64, 512, 96000.0};
    p.deactivate();
    EXPECT_NE(p.proc().setup_processing(p.processor, &wide), V3_OK);
    EXPECT_NE(p.proc().setup_processing(p.processor, nullptr), V3_OK);
    // Active twice, processing off twice, then the block: the first one's sound.
    EXPECT_EQ(p.comp().set_active(p.component, 1), V3_OK);
    EXPECT_EQ(p.comp().set_active(p.component, 1), V3_OK);
    EXPECT_EQ(p.proc().set_processing(p.processor, 0), V3_OK);
    p.run(s.l.data(), s.r.data(), got.data(), gotR.data(), 2048);
    EXPECT_TRUE(sameBits(got.data(), want.data(), 2048));

    // A fresh instance processing before any setup or activation: 44100 Hz.
    vst3host::Plugin bare;
    ASSERT_TRUE(bare.create(module()));
    const float* in[2] = {s.l.data(), s.r.data()};
    float* out[2] = {got.data(), gotR.data()};
    for (const auto& [index, value] : kLinked) bare.queueChange(index, 0, value);
    EXPECT_EQ(bare.process(in, out, 2048), V3_OK);
    EXPECT_TRUE(sameBits(got.data(), want.data(), 2048));
    // Terminated twice, initialised again: still an instance.
    const v3_component_cpp* c = tableOf<v3_component_cpp>(bare.component);
    EXPECT_EQ(c->base.terminate(bare.component), V3_OK);
    EXPECT_EQ(c->base.initialize(bare.component, vst3host::hostContext()), V3_OK);
}

// Not-a-number is the parameter's default, values beyond 0 to 1 the nearer end.
TEST(Vst3Robustness, ValuesOutsideTheRangeSoundAsTheNearerEndOrTheDefault) {
    const float rate = 44100.0f;
    const Signal s(rate, kFrames);
    Instance p(rate, kMidSide);
    Reference ref(rate, kMidSide);
    ASSERT_TRUE(p);
    const struct {
        int id;
        double sent;
        float read;
    } cases[] = {{kOptThr1, kNaN, 1.0f},   {kOptGain1, HUGE_VAL, 1.0f}, {kDisThr1, -HUGE_VAL, 0.0f},
                 {kDisRat1, 1e30, 1.0f},   {kDisAtk1, -0.5, 0.0f},      {kTrafo1, kNaN, 1.0f},
                 {kOptMode, 2.0, 1.0f},    {kDisByp2, -1.0, 0.0f},      {kStereoMode, kNaN, 0.0f}};
    for (const auto& c : cases) {
        p.queueChange(c.id, 0, c.sent);
        ref.setParameter(c.id, c.read);
    }
    p.queueChange(999, 0, 0.5);  // no such parameter: ignored
    std::vector<float> l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
    ASSERT_EQ(p.run(s.l.data(), s.r.data(), ol.data(), orr.data(), kFrames), V3_OK);
    ref.run(s.l.data(), s.r.data(), l.data(), r.data(), kFrames);
    EXPECT_TRUE(sameBits(ol.data(), l.data(), kFrames));
    EXPECT_TRUE(sameBits(orr.data(), r.data(), kFrames));
}

// --- the render tool against kvb render ---------------------------------------------------

namespace {

std::vector<float> readFloats(const std::string& path, SF_INFO& info) {
    info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<float> x(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(f, x.data(), info.frames);
    sf_close(f);
    return x;
}

}  // namespace

TEST(Vst3RenderTool, WritesWhatKvbRenderWritesThroughTheVst24Build) {
    const std::string dir = ::testing::TempDir();
    const std::string in = dir + "vst3_render_in.wav";
    {
        const Signal s(44100.0f, 44100);
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(in.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<float> x;
        for (int i = 0; i < 44100; ++i) x.insert(x.end(), {s.l[i], s.r[i]});
        sf_writef_float(f, x.data(), 44100);
        sf_close(f);
    }
    const std::string sets[] = {"", "--set MSMode=0 --set OptThr1=0.3 --set DisByp1=0 --set DisThr1=0.3 --set DisAtk1=0.5",
                                "--set StereoMode=1 --set OptThr2=0.1 --set 23=0 --set DisRls2=0.33 --set Trafo2=0.6"};
    for (const std::string& set : sets) {
        const std::string a = dir + "vst2.wav", b = dir + "vst3.wav";
        const CommandResult r2 = runCommand(std::string(KVB_HOST_PATH) + " render " + in + " " + a + " --float " + set);
        ASSERT_EQ(r2.status, 0) << r2.out;
        const CommandResult r3 = runCommand(std::string(KVB_VST3_RENDER_PATH) + " " + in + " " + b + " --block 300 " + set);
        ASSERT_EQ(r3.status, 0) << r3.out;
        SF_INFO ia, ib;
        const std::vector<float> x = readFloats(a, ia), y = readFloats(b, ib);
        EXPECT_EQ(ib.frames, 44100);
        EXPECT_EQ(ib.channels, 2);
        ASSERT_EQ(x.size(), y.size());
        EXPECT_TRUE(x == y) << set;
    }
    EXPECT_EQ(runCommand(std::string(KVB_VST3_RENDER_PATH) + " " + in + " " + dir + "x.wav --set Nope=1").status, 2);
    EXPECT_EQ(runCommand(std::string(KVB_VST3_RENDER_PATH) + " " + in + " " + dir + "x.wav --set OptThr1=2").status, 2);
    EXPECT_EQ(runCommand(std::string(KVB_VST3_RENDER_PATH) + " " + dir + "none.wav " + dir + "x.wav").status, 1);
}
