// The engine every format drives: sample-accurate parameter changes, reset,
// what each parameter's value means in words, and the saved state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/BlockSettings.h"
#include "engine/Engine.h"
#include "engine/ParameterText.h"
#include "engine/State.h"
#include "host/DemoSignal.h"

using kvb::Engine;
using kvb::ParameterChange;

namespace {

constexpr int kFrames = 6000;

struct Audio {
    std::vector<float> l, r;
    explicit Audio(std::size_t n = kFrames) : l(n), r(n) {}
    bool operator==(const Audio& o) const {
        return l.size() == o.l.size() && std::memcmp(l.data(), o.l.data(), l.size() * 4) == 0 &&
               std::memcmp(r.data(), o.r.data(), r.size() * 4) == 0;
    }
};

const Audio& demo() {
    static const Audio in = [] {
        Audio a;
        kvbhost::renderDemoSignal(48000.0f, kFrames, a.l.data(), a.r.data());
        return a;
    }();
    return in;
}

// Both stages of both channels working, in mid/side.
void setWorking(Engine& e) {
    const std::pair<int, float> working[] = {{kOptThr1, 0.3f}, {kDisThr1, 0.4f}, {kDisByp1, 0.0f},
                                             {kOptThr2, 0.5f}, {kDisThr2, 0.2f}, {kDisByp2, 0.0f},
                                             {kMSMode, 0.0f},  {kDisGain2, 0.6f}};
    for (const auto& [i, v] : working) e.setParameter(i, v);
}

std::unique_ptr<Engine> newEngine() {
    auto e = std::make_unique<Engine>();
    e->prepare(48000.0, 512);
    setWorking(*e);
    return e;
}

// [from, to) of the demo through `e` in one call, with `changes`.
void run(Engine& e, Audio& out, int from, int to, const std::vector<ParameterChange>& changes = {}) {
    const float* in[2] = {demo().l.data() + from, demo().r.data() + from};
    float* o[2] = {out.l.data() + from, out.r.data() + from};
    e.process(in, o, to - from, changes.data(), static_cast<int>(changes.size()));
}

}  // namespace

TEST(Engine, ParameterChangesApplyAtTheirFramesAsSplitBlocksWould) {
    // Three changes in one block of 4096, one of them at frame 0 and two at
    // the same frame; against the block cut at those frames by hand.
    const std::vector<ParameterChange> changes = {
        {0, kDisRat1, 1.0f}, {1000, kOptMode, 1.0f}, {2999, kDisByp1, 1.0f}, {2999, kMSMode, 1.0f}};
    auto a = newEngine();
    Audio withChanges;
    run(*a, withChanges, 0, 1000);
    run(*a, withChanges, 1000, 5096, changes);
    run(*a, withChanges, 5096, kFrames);

    auto b = newEngine();
    Audio split;
    run(*b, split, 0, 1000);
    b->setParameter(kDisRat1, 1.0f);
    run(*b, split, 1000, 2000);
    b->setParameter(kOptMode, 1.0f);
    run(*b, split, 2000, 3999);
    b->setParameter(kDisByp1, 1.0f);
    b->setParameter(kMSMode, 1.0f);
    run(*b, split, 3999, kFrames);
    EXPECT_TRUE(withChanges == split);
    EXPECT_EQ(a->parameter(kMSMode), 1.0f);

    // The changes made a difference at all.
    auto c = newEngine();
    Audio unchanged;
    run(*c, unchanged, 0, kFrames);
    EXPECT_FALSE(unchanged == split);
}

TEST(Engine, WithoutChangesAnySplitIsOneCall) {
    auto a = newEngine();
    Audio whole;
    run(*a, whole, 0, kFrames);
    auto b = newEngine();
    Audio pieces;
    for (int from = 0, n = 1; from < kFrames; from += n, n = n * 3 % 1031 + 1)
        run(*b, pieces, from, std::min(kFrames, from + n));
    EXPECT_TRUE(whole == pieces);
}

