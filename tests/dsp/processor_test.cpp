// The whole chain through Processor: block set-up, modes and linking,
// metering, and the properties that must hold whatever the host does.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "ReferenceChain.h"
#include "support/MpfrFloat.h"
#include "TestSupport.h"
#include "dsp/Processor.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace {

struct Chain {
    Processor p;
    Chain(float fs = 44100.0f) {
        p.setUp();
        p.setSampleRate(fs);
    }
};

// variedSignal 70 dB down, fading from halfway by 2400 dB a second.
Stereo quietSignal(std::size_t n, float fs) {
    Stereo s = variedSignal(n, fs, 11);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = (static_cast<double>(i) - static_cast<double>(n / 2)) / fs;
        const double gain = std::pow(10.0, (-70.0 - (t > 0.0 ? 2400.0 * t : 0.0)) / 20.0);
        s.l[i] = static_cast<float>(s.l[i] * gain);
        s.r[i] = static_cast<float>(s.r[i] * gain);
    }
    return s;
}

void processNothing(Processor& p, const Params& params) {
    float dummy = 0.0f;
    float* io[2] = {&dummy, &dummy};
    p.process(params.v, io, io, 0);
}

}  // namespace

// ------------------------------------------------------------ sample rate ---

TEST(SampleRate, RatiosFollowTheRate) {
    Processor p;
    EXPECT_EQ(p.rateRatio(), 1.0f);
    EXPECT_EQ(p.osRateRatio(), 0.25f);
    p.setSampleRate(48000.0f);
    EXPECT_FLOAT_EQ(p.rateRatio(), 0.91875f);
    EXPECT_FLOAT_EQ(p.osRateRatio(), 0.2296875f);
    p.setSampleRate(88200.0f);
    EXPECT_EQ(p.rateRatio(), 0.5f);
    EXPECT_EQ(p.osRateRatio(), 0.125f);
    p.setSampleRate(44100.0f);
    EXPECT_EQ(p.rateRatio(), 1.0f) << "the same as before any rate was set";
    EXPECT_EQ(p.osRateRatio(), 0.25f);
}

TEST(SampleRate, UnusableRatesAreIgnored) {
    Processor p;
    p.setSampleRate(96000.0f);
    for (float bad : {0.0f, -48000.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity(), 1e-40f}) {
        p.setSampleRate(bad);
        EXPECT_FLOAT_EQ(p.rateRatio(), 0.459375f) << bad;
    }
}

// ----------------------------------------------------------- block set-up ---

TEST(BlockSetUp, ThreePositionSelectorsSwitchAt0_33And0_66) {
    Chain c;
    Params params;
    const float values[] = {0.0f, 0.3299f, 0.33f, 0.6599f, 0.66f, 1.0f};
    const int bands[] = {0, 0, 1, 1, 2, 2};
    for (int i = 0; i < 6; ++i) {
        params.set(kOptMode, values[i]).set(kMeterMode, values[i]).set(kTrafo1, values[i]);
        params.set(kMSMode, 0.0f);  // own settings per channel
        params.set(kTrafo2, 1.0f - values[i]);
        processNothing(c.p, params);
        const BlockSettings& b = c.p.blockSettings();
        EXPECT_EQ(b.optMode, bands[i]) << values[i];
        EXPECT_EQ(b.meterMode, bands[i]) << values[i];
        EXPECT_EQ(b.trafoMode[0], bands[i]) << values[i];
        EXPECT_EQ(b.trafo[0].threshold, kTransformerModes[bands[i]].threshold);
        // The second side-chain band moves with the Opt mode.
        EXPECT_EQ(c.p.sectionSettings(1).freq, bands[i] == 0 ? 0.125f : 0.15f);
    }
}

TEST(BlockSetUp, SixPositionSelectorsTruncateValueTimesFiveAndAHalf) {
    EXPECT_EQ(disIndex(0.0f), 0);
    EXPECT_EQ(disIndex(0.18f), 0);
    EXPECT_EQ(disIndex(0.182f), 1);
    EXPECT_EQ(disIndex(0.5f), 2);
    EXPECT_EQ(disIndex(1.0f), 5);
    // Values outside 0 to 1 land on the first row.
    EXPECT_EQ(disIndex(-0.5f), 0);
    EXPECT_EQ(disIndex(1.2f), 0);
    EXPECT_EQ(disIndex(std::numeric_limits<float>::quiet_NaN()), 0);
    Chain c;
    Params params;
    params.set(kDisRat1, 0.182f);
    processNothing(c.p, params);
    EXPECT_EQ(c.p.blockSettings().disChannel[0].ratio, 0.5f);
}

