// The stages one by one: curves, filter responses, time constants and the
// numbers that follow from them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "TestSupport.h"
#include "dsp/BlockSettings.h"
#include "dsp/DcBlocker.h"
#include "dsp/DisStage.h"
#include "dsp/NoiseGenerator.h"
#include "dsp/OptStage.h"
#include "dsp/OversamplingFilter.h"
#include "dsp/QS_Peaking_1.h"
#include "dsp/TransformerStage.h"

namespace {
constexpr double kPi = 3.141592653589793;
constexpr double kGuard = 1.0000000195414814e-24;

// A section core with the coefficients for the given settings and rate scale.
PeakingCore core(float freq, float width, float rateScale = 0.25f, float shape = 0.0f) {
    float cosTerm, k2;
    peakingCoefficients({freq, width, shape}, rateScale, cosTerm, k2);
    PeakingCore c;
    c.setCoefficients(cosTerm, k2);
    return c;
}
}  // namespace

// ---------------------------------------------------------------- curves ---

TEST(OptCurve, GainReductionAtTheTabulatedPoints) {
    const float over[] = {0, 1, 5, 10, 20, 30, 40, 50, 60};
    const float reduction[] = {0, 0.28f, 1.46f, 3.29f, 9.07f, 17.47f, 25.64f, 30.17f, 34.55f};
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(optCurve(over[i]), reduction[i], 0.006) << over[i];
    // The same polynomial beyond 60 dB, where it rises steeply.
    EXPECT_NEAR(optCurve(70.0f), 62.9f, 0.05);
}

TEST(DisLevelCurve, LevelAtTheTabulatedPoints) {
    const float in[] = {0.0f, 0.05f, 0.1f, 0.2f, 0.3f, 0.5f, 0.7f, 0.9f, 1.0f};
    const float out[] = {0.03125f, 0.0396f, 0.0639f, 0.153f, 0.277f, 0.519f, 0.689f, 0.912f, 0.9886f};
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(disLevelCurve(in[i]), out[i], 0.0006) << in[i];
        EXPECT_EQ(disLevelCurve(-in[i]), disLevelCurve(in[i])) << "even in its input";
    }
    EXPECT_NEAR(20.0 * std::log10(disLevelCurve(0.0f)), -30.1, 0.01);
}

TEST(DisLevelCurve, PeaksNearTheTopAndJumpsToTheMagnitudeAboveOne) {
    float best = 0.0f, at = 0.0f;
    for (float x = 0.9f; x <= 1.0f; x += 0.0005f)
        if (disLevelCurve(x) > best) best = disLevelCurve(x), at = x;
    EXPECT_NEAR(best, 0.9888f, 0.0002);
    EXPECT_NEAR(at, 0.996f, 0.002);
    EXPECT_EQ(disLevelCurve(1.0001f), 1.0001f);
    EXPECT_EQ(disLevelCurve(-3.0f), 3.0f);
}

namespace {
std::uint32_t bitsOf(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}
float floatOf(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}
// The two polynomials as written, every power taken.
float fullOptCurve(float over) {
    const float u = over * 0.02f, u2 = u * u, u3 = u * u2, u5 = u3 * u2, u7 = u5 * u2;
    return (u3 * 1.3143543f + u * 0.27918664f - u5 * 1.4910889f) * 50.0f + (u7 * 0.50095296f) * 50.0f;
}
float fullDisLevelCurve(float sc) {
    const float q2 = sc * sc, q4 = q2 * q2;
    const float curve = 2.0f * (q4 * (4.5072875f * q2 - 3.7919977f - 1.9086499f * q4) + (1.6720511f * q2 + 0.015623941f));
    return std::fabs(sc) > 1.0f ? std::fabs(sc) : curve;
}
}  // namespace

