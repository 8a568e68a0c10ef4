// The LV2 processing binary through its descriptor, against the effect object
// driven as the VST 2.4 build drives it (linked into this test): the same
// bits, and whatever a host sends (null ports, moved buffers, empty runs,
// values beyond the ports' range, unusable sample rates) handled as the VST
// 2.4 entry handles its counterparts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/DemoSignal.h"
#include "lv2/Ports.h"
#include "tests/RunCommand.h"
#include "tests/lv2/Lv2Plugin.h"
#include "tests/robustness/RobustSupport.h"

using namespace kvblv2;
using lv2test::Module;
using lv2test::Plugin;

namespace {

constexpr std::uint32_t kFrames = 4096;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

const Module& module() {
    static Module m(KVB_LV2_PLUGIN_PATH);
    return m;
}

// Settings under which both stages of both channels work, in mid/side.
const std::pair<int, float> kWorking[] = {
    {kOptThr1, 0.3f}, {kDisThr1, 0.4f}, {kDisByp1, 0.0f}, {kOptThr2, 0.5f},
    {kDisThr2, 0.2f}, {kDisByp2, 0.0f}, {kMSMode, 0.0f},  {kMeterMode, 0.5f},
};

// The VST 2.4 effect with the same settings, at `rate`.
struct Reference : robust::Instance {
    explicit Reference(float rate) {
        changeRate(rate, static_cast<int>(kFrames));
        for (const auto& [index, value] : kWorking) setParameter(index, value);
    }
    void process(const float* l, const float* r, float* ol, float* orr, std::uint32_t n) {
        float* in[2] = {const_cast<float*>(l), const_cast<float*>(r)};
        float* out[2] = {ol, orr};
        robust::Instance::process(in, out, static_cast<int>(n));
    }
};

void setWorking(Plugin& p) {
    for (const auto& [index, value] : kWorking) p.controls[index] = value;
}

// The demo signal from frame `from` on, into the plug-in's inputs.
void feed(Plugin& p, std::uint32_t from, std::uint32_t n, float rate) {
    std::vector<float> l(from + n), r(from + n);
    kvbhost::renderDemoSignal(rate, from + n, l.data(), r.data());
    std::memcpy(p.inL.data(), l.data() + from, n * sizeof(float));
    std::memcpy(p.inR.data(), r.data() + from, n * sizeof(float));
}

bool sameBits(const float* a, const float* b, std::uint32_t n) {
    return std::memcmp(a, b, n * sizeof(float)) == 0;
}

bool allFinite(const std::vector<float>& x, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i)
        if (!std::isfinite(x[i])) return false;
    return true;
}

}  // namespace

TEST(Lv2Binaries, ExportOnlyTheirDescriptorsAndTheProcessingNeedsNoWindowSystem) {
    ASSERT_NE(module().handle, nullptr) << dlerror();
    const LV2_Descriptor* d = module().descriptor();
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->URI, kPluginUri);
    EXPECT_EQ(std::string(d->URI).rfind(std::string(kVendorString) + "/", 0), 0u) << d->URI;
    auto list = reinterpret_cast<const LV2_Descriptor* (*)(std::uint32_t)>(module().symbol("lv2_descriptor"));
    EXPECT_EQ(list(1), nullptr);

    const Module ui(KVB_LV2_UI_PATH);
    ASSERT_NE(ui.handle, nullptr) << dlerror();
    EXPECT_NE(ui.symbol("lv2ui_descriptor"), nullptr);
    for (const Module* m : {&module(), &ui})
        for (const char* hidden : {"VSTPluginMain", "main", "createEffectInstance", "hInstance",
                                   "createEditor", "_ZN11Controlsgui12setParameterEif"})
            EXPECT_EQ(m->symbol(hidden), nullptr) << hidden;
    EXPECT_EQ(ui.symbol("lv2_descriptor"), nullptr);
    EXPECT_EQ(module().symbol("lv2ui_descriptor"), nullptr);

    const CommandResult r = runCommand("readelf -d " + std::string(KVB_LV2_PLUGIN_PATH));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("(NEEDED)"), std::string::npos) << r.out;
    for (const char* library : {"libX11", "libcairo"})
        EXPECT_EQ(r.out.find(library), std::string::npos) << r.out;
}