TEST(BlockSetUp, LeftRightOperationCopiesChannelOneToChannelTwo) {
    Chain c;
    Params params;
    params.set(kMSMode, 1.0f).set(kOptThr2, 0.1f).set(kDisRat2, 0.0f).set(kTrafo2, 0.0f);
    params.set(kOptByp2, 1.0f).set(kSCFilt2, 0.0f).set(kDisByp2, 0.0f).set(kDisGain2, 1.0f);
    processNothing(c.p, params);
    const BlockSettings& b = c.p.blockSettings();
    EXPECT_EQ(b.optChannel[1].thresholdDb, b.optChannel[0].thresholdDb);
    EXPECT_EQ(b.optChannel[1].active, 1.0f);
    EXPECT_EQ(b.disChannel[1].ratio, b.disChannel[0].ratio);
    EXPECT_EQ(b.disChannel[1].bandGain, 1.0f);
    EXPECT_EQ(b.disChannel[1].active, 0.0f);
    EXPECT_EQ(b.disChannel[1].makeUpDb, 0.0f);
    EXPECT_EQ(b.trafoMode[1], 2);
}

TEST(BlockSetUp, ZeroFramesStillUpdatesTheSectionsAndTouchesNoSample) {
    Chain c;
    Params params;
    params.set(kOptMode, 1.0f);
    float sentinel[2] = {123.0f, -7.0f};
    float* out[2] = {&sentinel[0], &sentinel[1]};
    float in[2] = {0.5f, 0.5f};
    float* ins[2] = {&in[0], &in[1]};
    c.p.process(params.v, ins, out, 0);
    c.p.process(params.v, ins, out, -5);
    EXPECT_EQ(sentinel[0], 123.0f);
    EXPECT_EQ(sentinel[1], -7.0f);
    EXPECT_EQ(c.p.sectionSettings(1).freq, 0.15f);
    float cosTerm, k2;
    peakingCoefficients(c.p.sectionSettings(1), 0.25f, cosTerm, k2);
    EXPECT_EQ(c.p.section(1).core().k2, k2);
    EXPECT_EQ(c.p.state().interp.output(0), 0.0f) << "no sample processed";
}

TEST(BlockSetUp, SectionsKeepTheWideShape) {
    Chain c;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c.p.sectionSettings(i).shape, 0.0f);
}

// ------------------------------------------------------- modes and linking ---

namespace {
// Left carries a loud 200 Hz tone, right a quiet one; both stages set to
// reduce the left channel. Returns the settled output levels in dB relative
// to a run with both stages bypassed.
struct LinkResult {
    double left, right;
};

LinkResult settledReduction(bool linked, bool optStage) {
    const float fs = 44100.0f;
    const std::size_t n = 88200;
    Stereo in(n);
    in.l = sine(n, fs, 200.0, 0.5);
    in.r = sine(n, fs, 200.0, 0.002);
    Params params;
    params.set(kMSMode, 1.0f).set(kStereoMode, linked ? 0.0f : 1.0f);
    params.set(kTrafo1, 1.0f).set(kOptThr1, 0.4f).set(kDisThr1, 0.5f).set(kDisRat1, 1.0f);
    params.set(kOptByp1, 1.0f).set(kDisByp1, 1.0f);
    Chain dry;
    const Stereo ref = run(dry.p, params, in);
    params.set(optStage ? kOptByp1 : kDisByp1, 0.0f);
    Chain wet;
    const Stereo out = run(wet.p, params, in);
    return {db(rms(out.l, n / 2, n) / rms(ref.l, n / 2, n)), db(rms(out.r, n / 2, n) / rms(ref.r, n / 2, n))};
}
}  // namespace