// Near zero both curves leave out the powers that would be subnormal; the
// result keeps the polynomial's bits: every float of the binade either side
// of where they are left out, and in every binade from the smallest subnormal
// up its power of two, that power's neighbours and 4096 others.
TEST(Curves, NearZeroTheyKeepThePolynomialsBits) {
    auto differ = [](float (*curve)(float), float (*full)(float), float threshold) {
        std::vector<float> values;
        for (std::uint32_t b = bitsOf(threshold / 2.0f); b < bitsOf(threshold * 2.0f); ++b) values.push_back(floatOf(b));
        std::uint32_t rnd = 1;
        for (int e = -149; e <= 6; ++e) {
            const float v = std::ldexp(1.0f, e);
            values.insert(values.end(), {v, std::nextafter(v, 0.0f), std::nextafter(v, 2.0f * v)});
            for (int i = 0; i < 4096; ++i) {
                rnd = rnd * 1664525u + 1013904223u;
                const std::uint32_t top = e < -126 ? 1u << (e + 149) : 0u;  // a subnormal binade's leading bit
                values.push_back(e < -126 ? floatOf(top | (rnd & (top - 1))) : v * floatOf(0x3f800000u | (rnd >> 9)));
            }
        }
        int count = 0;
        for (float v : values)
            for (float w : {v, -v}) count += bitsOf(curve(w)) != bitsOf(full(w));
        return count;
    };
    EXPECT_EQ(differ([](float v) { return optCurve(v); }, fullOptCurve, 50.0f * 0x1p-17f), 0);
    EXPECT_EQ(differ([](float v) { return disLevelCurve(v); }, fullDisLevelCurve, 0x1p-20f), 0);
}

// ------------------------------------------------------- all-pass section ---

TEST(PeakingSection, CentreFrequencyIndependentOfTheRunningRate) {
    // F = (0.899·freq + 0.001)·22050 Hz; c = −cos(2πF/rate).
    for (float fs : {44100.0f, 48000.0f, 96000.0f}) {
        const float scale = 44100.0f / (4.0f * fs);
        const PeakingCore c = core(0.5f, 0.5f, scale);
        const double f = (0.899 * 0.5 + 0.001) * 22050.0;
        EXPECT_NEAR(c.c, -std::cos(2.0 * kPi * f / (4.0 * fs)), 1e-5) << fs;
    }
}

TEST(PeakingSection, ShapeWidensBelowOneHalfOnly) {
    const double u = (0.3 - 0.5 * 0.29) * 1.5 * 0.5;
    auto k2For = [](double t) { return (1.0 - t) / (1.0 + t); };
    EXPECT_NEAR(core(0.5f, 0.5f, 0.25f, 0.5f).k2, k2For(std::tan(u)), 1e-6);
    EXPECT_NEAR(core(0.5f, 0.5f, 0.25f, 0.4999f).k2, k2For(6.0 * std::tan(u)), 1e-6);
    EXPECT_NEAR(core(0.5f, 0.5f, 0.25f, NAN).k2, k2For(std::tan(u)), 1e-6) << "NaN does not widen";
}

TEST(PeakingSection, AtFreqZeroTheAllPassReturnsItsInput) {
    PeakingCore c = core(0.0f, 0.3f);
    EXPECT_EQ(c.k2, 1.0f);
    // Its poles sit on the unit circle next to z = 1: a single rounding of
    // the single-precision feedback term grows there as a slow ramp (of order
    // 1e-8 per sample), so the identity holds only over a short stretch.
    const std::vector<float> x = sine(100, 44100.0f, 1234.0, 0.8);
    for (float v : x) {
        c.run(f2(v, 0.0f));
        EXPECT_NEAR(c.output(0), v, 1e-5);
    }
}

TEST(PeakingSection, ChannelsAreIndependent) {
    PeakingCore c = core(0.3f, 0.4f);
    for (float v : sine(5000, 44100.0f, 500.0, 1.0)) {
        c.run(f2(v, 0.0f));
        EXPECT_LT(std::fabs(c.output(1)), 1e-20f);
    }
}

TEST(PeakingSection, AllPassKeepsTheLevelAndTheBandReachesItsCentreGain) {
    // Section 1 of Opt mode 0 at the oversampled rate of a 44.1 kHz host.
    const float fs = 4.0f * 44100.0f;
    const double centre = (0.899 * 0.125 + 0.001) * 22050.0;
    for (double f : {100.0, centre, 9000.0}) {
        PeakingCore c = core(0.125f, 0.1f, 0.25f);
        const std::vector<float> x = sine(40000, fs, f, 0.5);
        std::vector<float> a(x.size()), band(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            a[i] = lane0(c.run(f2(x[i], x[i])));
            band[i] = ((x[i] - a[i]) * 1.7f + (a[i] + x[i])) * 0.5f;
        }
        EXPECT_NEAR(peak(a, 20000, 40000) / peak(x, 20000, 40000), 1.0, 1e-3) << f;
        if (f == centre) {
            EXPECT_NEAR(peak(band, 20000, 40000) / peak(x, 20000, 40000), 1.7, 0.02);
        }
    }
}