TEST(Engine, ChangesAtOrAfterTheEndApplyAfterTheBlockAndEmptyBlocksTakeThemAll) {
    auto e = newEngine();
    Audio out;
    run(*e, out, 0, 100, {{100, kOptThr1, 0.9f}, {5000, kDisThr1, 0.8f}});
    EXPECT_EQ(e->parameter(kOptThr1), 0.9f);
    EXPECT_EQ(e->parameter(kDisThr1), 0.8f);
    run(*e, out, 100, 100, {{0, kOptGain1, 0.7f}, {3, kOptGain2, 0.6f}});
    EXPECT_EQ(e->parameter(kOptGain1), 0.7f);
    EXPECT_EQ(e->parameter(kOptGain2), 0.6f);
    // Out of order, and an index no parameter has: applied where met, ignored.
    run(*e, out, 100, 200, {{50, kOptThr2, 0.1f}, {10, kOptThr1, 0.2f}, {20, 9999, 1.0f}});
    EXPECT_EQ(e->parameter(kOptThr1), 0.2f);
    EXPECT_EQ(e->parameter(kOptThr2), 0.1f);
}

TEST(Engine, ResetGivesAFreshInstancesBitsAndRestsTheMeters) {
    auto used = newEngine();
    Audio first;
    run(*used, first, 0, kFrames);
    ASSERT_GT(used->meter(0), 0.1f);  // the meters moved
    used->reset();
    EXPECT_EQ(used->meter(0), 0.0f);
    EXPECT_EQ(used->meter(1), 0.0f);
    Audio again;
    run(*used, again, 0, kFrames);
    EXPECT_TRUE(again == first);
    EXPECT_EQ(used->sampleRate(), 48000.0f);
    EXPECT_EQ(used->parameter(kOptThr1), 0.3f);
}

TEST(Engine, UnusableRatesAreIgnored) {
    Engine e;
    for (double rate : {0.0, -48000.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e300, 1e-40})
        EXPECT_FALSE(e.setSampleRate(rate)) << rate;
    EXPECT_EQ(e.sampleRate(), 44100.0f);
    EXPECT_TRUE(e.setSampleRate(96000.0));
    EXPECT_EQ(e.processor().rateRatio(), 44100.0f / 96000.0f);
}

// ---------------------------------------------------------------------------
// Texts

TEST(ParameterText, ContinuousValuesInTheirUnitsBothWays) {
    char text[32];
    kvb::formatValue(kOptThr1, 0.0f, text, sizeof text);
    EXPECT_STREQ(text, "-60.0 dB");
    kvb::formatValue(kDisThr2, 0.75f, text, sizeof text);
    EXPECT_STREQ(text, "-10.0 dB");
    kvb::formatValue(kDisGain1, 0.5f, text, sizeof text);
    EXPECT_STREQ(text, "7.5 dB");
    float v = -1.0f;
    ASSERT_TRUE(kvb::parseValue(kOptThr2, "-35 dB", v));
    EXPECT_EQ(v, 0.5f);
    ASSERT_TRUE(kvb::parseValue(kOptGain1, " 3", v));
    EXPECT_FLOAT_EQ(v, 0.2f);
    ASSERT_TRUE(kvb::parseValue(kDisThr1, "+20 dB", v));  // beyond the range: its end
    EXPECT_EQ(v, 1.0f);
    v = 0.25f;
    for (const char* bad : {"", "dB", "loud", "3 ms", "nan", "1e999"}) {
        EXPECT_FALSE(kvb::parseValue(kOptThr1, bad, v)) << bad;
        EXPECT_EQ(v, 0.25f);
    }
    // Short buffers are cut, not overrun.
    char small[4] = {'x', 'x', 'x', 'x'};
    kvb::formatValue(kOptThr1, 0.0f, small, 3);
    EXPECT_STREQ(small, "-6");
    EXPECT_EQ(small[3], 'x');
}