// Blocks of many sizes (one past the glue's scratch size included), settings
// that make both stages work: the same output bits, meters and latency.
TEST(Lv2Plugin, RendersTheEffectsBitsAndReportsItsMetersAndLatency) {
    const float rate = 48000.0f;
    Plugin p(module().descriptor(), rate, kFrames);
    ASSERT_TRUE(p);
    setWorking(p);
    Reference ref(rate);
    std::vector<float> l(kFrames), r(kFrames);
    std::uint32_t at = 0;
    float deepest = 0.0f;
    for (std::uint32_t n : {1u, 64u, 257u, 4096u, 3u, 1000u, 4096u, 4096u}) {
        feed(p, at, n, rate);
        ref.process(p.inL.data(), p.inR.data(), l.data(), r.data(), n);
        p.run(n);
        ASSERT_TRUE(sameBits(p.outL.data(), l.data(), n)) << "block at " << at;
        ASSERT_TRUE(sameBits(p.outR.data(), r.data(), n)) << "block at " << at;
        EXPECT_EQ(p.meters[0], ref.meter(0));
        EXPECT_EQ(p.meters[1], ref.meter(1));
        EXPECT_EQ(p.latency, 3.0f);
        deepest = std::max({deepest, p.meters[0], p.meters[1]});
        at += n;
    }
    EXPECT_GT(deepest, 3.0f) << "the settings should compress the demo";
}

TEST(Lv2Plugin, UnconnectedPortsAreSilentDiscardedOrKeepTheirValue) {
    const float rate = 44100.0f;
    Plugin p(module().descriptor(), rate, kFrames);
    ASSERT_TRUE(p);
    setWorking(p);
    p.run(0);  // takes the working settings, then keeps them once unconnected
    for (std::uint32_t i = 0; i < kNumParamPorts; ++i) p.connect(i, nullptr);
    for (std::uint32_t port : {kMeter1Port, kMeter2Port, kLatencyPort, kInRightPort, kOutLeftPort})
        p.connect(port, nullptr);
    Reference ref(rate);
    std::vector<float> silence(kFrames, 0.0f), l(kFrames), r(kFrames);
    std::uint32_t at = 0;
    for (std::uint32_t n : {700u, 4096u, 1u}) {
        feed(p, at, n, rate);
        ref.process(p.inL.data(), silence.data(), l.data(), r.data(), n);
        p.run(n);
        ASSERT_TRUE(sameBits(p.outR.data(), r.data(), n)) << "block at " << at;
        at += n;
    }
    // Nothing connected at all: still nothing to crash on.
    for (std::uint32_t port : {kInLeftPort, kOutRightPort}) p.connect(port, nullptr);
    p.run(kFrames);
    p.run(0);
}

TEST(Lv2Plugin, BuffersMayMoveBetweenRunsAndOutputsMayBeTheInputs) {
    const float rate = 44100.0f;
    Plugin p(module().descriptor(), rate, kFrames);
    ASSERT_TRUE(p);
    setWorking(p);
    Reference ref(rate);
    std::vector<float> l(kFrames), r(kFrames);
    feed(p, 0, 512, rate);
    ref.process(p.inL.data(), p.inR.data(), l.data(), r.data(), 512);
    p.run(512);
    ASSERT_TRUE(sameBits(p.outL.data(), l.data(), 512));

    // Second block: new input buffers, and each output written over its input.
    std::vector<float> full(1024), fullR(1024);
    kvbhost::renderDemoSignal(rate, 1024, full.data(), fullR.data());
    std::vector<float> movedL(full.begin() + 512, full.end()), movedR(fullR.begin() + 512, fullR.end());
    ref.process(movedL.data(), movedR.data(), l.data(), r.data(), 512);
    const std::vector<float> oldL = p.outL, oldR = p.outR, oldInL = p.inL;
    p.connect(kInLeftPort, movedL.data());
    p.connect(kInRightPort, movedR.data());
    p.connect(kOutLeftPort, movedL.data());
    p.connect(kOutRightPort, movedR.data());
    p.run(512);
    EXPECT_TRUE(sameBits(movedL.data(), l.data(), 512));
    EXPECT_TRUE(sameBits(movedR.data(), r.data(), 512));
    EXPECT_EQ(p.outL, oldL);
    EXPECT_EQ(p.outR, oldR);
    EXPECT_EQ(p.inL, oldInL);
}