TEST(Linking, LinkedOperationSharesHalfTheReduction) {
    for (bool opt : {false, true}) {
        const LinkResult own = settledReduction(false, opt);
        const LinkResult shared = settledReduction(true, opt);
        EXPECT_LT(own.left, -3.0) << opt;
        EXPECT_NEAR(own.right, 0.0, 0.01) << "a quiet channel keeps its level";
        EXPECT_NEAR(shared.left, own.left / 2.0, std::fabs(own.left) * 0.05) << opt;
        EXPECT_NEAR(shared.right, shared.left, 0.1) << "one gain for both channels";
    }
}

TEST(Linking, ChannelTwoSettingsAreIgnoredInLeftRightOperation) {
    const Stereo in = variedSignal(30000, 44100.0f);
    Params a, b;
    for (Params* p : {&a, &b}) p->set(kMSMode, 1.0f).set(kDisByp1, 0.0f).set(kOptThr1, 0.3f);
    const int channelTwo[] = {kOptThr2, kOptGain2, kDisThr2, kDisAtk2, kDisRat2, kDisRls2,
                              kDisGain2, kTrafo2, kOptByp2, kSCFilt2, kDisByp2};
    for (int i : channelTwo) b.set(i, 1.0f - a.get(i) * 0.7f);
    Chain ca, cb;
    const Stereo oa = run(ca.p, a, in), ob = run(cb.p, b, in);
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_TRUE(sameBits(oa.l[i], ob.l[i])) << i;
        ASSERT_TRUE(sameBits(oa.r[i], ob.r[i])) << i;
    }
}

TEST(MidSide, LeftOnlyInputComesBackOnTheFirstOutput) {
    const float fs = 48000.0f;
    const std::size_t n = 48000;
    Stereo in(n);
    in.l = sine(n, fs, 1000.0, 0.2);  // below every transformer threshold
    Params params;
    params.set(kMSMode, 0.0f).set(kOptByp1, 1.0f).set(kOptByp2, 1.0f);
    params.set(kDisByp1, 1.0f).set(kDisByp2, 1.0f);
    Chain c(fs);
    const Stereo out = run(c.p, params, in);
    const double gain = rms(out.l, n / 2, n) / rms(in.l, n / 2, n);
    // 0.97724² · 0.25 · 3.408463 · 1.125116 = 0.9156 at DC, ripple above it.
    EXPECT_GT(gain, 0.915);
    EXPECT_LT(gain, 0.96);
    EXPECT_LT(rms(out.r, n / 2, n), 1e-5) << "mid and side cancel on the second output";
    // Sum and difference are not halved on the way in: mid = side = left.
    EXPECT_NEAR(lane0(c.p.state().dc.y), lane1(c.p.state().dc.y), 1e-4);
}

// ----------------------------------------------------------------- meters ---

TEST(Metering, EachModeRoutesItsReductions) {
    const Stereo in = variedSignal(20000, 44100.0f);
    for (int mode = 0; mode < 3; ++mode) {
        Params params;
        params.set(kMeterMode, mode * 0.5f).set(kMSMode, 0.0f).set(kOptThr1, 0.2f).set(kOptThr2, 0.4f);
        params.set(kDisThr1, 0.3f).set(kDisThr2, 0.6f).set(kDisRat2, 0.0f);
        // Bypassed stages are still metered.
        params.set(kOptByp1, 1.0f).set(kDisByp1, 1.0f).set(kDisByp2, 1.0f);
        Chain c;
        run(c.p, params, in);
        const ChainState& s = c.p.state();
        const BlockSettings& b = c.p.blockSettings();
        const float opt[2] = {lane0(s.opt.reduction), lane1(s.opt.reduction)};
        const float dis[2] = {b.disChannel[0].ratio * lane0(s.dis.smooth),
                              b.disChannel[1].ratio * lane1(s.dis.smooth)};
        for (float v : {opt[0], opt[1], dis[0], dis[1]}) EXPECT_GT(v, 0.1f);
        const float m0 = c.p.meterAddress(0)->load(), m1 = c.p.meterAddress(1)->load();
        EXPECT_EQ(m0, mode == 1 ? dis[0] : opt[0]) << mode;
        EXPECT_EQ(m1, mode == 0 ? opt[1] : (mode == 1 ? dis[1] : dis[0])) << mode;
    }
}

