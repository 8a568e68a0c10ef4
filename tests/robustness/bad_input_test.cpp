// What audio a host should never send gets: a sample that is not finite is
// read as 0.0 before it reaches any state, so the instance carries on exactly
// as if the host had sent silence there; a finite one far beyond full scale
// is limited before it can overflow any sum.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "RobustSupport.h"

using namespace vst;
using robust::Instance;

namespace {

constexpr int kBlock = 256;
constexpr int kBlocks = 200;

// Runs both instances through the same blocks; `spoil` may change what the
// first one gets. Answers the first block from which the outputs differ, or
// -1 when they are bit for bit the same all through.
template <typename Spoil>
int firstDifference(const Instance& spoiled, const Instance& clean, Spoil spoil, bool* finite) {
    robust::Programme programme(5);
    std::vector<float> l(kBlock), r(kBlock), l2(kBlock), r2(kBlock);
    std::vector<float> a(kBlock), b(kBlock), c(kBlock), d(kBlock);
    *finite = true;
    for (int blk = 0; blk < kBlocks; ++blk) {
        programme.fill(l.data(), r.data(), kBlock, 48000.0f);
        l2 = l;
        r2 = r;
        spoil(blk, l2, r2, l, r);
        float* in1[2] = {l2.data(), r2.data()};
        float* out1[2] = {a.data(), b.data()};
        float* in2[2] = {l.data(), r.data()};
        float* out2[2] = {c.data(), d.data()};
        spoiled.process(in1, out1, kBlock);
        clean.process(in2, out2, kBlock);
        for (int i = 0; i < kBlock; ++i) *finite = *finite && std::isfinite(a[i]) && std::isfinite(b[i]);
        if (std::memcmp(a.data(), c.data(), sizeof(float) * kBlock) != 0 ||
            std::memcmp(b.data(), d.data(), sizeof(float) * kBlock) != 0)
            return blk;
    }
    return -1;
}

void configure(const Instance& fx) {
    // Mid/side, both stages working hard with make-up gain.
    fx.setParameter(kMSMode, 0.0f);
    fx.setParameter(kOptThr1, 0.2f);
    fx.setParameter(kOptGain1, 1.0f);
    fx.setParameter(kDisByp1, 0.0f);
    fx.setParameter(kDisThr1, 0.3f);
    fx.setParameter(kDisGain1, 1.0f);
}

}  // namespace

TEST(BadInput, NonFiniteSamplesAreReadAsSilence) {
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), inf, -inf,
                              -std::numeric_limits<float>::quiet_NaN()};
    for (int mode = 0; mode < 2; ++mode) {
        Instance spoiled, clean;
        ASSERT_TRUE(spoiled && clean);
        if (mode == 1) {
            configure(spoiled);
            configure(clean);
        }
        bool finite = false;
        const int diff = firstDifference(
            spoiled, clean,
            [&](int blk, std::vector<float>& l2, std::vector<float>& r2, std::vector<float>& l,
                std::vector<float>& r) {
                if (blk % 7 != 3) return;
                // The spoiled instance gets a special where the clean one gets 0.0;
                // a whole block of them now and then.
                const int n = blk % 21 == 3 ? kBlock : 5;
                for (int k = 0; k < n; ++k) {
                    const int i = (k * 37 + blk) % kBlock;
                    l2[static_cast<std::size_t>(i)] = specials[(k + blk) % 4];
                    r2[static_cast<std::size_t>((i * 3) % kBlock)] = specials[(k + 1) % 4];
                    l[static_cast<std::size_t>(i)] = 0.0f;
                    r[static_cast<std::size_t>((i * 3) % kBlock)] = 0.0f;
                }
            },
            &finite);
        EXPECT_EQ(diff, -1) << "settings " << mode << ": outputs part from block " << diff;
        EXPECT_TRUE(finite);
    }
}

// A finite sample near the largest float would overflow the chain's sums and
// leave its state not finite for good, every later output NaN.
TEST(BadInput, AHugeFiniteSampleDoesNotPoisonTheChain) {
    Instance fx;
    ASSERT_TRUE(fx);
    std::vector<float> l(kBlock), r(kBlock), a(kBlock), b(kBlock);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {a.data(), b.data()};
    int nonFiniteAtEnd = 0;
    for (int blk = 0; blk < 400; ++blk) {
        for (int i = 0; i < kBlock; ++i) l[i] = r[i] = 0.5f * std::sin(0.02f * static_cast<float>(blk * kBlock + i));
        if (blk == 2) l[100] = 3e38f;
        if (blk == 3) r[7] = -std::numeric_limits<float>::max();
        fx.process(in, out, kBlock);
        if (blk >= 390)
            for (int i = 0; i < kBlock; ++i) nonFiniteAtEnd += !std::isfinite(a[i]) + !std::isfinite(b[i]);
    }
    EXPECT_EQ(nonFiniteAtEnd, 0);
    EXPECT_TRUE(std::isfinite(fx.meter(0)));
}