TEST(Lv2Plugin, AnEmptyRunTouchesNoAudioAndChangesNothingAfter) {
    const float rate = 44100.0f;
    Plugin p(module().descriptor(), rate, kFrames);
    ASSERT_TRUE(p);
    setWorking(p);
    Reference ref(rate);
    std::vector<float> l(kFrames), r(kFrames);
    std::uint32_t at = 0;
    for (int block = 0; block < 3; ++block) {
        std::fill(p.outL.begin(), p.outL.end(), 7.0f);
        p.run(0);
        EXPECT_EQ(p.outL, std::vector<float>(kFrames, 7.0f));
        EXPECT_EQ(p.latency, 3.0f);
        feed(p, at, 1024, rate);
        ref.process(p.inL.data(), p.inR.data(), l.data(), r.data(), 1024);
        p.run(1024);
        ASSERT_TRUE(sameBits(p.outL.data(), l.data(), 1024)) << "block " << block;
        at += 1024;
    }
}

// Not-a-number and values beyond the range (infinite ones too) are the
// nearer end of 0 to 1, for every kind of port: continuous, stepped, switch.
TEST(Lv2Plugin, ControlValuesOutsideZeroToOneAreReadAsTheNearerEnd) {
    const float rate = 44100.0f;
    Plugin p(module().descriptor(), rate, kFrames);
    ASSERT_TRUE(p);
    setWorking(p);
    Reference ref(rate);
    const struct {
        int index;
        float sent, read;
    } cases[] = {{kOptThr1, kNaN, 0.0f},    {kOptGain1, kInf, 1.0f},  {kDisThr1, -kInf, 0.0f},
                 {kDisRat1, 1e30f, 1.0f},   {kDisAtk1, -0.5f, 0.0f},  {kDisGain1, 3.0f, 1.0f},
                 {kTrafo1, -kNaN, 0.0f},    {kOptMode, 2.0f, 1.0f},   {kDisByp2, -1.0f, 0.0f},
                 {kOptByp2, 1.5f, 1.0f},    {kStereoMode, kNaN, 0.0f}};
    for (const auto& c : cases) {
        p.controls[c.index] = c.sent;
        ref.setParameter(c.index, c.read);
    }
    std::vector<float> l(kFrames), r(kFrames);
    std::uint32_t at = 0;
    for (int block = 0; block < 4; ++block) {
        feed(p, at, kFrames, rate);
        ref.process(p.inL.data(), p.inR.data(), l.data(), r.data(), kFrames);
        p.run(kFrames);
        ASSERT_TRUE(allFinite(p.outL, kFrames) && allFinite(p.outR, kFrames));
        ASSERT_TRUE(sameBits(p.outL.data(), l.data(), kFrames)) << "block " << block;
        ASSERT_TRUE(sameBits(p.outR.data(), r.data(), kFrames)) << "block " << block;
        EXPECT_TRUE(std::isfinite(p.meters[0]) && std::isfinite(p.meters[1]));
        at += kFrames;
    }
}

TEST(Lv2Plugin, UnusableSampleRatesLeaveTheInstanceAt44100) {
    Plugin at44k(module().descriptor(), 44100.0, kFrames);
    ASSERT_TRUE(at44k);
    feed(at44k, 0, kFrames, 44100.0f);
    at44k.run(kFrames);
    for (double rate : {0.0, -48000.0, std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, 1e-300, 1e-40}) {
        Plugin p(module().descriptor(), rate, kFrames);
        ASSERT_TRUE(p) << rate;
        feed(p, 0, kFrames, 44100.0f);
        p.run(kFrames);
        EXPECT_TRUE(sameBits(p.outL.data(), at44k.outL.data(), kFrames)) << rate;
        EXPECT_TRUE(sameBits(p.outR.data(), at44k.outR.data(), kFrames)) << rate;
    }
}

// A deactivate and an activate give an instance without history, that keeps
// the values its control ports last had.
TEST(Lv2Plugin, ActivatingAgainStartsWithoutHistory) {
    const float rate = 96000.0f;
    Plugin p(module().descriptor(), rate, kFrames);
    ASSERT_TRUE(p);
    setWorking(p);
    feed(p, 0, kFrames, rate);
    p.run(kFrames);
    p.connect(kOptThr1, nullptr);  // kept at 0.3 from here on
    p.desc->deactivate(p.handle);
    p.desc->activate(p.handle);
    feed(p, 0, kFrames, rate);
    p.run(kFrames);

    Plugin fresh(module().descriptor(), rate, kFrames);
    ASSERT_TRUE(fresh);
    setWorking(fresh);
    feed(fresh, 0, kFrames, rate);
    fresh.run(kFrames);
    EXPECT_TRUE(sameBits(p.outL.data(), fresh.outL.data(), kFrames));
    EXPECT_TRUE(sameBits(p.outR.data(), fresh.outR.data(), kFrames));
    EXPECT_EQ(p.meters[0], fresh.meters[0]);
}