TEST(Metering, MetersFallBackInSilence) {
    Params params;
    // The Dis release of index 3 has a time constant of 349 ms.
    params.set(kMeterMode, 0.5f).set(kDisThr1, 0.5f).set(kDisRls1, 0.6f);
    Chain c;
    run(c.p, params, variedSignal(20000, 44100.0f));
    const float loud = c.p.meterAddress(0)->load();
    EXPECT_GT(loud, 1.0f);
    run(c.p, params, Stereo(static_cast<std::size_t>(44100 * 0.349)));
    EXPECT_NEAR(c.p.meterAddress(0)->load() / loud, std::exp(-1.0), 0.03);
    run(c.p, params, Stereo(88200));
    EXPECT_LT(c.p.meterAddress(0)->load(), loud * 0.01f);
}

// ------------------------------------------------------ whole-chain rules ---

TEST(Chain, SilenceGivesNearSilence) {
    Chain c;
    Params params;
    const std::size_t n = 44100;
    const Stereo out = run(c.p, params, Stereo(n));
    EXPECT_LT(peak(out.l, n / 2, n), 3e-5);
    EXPECT_LT(peak(out.r, n / 2, n), 3e-5);
    EXPECT_GT(peak(out.l, n / 2, n), 0.0) << "noise and offset pass through";
}

TEST(Chain, OutputDoesNotDependOnTheBlockSize) {
    const Stereo in = variedSignal(20000, 48000.0f);
    Params params;
    params.set(kMSMode, 0.0f).set(kDisByp1, 0.0f).set(kOptThr1, 0.3f).set(kDisThr2, 0.4f);
    Chain whole(48000.0f);
    const Stereo ref = run(whole.p, params, in, static_cast<int>(in.size()));
    for (int block : {1, 7, 64, 333}) {
        Chain c(48000.0f);
        const Stereo out = run(c.p, params, in, block);
        for (std::size_t i = 0; i < in.size(); ++i) {
            ASSERT_TRUE(sameBits(out.l[i], ref.l[i])) << block << " at " << i;
            ASSERT_TRUE(sameBits(out.r[i], ref.r[i])) << block << " at " << i;
        }
    }
}

TEST(Chain, TwoInstancesInParallelThreadsMatchOneAlone) {
    const Stereo in = variedSignal(40000, 44100.0f);
    Params params;
    params.set(kStereoMode, 1.0f).set(kDisByp1, 0.0f).set(kOptThr1, 0.2f);
    Chain alone;
    const Stereo ref = run(alone.p, params, in, 256);
    Chain a, b;
    Stereo oa, ob;
    std::thread ta([&] { oa = run(a.p, params, in, 256); });
    std::thread tb([&] { ob = run(b.p, params, in, 256); });
    ta.join();
    tb.join();
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_TRUE(sameBits(oa.l[i], ref.l[i]) && sameBits(oa.r[i], ref.r[i])) << i;
        ASSERT_TRUE(sameBits(ob.l[i], ref.l[i]) && sameBits(ob.r[i], ref.r[i])) << i;
    }
}

TEST(Chain, NonFiniteInputCostsOneSample) {
    Stereo in = variedSignal(20000, 44100.0f);
    Stereo zeroed = in;
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (int k = 0; k < 3; ++k) {
        in.l[1000 + 500 * k] = bad[k];
        in.r[1200 + 500 * k] = bad[k];
        zeroed.l[1000 + 500 * k] = 0.0f;
        zeroed.r[1200 + 500 * k] = 0.0f;
    }
    Params params;
    params.set(kDisByp1, 0.0f);
    Chain a, b;
    const Stereo out = run(a.p, params, in), ref = run(b.p, params, zeroed);
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out.l[i]) && std::isfinite(out.r[i])) << i;
        ASSERT_TRUE(sameBits(out.l[i], ref.l[i]) && sameBits(out.r[i], ref.r[i])) << i;
    }
}