TEST(PeakingSection, ProcessReadsThroughItsPointersAndKeepsHistoryOverUpdates) {
    float left = 0.0f, right = 0.0f, rate = 0.25f;
    PeakingSettings s{0.2f, 0.5f, 0.0f};
    QS_Peaking_1 section(&left, &right, &s, &rate);
    section.updateCoefficients();
    left = 1.0f;
    section.process();
    const float first = *section.leftOutput();
    EXPECT_EQ(first, section.core().k2) << "an impulse answers k2 first";
    EXPECT_LT(std::fabs(*section.rightOutput()), 1e-23f) << "silence answers the offset alone";
    s.freq = 0.6f;
    section.updateCoefficients();
    EXPECT_EQ(lane0(section.core().x1), 1.0f) << "coefficients change, history stays";
    EXPECT_EQ(lane0(section.core().y1), first);
}

// ------------------------------------------------------ oversampling filter ---

TEST(OversamplingFilter, ImpulseAnswersB0First) {
    OversamplingFilter f;
    const F2 y = f.step(f2(1.0f, 0.0f), d2(kGuard));
    EXPECT_EQ(lane0(y), static_cast<float>(kGuard + osfilter::b0));
    EXPECT_EQ(lane1(y), static_cast<float>(kGuard));
}

TEST(OversamplingFilter, DcGainIs0_97724) {
    OversamplingFilter f;
    float y = 0.0f;
    for (int i = 0; i < 20000; ++i) y = lane0(f.step(f2(1.0f), d2(kGuard)));
    EXPECT_NEAR(y, 0.97724f, 2e-5);
}

TEST(OversamplingFilter, PassBandWithinRippleAndStopBandAbout80dB) {
    auto gainAt = [](double fraction) {
        OversamplingFilter f;
        const std::vector<float> x = sine(40000, 1.0f, fraction, 1.0);
        std::vector<float> y(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) y[i] = lane1(f.step(f2(0.0f, x[i]), d2(kGuard)));
        return db(peak(y, 20000, 40000) / peak(x, 20000, 40000));
    };
    for (double f : {0.01, 0.05, 0.1, 0.12}) {
        EXPECT_LE(gainAt(f), 0.01) << f;
        EXPECT_GE(gainAt(f), -0.21) << f;
    }
    EXPECT_NEAR(gainAt(0.128), -3.4, 0.3);
    EXPECT_NEAR(gainAt(0.15), -45.0, 2.0);
    for (double f : {0.2, 0.25, 0.3, 0.45}) EXPECT_LT(gainAt(f), -75.0) << f;
}

// -------------------------------------------------------------- Opt stage ---

// The Opt stage as the chain runs it, over runs of whole frames (four
// steps): optLevel step by step, then optOverRun, the skewed smoothers and
// optGainRun over the run.
struct OptRig {
    OptState st;
    OptCoefficients k = optCoefficients(0, 0.25f);
    OptChannelSettings cs[2];
    PeakingCore b1 = core(0.004535f, 0.5f), b2 = core(0.125f, 0.1f);
    bool linked = false;
    // Channel 1's output for inputs a (channel 1) and b (channel 2).
    std::vector<float> run(const std::vector<float>& a, const std::vector<float>& b) {
        const OptStepSettings settings = optStepSettings(k, cs, linked);
        const int steps = static_cast<int>(a.size());
        std::vector<float> x(2 * a.size()), level(x.size()), over(x.size()), reduction(x.size()), gain(x.size()),
            y(x.size());
        for (int j = 0; j < steps; ++j) {
            storePair(&x[2 * j], f2(a[j], b[j]));
            storePair(&level[2 * j], optLevel(st, settings, b1, b2, f2(a[j], b[j]), d2(kGuard)));
        }
        optOverRun(st, settings, level.data(), over.data(), 2 * steps);
        SkewedOptSmoothers<D4Pair>(st, settings, d2(kGuard)).run(st, over.data(), reduction.data(), steps / 4);
        optGainRun(settings, reduction.data(), x.data(), gain.data(), y.data(), steps);
        std::vector<float> out(a.size());
        for (int j = 0; j < steps; ++j) out[j] = y[2 * j];
        return out;
    }
};

TEST(OptStage, BypassPassesTheInputExactlyWhileTheDetectorRuns) {
    OptRig rig;
    rig.cs[0] = rig.cs[1] = optChannelSettings(0.0f, 1.0f, 1.0f);  // -60 dB, +15 dB, bypassed
    const std::vector<float> x = sine(20000, 176400.0f, 300.0, 0.5);
    EXPECT_EQ(rig.run(x, x), x);
    EXPECT_GT(lane0(rig.st.reduction), 0.2f);
}