TEST(ParameterText, EveryPositionIsNamedReadBackAndMeantByTheProcessing) {
    const char* const ratios[6] = {"1.25:1", "2:1", "3:1", "4:1", "5:1", "10:1"};
    for (int i = 0; i < kNumNamedParams; ++i) {
        const int n = kvb::positionCount(i);
        for (int k = 0; k < n; ++k) {
            const float v = kvb::positionValue(i, k);
            EXPECT_EQ(kvb::positionOf(i, v), k) << parameterName(i) << " " << k;
            char text[32];
            kvb::formatValue(i, v, text, sizeof text);
            EXPECT_STREQ(text, kvb::positionLabel(i, k));
            float back = -1.0f;
            ASSERT_TRUE(kvb::parseValue(i, text, back)) << text;
            EXPECT_EQ(back, v) << text;
        }
    }
    for (int k = 0; k < 6; ++k) EXPECT_STREQ(kvb::positionLabel(kDisRat2, k), ratios[k]);
    EXPECT_STREQ(kvb::positionLabel(kDisAtk1, 0), "0.044 ms");
    EXPECT_STREQ(kvb::positionLabel(kDisRls1, 5), "756 ms");
    float v = 0.0f;
    ASSERT_TRUE(kvb::parseValue(kDisAtk1, "2 ms", v));  // nearest: 2.3 ms
    EXPECT_EQ(kvb::positionOf(kDisAtk1, v), 3);
    ASSERT_TRUE(kvb::parseValue(kDisRat1, "4", v));
    EXPECT_EQ(kvb::positionOf(kDisRat1, v), 3);
    ASSERT_TRUE(kvb::parseValue(kOptMode, "fast", v));
    EXPECT_EQ(v, 1.0f);

    // The processing reads the switches as the texts say: the stereo and
    // channel switches are off at 0.5 itself, bypass and filter on.
    float p[kProcessingParams];
    for (int i = 0; i < kProcessingParams; ++i) p[i] = parameterDefault(i);
    p[kMSMode] = 1.0f;
    p[kStereoMode] = 0.5f;
    EXPECT_TRUE(deriveBlockSettings(p, 1.0f, 0.25f).linked);
    EXPECT_EQ(kvb::positionOf(kStereoMode, 0.5f), 0);
    EXPECT_EQ(kvb::positionOf(kOptByp1, 0.5f), 1);
    // A value that is not a number reads as 0, as the processing reads it.
    EXPECT_EQ(kvb::positionOf(kOptMode, std::nanf("")), 0);
}

TEST(ParameterText, HostValuesAreLimitedAndNotANumberIsTheDefault) {
    EXPECT_EQ(kvb::hostValue(kOptThr1, 1.5), 1.0f);
    EXPECT_EQ(kvb::hostValue(kOptThr1, -0.5), 0.0f);
    EXPECT_EQ(kvb::hostValue(kDisAtk1, std::nan("")), parameterDefault(kDisAtk1));
    EXPECT_EQ(kvb::hostValue(kMSMode, std::nan("")), 1.0f);
    EXPECT_EQ(kvb::hostValue(kOptGain1, 0.25), 0.25f);
}

// ---------------------------------------------------------------------------
// The saved state

TEST(State, RoundTripsAndRefusesWhatItCannotReadWithoutTouchingTheTarget) {
    kvb::SavedState s;
    s.program = 7;
    for (int i = 0; i < kNumParams; ++i) s.values[i] = static_cast<float>(i) / 64.0f;
    unsigned char bytes[kvb::kStateBytes + 8] = {};
    kvb::writeState(s, bytes);
    EXPECT_EQ(std::memcmp(bytes, "KVBs\1\0\0\0\7\0\0\0\63\0\0\0", 16), 0);
    kvb::SavedState back;
    ASSERT_EQ(kvb::readState(bytes, kvb::kStateBytes, back), kvb::StateError::None);
    EXPECT_EQ(back.program, 7u);
    EXPECT_EQ(std::memcmp(back.values, s.values, sizeof s.values), 0);
    // Longer input (a later version's fields) is fine.
    EXPECT_EQ(kvb::readState(bytes, sizeof bytes, back), kvb::StateError::None);

    const auto refused = [&](const unsigned char* data, std::size_t size, kvb::StateError why) {
        kvb::SavedState target;
        target.program = 99;
        EXPECT_EQ(kvb::readState(data, size, target), why);
        EXPECT_EQ(target.program, 99u);
        EXPECT_EQ(target.values[0], 0.0f);
    };
    refused(bytes, kvb::kStateBytes - 1, kvb::StateError::Short);
    refused(bytes, 3, kvb::StateError::Short);
    refused(nullptr, 0, kvb::StateError::Short);
    unsigned char other[sizeof bytes];
    std::memcpy(other, bytes, sizeof bytes);
    other[0] = 'X';
    refused(other, kvb::kStateBytes, kvb::StateError::NotOurs);
    std::memcpy(other, bytes, sizeof bytes);
    other[4] = 2;
    refused(other, kvb::kStateBytes, kvb::StateError::Newer);
    std::memcpy(other, bytes, sizeof bytes);
    other[12] = 50;
    refused(other, kvb::kStateBytes, kvb::StateError::Malformed);
    for (float bad : {std::nanf(""), std::numeric_limits<float>::infinity()}) {
        kvb::SavedState withBad = s;
        withBad.values[kNumParams - 1] = bad;
        kvb::writeState(withBad, other);
        refused(other, kvb::kStateBytes, kvb::StateError::NotANumber);
    }
}