TEST(Chain, AbsurdParameterValuesLeaveNoLastingDamage) {
    // Values outside 0 to 1 still map by the formulas (1.25 is 18.75 dB of
    // make-up), but not-a-number and huge values must not leave the states
    // not-a-number (an absurd threshold may leave a long reduction behind).
    const Stereo in = variedSignal(8000, 44100.0f);
    Params params;
    params.set(kDisByp1, 0.0f);
    Chain c;
    run(c.p, params, in);
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 1e30f,
                      -1e30f}) {
        for (int i : {kOptThr1, kOptGain1, kDisThr1, kDisGain1, kDisAtk1, kOptMode, kTrafo1}) {
            const float old = params.get(i);
            params.set(i, bad);
            const Stereo out = run(c.p, params, in);
            for (std::size_t k = 0; k < out.size(); ++k)
                ASSERT_TRUE(std::isfinite(out.l[k]) && std::isfinite(out.r[k])) << i << " " << bad;
            params.set(i, old);
        }
    }
    const Stereo after = run(c.p, params, in);
    for (std::size_t k = 0; k < after.size(); ++k) ASSERT_TRUE(std::isfinite(after.l[k]));
    const ChainState& s = c.p.state();
    for (float v : {lane0(s.opt.reduction), lane0(s.dis.smooth), lane0(s.dc.y), lane0(s.trafo.gain),
                    c.p.state().decim.output(0), c.p.section(2).core().output(0)})
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(processingValue(1.25f), 1.25f);
    EXPECT_EQ(processingValue(-0.5f), -0.5f);
}

TEST(Chain, HugeFiniteInputIsLimitedBeforeItReachesAnyState) {
    // Near the largest float the chain's sums would overflow; such a sample
    // is read as ±1e10 and the instance keeps working.
    Stereo in = variedSignal(30000, 44100.0f);
    Stereo limited = in;
    in.l[1000] = 3e38f;
    in.r[1000] = -3e38f;
    limited.l[1000] = 1e10f;
    limited.r[1000] = -1e10f;
    Params params;
    params.set(kMSMode, 0.0f).set(kDisByp1, 0.0f).set(kOptGain1, 1.0f).set(kDisGain1, 1.0f);
    Chain a, b;
    const Stereo out = run(a.p, params, in), ref = run(b.p, params, limited);
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out.l[i]) && std::isfinite(out.r[i])) << i;
        ASSERT_TRUE(sameBits(out.l[i], ref.l[i]) && sameBits(out.r[i], ref.r[i])) << i;
    }
}

TEST(Chain, InPlaceProcessingMatchesSeparateBuffers) {
    const Stereo in = variedSignal(5000, 44100.0f);
    Params params;
    params.set(kMSMode, 0.0f);
    Chain a, b;
    const Stereo ref = run(a.p, params, in);
    Stereo buf = in;
    float* io[2] = {buf.l.data(), buf.r.data()};
    b.p.process(params.v, io, io, static_cast<int>(buf.size()));
    for (std::size_t i = 0; i < in.size(); ++i)
        ASSERT_TRUE(sameBits(buf.l[i], ref.l[i]) && sameBits(buf.r[i], ref.r[i])) << i;
}

TEST(Chain, SampleRateChangeKeepsHistory) {
    Chain c;
    Params params;
    run(c.p, params, variedSignal(2000, 44100.0f));
    // The sections' outputs, read where they said at set-up, follow the loop.
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(c.p.sectionOutput(i, 0), 0.0f);
        EXPECT_EQ(c.p.sectionOutput(i, 0), c.p.section(i).core().output(0));
        EXPECT_EQ(c.p.sectionOutput(i, 1), c.p.section(i).core().output(1));
    }
    const float y1 = c.p.state().decim.output(0);
    c.p.setSampleRate(96000.0f);
    EXPECT_EQ(c.p.state().decim.output(0), y1);
    processNothing(c.p, params);
    EXPECT_EQ(c.p.blockSettings().dcPole, mpfr_float::exp(mpfr_float::log(0.9987f) * (44100.0f / 96000.0f)));
}