TEST(OptStage, MakeUpAddsFifteenDecibelsBelowThreshold) {
    OptRig rig;
    rig.cs[0] = rig.cs[1] = optChannelSettings(1.0f, 1.0f, 0.0f);  // -10 dB, +15 dB
    const std::vector<float> v(4, 0.001f);
    for (float y : rig.run(v, v)) EXPECT_NEAR(y / 0.001f, std::pow(10.0, 0.75), 1e-5);
    EXPECT_EQ(lane0(rig.st.over), 0.0f);
}

TEST(OptStage, EmphasisStaysWithinZeroAndOne) {
    OptRig rig;
    rig.cs[0] = rig.cs[1] = optChannelSettings(0.0f, 0.0f, 0.0f);
    const std::vector<float> x = sine(30000, 176400.0f, 100.0, 2.0);
    for (std::size_t i = 0; i < x.size(); i += 4) {
        const std::vector<float> a(x.begin() + i, x.begin() + i + 4);
        rig.run(a, i % 3000 < 1500 ? a : std::vector<float>(4, 0.0f));
        for (int c = 0; c < 2; ++c) {
            EXPECT_GE(lane(rig.st.emphasisLevel, c), 0.0f);
            EXPECT_LE(lane(rig.st.emphasisLevel, c), 1.0f);
        }
    }
    EXPECT_GT(lane0(rig.st.emphasisLevel), 0.99f) << "40 dB over drives it to the top";
}

TEST(OptStage, LevelAtTheThresholdIsNotOver) {
    OptRig rig;
    rig.cs[0] = rig.cs[1] = optChannelSettings(1.0f, 0.0f, 0.0f);
    rig.k.detectorEmphasis = 1.0f;  // second band flat
    rig.b1 = core(0.0f, 0.5f);      // first band flat
    // A DC level exactly at the linear threshold.
    rig.run(std::vector<float>(12, rig.cs[0].threshold), std::vector<float>(12, 0.0f));
    EXPECT_EQ(lane0(rig.st.over), 0.0f);
}

TEST(OptStage, EmphasisShortcutMatchesTheLogarithmEverywhere) {
    // Around the threshold and the 10 dB point, for several thresholds, the
    // emphasis input found without the logarithm is the one found with it.
    for (float thr : {0.0f, 0.31f, 0.77f, 1.0f}) {
        const OptChannelSettings ch = optChannelSettings(thr, 0.0f, 0.0f);
        const OptChannelSettings both[2] = {ch, ch};
        const OptStepSettings k = optStepSettings(optCoefficients(0, 0.25f), both, false);
        for (int i = 0; i < 200000; ++i) {
            const float d = ch.threshold * std::pow(10.0f, (i - 20000) * 1e-4f / 20.0f);  // -2 to 18 dB over
            const F2 level = f2(d, d * 1.0001f);
            const F2 quick = emphasisTarget(level, k);
            const F2 exact = emphasisFromOver(decibelsOver(level, k.threshold, k.thresholdDb));
            ASSERT_TRUE(sameBits(lane0(quick), lane0(exact)) && sameBits(lane1(quick), lane1(exact)))
                << thr << " " << d;
        }
    }
}

// -------------------------------------------------------------- Dis stage ---

// The Dis stage as the chain runs it: disBand step by step, disOverRun over
// the run, disSmoothStep step by step, disGainRun over the run.
struct DisRig {
    DisState st;
    DisChannelSettings cs[2];
    PeakingCore band = core(0.004535f, 0.7f);
    // Channel 1's output for `steps` steps of inputs a and b on both channels.
    std::vector<float> run(float a, float b, int steps) {
        const DisStepSettings k = disStepSettings(cs, false);
        std::vector<float> y(2 * static_cast<std::size_t>(steps)), level(y.size()), over(y.size()),
            smooth(y.size()), gain(y.size()), z(y.size());
        for (int j = 0; j < steps; ++j) storePair(&y[2 * j], f2(a, b));
        for (int j = 0; j < steps; ++j) storePair(&level[2 * j], disBand(k, band, loadPair(&y[2 * j])));
        disOverRun(k, level.data(), over.data(), 2 * steps);
        for (int j = 0; j < steps; ++j)
            storePair(&smooth[2 * j], disSmoothStep(st, k, loadPair(&over[2 * j]), d2(kGuard)));
        disGainRun(k, smooth.data(), y.data(), gain.data(), z.data(), steps);
        std::vector<float> out(static_cast<std::size_t>(steps));
        for (int j = 0; j < steps; ++j) out[j] = z[2 * j];
        return out;
    }
    float smooth(int c) const { return lane(st.smooth, c); }
};