// A quiet passage costs no more than a loud one only while no arithmetic of
// the chain meets a subnormal number: on x86 each such operation takes a
// slow path of a hundred cycles or more. The processor's own status flags
// (denormal operand, underflow) are read after every block; they catch a
// subnormal anywhere in the chain's arithmetic, in a state too (a state is an
// operand at its next step), and count the blocks that met one. Quiet
// programme material, silence, a fade into a long silence and a fade through
// the subnormals to zero, in left/right and mid/side operation, in every
// compiled form.
TEST(Chain, QuietInputMeetsNoSubnormalNumber) {
#if !(defined(__x86_64__) || defined(_M_X64))
    GTEST_SKIP() << "reads the x86 floating-point status flags";
#else
    constexpr unsigned kDenormalOperand = 0x02, kUnderflow = 0x10;
    const float fs = 44100.0f;
    const std::size_t second = 44100;
    Stereo quiet = variedSignal(second, fs);
    for (std::vector<float>* c : {&quiet.l, &quiet.r})
        for (float& v : *c) v *= 3.1622776e-4f;  // -70 dB
    Stereo fade(12 * second);
    const Stereo loud = variedSignal(second / 2, fs);
    std::copy(loud.l.begin(), loud.l.end(), fade.l.begin());
    std::copy(loud.r.begin(), loud.r.end(), fade.r.begin());
    const Stereo tail = quietSignal(second, fs);
    const std::pair<const char*, const Stereo*> signals[] = {
        {"quiet", &quiet}, {"silence", nullptr}, {"fade into silence", &fade}, {"tail through the subnormals", &tail}};
    const Stereo silence(second);
    Params leftRight, midSide;
    leftRight.set(kOptByp1, 0.0f).set(kOptThr1, 0.3f).set(kDisByp1, 0.0f).set(kDisThr1, 0.3f);
    midSide.set(kMSMode, 0.0f).set(kOptByp1, 0.0f).set(kOptByp2, 0.0f).set(kDisByp1, 0.0f).set(kDisByp2, 0.0f);
    midSide.set(kOptThr1, 0.0f).set(kDisThr2, 0.0f).set(kSCFilt1, 0.0f).set(kTrafo1, 0.0f);
    for (const Processor::Rounds form : {Processor::Rounds::Portable, Processor::Rounds::Avx2, Processor::Rounds::Avx512}) {
        for (const auto& [name, signal] : signals) {
            for (const Params* params : {&leftRight, &midSide}) {
                Chain c;
                if (c.p.useRounds(form) != form) continue;
                const Stereo& in = signal ? *signal : silence;
                Stereo out(in.size());
                int blocksMeetingOne = 0;
                const int sizes[] = {64, 512, 37};
                for (std::size_t pos = 0, k = 0; pos < in.size(); ++k) {
                    const int n = static_cast<int>(std::min<std::size_t>(sizes[k % 3], in.size() - pos));
                    float* ins[2] = {const_cast<float*>(in.l.data()) + pos, const_cast<float*>(in.r.data()) + pos};
                    float* outs[2] = {out.l.data() + pos, out.r.data() + pos};
                    _mm_setcsr(_mm_getcsr() & ~(kDenormalOperand | kUnderflow));
                    c.p.process(params->v, ins, outs, n);
                    blocksMeetingOne += (_mm_getcsr() & (kDenormalOperand | kUnderflow)) != 0;
                    pos += static_cast<std::size_t>(n);
                }
                EXPECT_EQ(blocksMeetingOne, 0) << name << (params == &midSide ? ", mid/side, " : ", left/right, ")
                                               << (form == Processor::Rounds::Portable ? "portable form"
                                                   : form == Processor::Rounds::Avx2  ? "AVX2 form"
                                                                                      : "AVX-512 form");
            }
        }
    }
#endif
}

// --------------------------------------------------- against the reference ---

namespace {
struct Setting {
    const char* name;
    float fs;
    std::vector<std::pair<int, float>> values;
    // The signal 70 dB down, and from halfway a fade through the subnormals
    // to zero: the stages rest near their guard offsets.
    bool quiet = false;
};

}  // namespace

class AgainstReference : public ::testing::TestWithParam<Setting> {};

// The reference runs once, block by block, with a parameter moving halfway
// through; both forms of the chain (the one for every x86-64 processor and,
// where the processor has it, the one for AVX2) must give its every sample
// and meter value.
TEST_P(AgainstReference, EverySampleAndMeterIsBitIdentical) {
    const Setting& s = GetParam();
    Params params;
    params.set(kOptThr1, 0.3f).set(kOptThr2, 0.45f).set(kDisByp1, 0.0f).set(kDisByp2, 0.0f);
    params.set(kDisThr1, 0.45f).set(kDisThr2, 0.6f).set(kOptGain1, 0.3f).set(kDisGain2, 0.2f);
    for (const auto& [index, value] : s.values) params.set(index, value);

    // Three quarters of a second: the reference takes every logarithm and
    // power from MPFR, which is slow.
    const std::size_t n = static_cast<std::size_t>(s.fs * 0.75f);
    const Stereo in = s.quiet ? quietSignal(n, s.fs) : variedSignal(n, s.fs, 11);
    struct Block {
        std::size_t pos;
        int len;
        std::vector<float> values;
        float meter[2];
    };
    std::vector<Block> blocks;
    Stereo expected(n);
    ReferenceChain ref;
    ref.setSampleRate(s.fs);
    // Uneven blocks; OptMode moves halfway through.
    for (std::size_t pos = 0, block = 1; pos < n; block = block * 3 % 1021 + 1) {
        if (pos > n / 2) params.set(kOptMode, 1.0f - params.get(kOptMode));
        Block b{pos, static_cast<int>(std::min(block, n - pos)), std::vector<float>(kNumParams), {}};
        for (int i = 0; i < kNumParams; ++i) b.values[i] = params.get(i);
        ref.process(b.values.data(), in.l.data() + pos, in.r.data() + pos, expected.l.data() + pos,
                    expected.r.data() + pos, b.len);
        b.meter[0] = ref.meter[0];
        b.meter[1] = ref.meter[1];
        blocks.push_back(b);
        pos += static_cast<std::size_t>(b.len);
    }

    for (const Processor::Rounds form : {Processor::Rounds::Portable, Processor::Rounds::Avx2, Processor::Rounds::Avx512}) {
        SCOPED_TRACE(form == Processor::Rounds::Portable ? "portable form"
                     : form == Processor::Rounds::Avx2   ? "AVX2 form"
                                                         : "AVX-512 form");
        Processor p;
        p.setUp();
        if (p.useRounds(form) != form) continue;  // not on this processor
        p.setSampleRate(s.fs);
        Stereo out(n);
        for (const Block& b : blocks) {
            for (int i = 0; i < kNumParams; ++i) params.set(i, b.values[i]);
            float* ins[2] = {const_cast<float*>(in.l.data()) + b.pos, const_cast<float*>(in.r.data()) + b.pos};
            float* outs[2] = {out.l.data() + b.pos, out.r.data() + b.pos};
            p.process(params.v, ins, outs, b.len);
            ASSERT_TRUE(sameBits(p.meterAddress(0)->load(), b.meter[0])) << b.pos;
            ASSERT_TRUE(sameBits(p.meterAddress(1)->load(), b.meter[1])) << b.pos;
        }
        double level = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_TRUE(sameBits(out.l[i], expected.l[i])) << s.name << " left at " << i;
            ASSERT_TRUE(sameBits(out.r[i], expected.r[i])) << s.name << " right at " << i;
            level = std::max(level, static_cast<double>(std::fabs(out.l[i])));
        }
        EXPECT_GT(level, s.quiet ? 1e-4 : 0.05) << "the comparison saw sound";
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryMode, AgainstReference,
    ::testing::Values(
        Setting{"LinkedLR", 44100.0f, {}},
        Setting{"IndependentLR", 48000.0f, {{kStereoMode, 1.0f}, {kOptMode, 0.5f}, {kMeterMode, 0.0f}}},
        Setting{"MidSide", 96000.0f, {{kMSMode, 0.0f}, {kOptMode, 1.0f}, {kMeterMode, 1.0f}, {kTrafo1, 0.0f}, {kTrafo2, 0.5f}}},
        Setting{"MidSideLinked", 44100.0f, {{kMSMode, 0.5f}, {kStereoMode, 0.0f}, {kMeterMode, 1.0f}}},
        Setting{"SideChainCutAndBypass", 88200.0f, {{kSCFilt1, 0.0f}, {kOptByp1, 1.0f}, {kDisAtk1, 1.0f}, {kDisRls1, 0.0f}, {kDisRat1, 0.1f}}},
        Setting{"HotTransformer", 22050.0f, {{kTrafo1, 0.0f}, {kDisGain1, 1.0f}, {kOptGain1, 1.0f}, {kMSMode, 0.0f}, {kStereoMode, 1.0f}, {kDisByp2, 1.0f}}},
        Setting{"QuietLinked", 44100.0f, {}, true},
        Setting{"QuietMidSide", 48000.0f, {{kMSMode, 0.0f}, {kOptThr1, 0.0f}, {kDisThr2, 0.0f}, {kSCFilt1, 0.0f}}, true}),
    [](const ::testing::TestParamInfo<Setting>& p) { return std::string(p.param.name); });