TEST(DisStage, KneeSettlesAtTwoAndAHalfDecibelsTenDecibelsOver) {
    DisRig rig;
    // Threshold -10 dB, ratio index 1 (factor 0.5), fastest attack.
    rig.cs[0] = rig.cs[1] =
        disChannelSettings(0.75f, 0.0f, 0.2f, 0.0f, 0.0f, 0.0f, 1.0f, 0.25f);
    ASSERT_EQ(rig.cs[0].ratio, 0.5f);
    const float level = 1.0001f;  // just above 1.0: read as itself, 0 dB
    const float z = rig.run(level, 0.0f, 200000).back();
    EXPECT_NEAR(rig.smooth(0), 2.5f, 0.01f);
    EXPECT_NEAR(db(z / level), -1.25, 0.01);
    EXPECT_LT(rig.smooth(1), 0.01f) << "silence on channel 2 stays below threshold";
}

TEST(DisStage, RatioIndexFiveTakes27DecibelsAt30Over) {
    DisRig rig;
    rig.cs[0] = rig.cs[1] =
        disChannelSettings(0.25f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.25f);  // -30 dB
    ASSERT_EQ(rig.cs[0].ratio, 0.9f);
    const float z = rig.run(1.0001f, 0.0f, 400000).back();
    EXPECT_NEAR(rig.smooth(0), 30.0f, 0.01f);
    EXPECT_NEAR(db(z / 1.0001f), -27.0, 0.01);
}

TEST(DisStage, SideChainBandGainCutsTheLowBandBySixDecibels) {
    for (float filter : {1.0f, 0.0f}) {
        const DisChannelSettings cs = disChannelSettings(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, filter, 0.25f);
        const DisChannelSettings both[2] = {cs, cs};
        const DisStepSettings k = disStepSettings(both, false);
        PeakingCore band = core(0.004535f, 0.7f);
        const double centre = (0.899 * 0.004535 + 0.001) * 22050.0;
        const std::vector<float> x = sine(400000, 176400.0f, centre, 0.3);
        std::vector<float> sc(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) sc[i] = lane0(disBand(k, band, f2(x[i], 0.0f)));
        const double gain = db(rms(sc, 200000, 400000) / rms(x, 200000, 400000));
        if (filter >= 0.5f)
            EXPECT_NEAR(gain, 0.0, 1e-4);
        else
            EXPECT_NEAR(gain, -6.02, 0.1);
    }
}

TEST(DisStage, BypassPassesTheInputExactlyWhileTheDetectorRuns) {
    DisRig rig;
    rig.cs[0] = rig.cs[1] = disChannelSettings(0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.25f);
    for (float v : {0.9f, -0.3f, 0.0123f}) {
        for (float z : rig.run(v, v, 4000)) ASSERT_EQ(z, v);
    }
    EXPECT_GT(rig.smooth(0), 1.0f);
}

TEST(DisStage, SteadyReductionInSilenceBelowTheCurveFloor) {
    // Threshold -40 dB lies below the curve's floor of -30.1 dB.
    DisRig rig;
    rig.cs[0] = rig.cs[1] = disChannelSettings(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.25f);
    rig.run(0.0f, 0.0f, 200000);
    const double over = 20.0 * std::log10(0.03124788) + 40.0;
    EXPECT_NEAR(rig.smooth(0), 20.0 * std::pow(over / 20.0, 3.0), 0.01);
}

TEST(DisTable, AttackAndReleaseTimeConstantsHoldAtEveryRate) {
    const double attackMs[] = {0.044, 0.22, 0.44, 2.3, 4.5, 11.3};
    const double releaseMs[] = {45, 113, 227, 349, 515, 756};
    for (float fs : {44100.0f, 48000.0f, 96000.0f}) {
        const float os = static_cast<float>((44100.0 / fs) * 0.25);
        for (int i = 0; i < 6; ++i) {
            const float v = (i + 0.5f) / 5.5f;
            ASSERT_EQ(disIndex(v), i);
            const DisChannelSettings s = disChannelSettings(1, v, 0, v, 0, 0, 1, os);
            const double tauUp = -1.0 / (4.0 * fs * std::log(s.smoother.up.c)) * 1000.0;
            const double tauDown = -1.0 / (4.0 * fs * std::log(s.smoother.down.c)) * 1000.0;
            EXPECT_NEAR(tauUp / attackMs[i], 1.0, 0.03) << fs << " " << i;
            EXPECT_NEAR(tauDown / releaseMs[i], 1.0, 0.01) << fs << " " << i;
        }
    }
}

// ------------------------------------------------------------- DC blocker ---

TEST(DcBlocker, TimeConstantIs17_4MillisecondsAtEveryRate) {
    for (float fs : {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        const float pole = dcBlockerPole(44100.0f / fs);
        DcBlocker dc;
        int n = 0;
        while (lane0(dc.step(f2(1.0f), f2(pole), d2(kGuard))) > std::exp(-1.0f)) ++n;
        EXPECT_NEAR(n / fs * 1000.0, 17.45, 0.05) << fs;
    }
}

// ------------------------------------------------------------ transformer ---

namespace {
// The transformer of both channels in one mode; channel 1 driven.
struct TrafoRig {
    explicit TrafoRig(int mode) : s(transformerLanes(transformerSettings(mode), transformerSettings(mode))) {}
    Transformer t;
    TransformerLanes s;
    float step(float x) { return lane0(t.step(f2(x, 0.0f), s, d2(kGuard))); }
    float gain() const { return lane0(t.gain); }
};
}  // namespace

TEST(TransformerStage, GainDropsAtOnceTo0_35InMode0And0_92InMode2) {
    const float expected[3] = {0.35f, 0.0f, 0.92f};
    for (int mode : {0, 2}) {
        TrafoRig t(mode);
        for (int i = 0; i < 100; ++i) EXPECT_EQ(t.step(0.4f), 0.4f);
        const float out = t.step(1.6f);  // averaged level jumps to 1.0
        EXPECT_NEAR(t.gain(), expected[mode], 1e-6) << mode;
        EXPECT_EQ(out, 1.6f * t.gain());
        EXPECT_EQ(lane1(t.t.gain), 1.0f) << "the quiet channel keeps its gain";
    }
}

TEST(TransformerStage, RecoversWithItsReleaseAndDropsAgainAtOnce) {
    // Mode 0 releases per output sample with 0.9997: 75.6 ms at 44.1 kHz.
    TrafoRig t(0);
    t.step(2.0f);  // level 1.0
    const float dropped = t.gain();
    int n = 0;
    while (1.0f - t.gain() > (1.0f - dropped) * std::exp(-1.0f)) {
        t.step(0.0f);
        ++n;
    }
    EXPECT_NEAR(n / 44.1, 75.6, 1.0);
    t.step(4.0f);
    EXPECT_LT(t.gain(), dropped) << "a new peak drops the gain at once";
}

TEST(TransformerStage, StaticCurveOfMode2IsFiveToOneAbove0_9) {
    TrafoRig t(2);
    float out = 0.0f;
    for (int i = 0; i < 100; ++i) out = t.step(1.4f);
    EXPECT_NEAR(out, 0.9f + 0.5f * 0.2f, 1e-5);
}

// ------------------------------------------------------------------ noise ---

TEST(NoiseGenerator, DrawsTheLinearCongruentialSequenceFromStateOne) {
    NoiseGenerator n;
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724};
    for (int e : expected) EXPECT_EQ(n.draw(), e);
}

// A frame's noise of both channels, its six draws taken at once, is the
// noise of two single calls, and leaves the state where they do.
TEST(NoiseGenerator, PairIsTwoSingleDraws) {
    NoiseGenerator single, paired;
    for (int i = 0; i < 1000; ++i) {
        const float first = single.next(), second = single.next();
        float a, b;
        paired.nextPair(a, b);
        ASSERT_EQ(a, first) << i;
        ASSERT_EQ(b, second) << i;
        ASSERT_EQ(paired.seed(), single.seed()) << i;
    }
}

TEST(NoiseGenerator, NoiseIsNonNegativeAndAtMostNineMillionths) {
    NoiseGenerator n;
    double sum = 0.0;
    for (int i = 0; i < 100000; ++i) {
        const float v = n.next();
        ASSERT_GE(v, 0.0f);
        ASSERT_LE(v, 9e-6f);
        sum += v;
    }
    EXPECT_NEAR(sum / 100000.0, 4.5e-6, 0.05e-6);
}
