// Our float functions against MPFR on the inputs where faults hide (powers of
// two, exactly representable results, every range boundary of the functions
// and of their implementation, the inputs the fast path cannot decide) and on
// a few million random ones; and the batch forms on every instruction set
// against the scalar functions. The exhaustive check of all 2^32 inputs is
// scripts/check-math.sh.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "dsp/math/CrMath.h"
#include "dsp/math/Sse2Lanes.h"
#include "dsp/math/MathCore.h"
#include "support/MpfrFloat.h"

namespace {

using crm::detail::bitsOf;
using crm::detail::floatOf;

struct Function {
    const char* name;
    float (*ours)(float);
    float (*reference)(float);
    bool (*fast)(float, float&);
};

const Function kFunctions[] = {
    {"log", crm::logf, mpfr_float::log, crm::detail::logFast},
    {"log10", crm::log10f, mpfr_float::log10, crm::detail::log10Fast},
    {"exp", crm::expf, mpfr_float::exp, crm::detail::expFast},
    {"exp10", crm::exp10f, mpfr_float::exp10, crm::detail::exp10Fast},
    {"cos", crm::cosf, mpfr_float::cos, crm::detail::cosFast},
    {"tan", crm::tanf, mpfr_float::tan, crm::detail::tanFast},
};

bool same(float a, float b) { return (a != a && b != b) || bitsOf(a) == bitsOf(b); }

// Every input against MPFR; the first few differences are reported.
void expectCorrectlyRounded(const Function& f, const std::vector<float>& inputs) {
    int bad = 0;
    for (const float x : inputs) {
        const float got = f.ours(x), want = f.reference(x);
        if (!same(got, want) && ++bad <= 5) {
            ADD_FAILURE() << f.name << "(" << std::hexfloat << x << " = 0x" << std::hex << bitsOf(x)
                          << ") = " << std::hexfloat << got << ", MPFR " << want;
        }
    }
    EXPECT_EQ(bad, 0) << f.name << ": " << bad << " of " << inputs.size() << " inputs wrong";
}

// A value and its 2·span nearest floats (the same sign), and their negatives.
void addNeighbours(std::vector<float>& v, float x, int span) {
    const std::uint32_t b = bitsOf(x) & 0x7fffffffu;
    for (int d = -span; d <= span; ++d) {
        const std::int64_t n = static_cast<std::int64_t>(b) + d;
        if (n < 0 || n > 0x7f800000) continue;
        const float y = floatOf(static_cast<std::uint32_t>(n));
        v.push_back(y);
        v.push_back(-y);
    }
}

TEST(CrMath, AllPowersOfTwo) {
    std::vector<float> inputs;
    for (std::uint32_t b = 1; b < 0x00800000u; b <<= 1) inputs.push_back(floatOf(b));  // subnormal
    for (std::uint32_t e = 1; e < 255; ++e) inputs.push_back(floatOf(e << 23));
    const std::size_t n = inputs.size();
    for (std::size_t i = 0; i < n; ++i) inputs.push_back(-inputs[i]);
    for (const Function& f : kFunctions) expectCorrectlyRounded(f, inputs);
}

TEST(CrMath, ExactResults) {
    float power = 1.0f;
    for (int k = 0; k <= 10; ++k) {
        EXPECT_EQ(crm::exp10f(static_cast<float>(k)), power) << "10^" << k;
        EXPECT_EQ(crm::log10f(power), static_cast<float>(k)) << "log10(10^" << k << ")";
        power *= 10.0f;  // exact up to 10^10
    }
    EXPECT_EQ(bitsOf(crm::logf(1.0f)), 0u);
    EXPECT_EQ(bitsOf(crm::log10f(1.0f)), 0u);
    for (const float zero : {0.0f, -0.0f}) {
        EXPECT_EQ(crm::expf(zero), 1.0f);
        EXPECT_EQ(crm::exp10f(zero), 1.0f);
        EXPECT_EQ(crm::cosf(zero), 1.0f);
        EXPECT_EQ(bitsOf(crm::tanf(zero)), bitsOf(zero));
    }
    // Every integer power of ten within the float range, 10^-45 to 10^38:
    // exact, or rational and rounded as such.
    std::vector<float> integers;
    for (int k = -46; k <= 39; ++k) integers.push_back(static_cast<float>(k));
    expectCorrectlyRounded(kFunctions[3], integers);
}

TEST(CrMath, SpecialValues) {
    const float inf = floatOf(0x7f800000u);
    for (const Function& f : kFunctions) {
        for (const std::uint32_t nan : {0x7fc00000u, 0x7f800001u, 0xffc00000u, 0xffbfffffu}) {
            const float y = f.ours(floatOf(nan));
            EXPECT_NE(y, y) << f.name << " of NaN 0x" << std::hex << nan;
        }
    }
    for (const float x : {0.0f, -0.0f}) {
        EXPECT_EQ(crm::logf(x), -inf);
        EXPECT_EQ(crm::log10f(x), -inf);
    }
    EXPECT_EQ(crm::logf(inf), inf);
    EXPECT_EQ(crm::log10f(inf), inf);
    for (const float x : {-inf, -1.0f, -1e-45f, -3.4e38f}) {
        EXPECT_NE(crm::logf(x), crm::logf(x)) << x;
        EXPECT_NE(crm::log10f(x), crm::log10f(x)) << x;
    }
    EXPECT_EQ(bitsOf(crm::expf(-inf)), 0u);
    EXPECT_EQ(bitsOf(crm::exp10f(-inf)), 0u);
    EXPECT_EQ(crm::expf(inf), inf);
    EXPECT_EQ(crm::exp10f(inf), inf);
    for (const float x : {inf, -inf}) {
        EXPECT_NE(crm::cosf(x), crm::cosf(x));
        EXPECT_NE(crm::tanf(x), crm::tanf(x));
    }
}

// The edges of each function's range and of its implementation's cases,
// with their neighbours, both signs.
TEST(CrMath, BoundariesAndTheirNeighbours) {
    std::vector<float> common;
    for (const float x : {0.0f, 1e-45f, 2.8e-45f, 1.1754942e-38f /* largest subnormal */,
                          1.17549435e-38f /* FLT_MIN */, 3.4028235e38f, 1.0f})
        addNeighbours(common, x, 16);
    common.push_back(floatOf(0x7f800000u));
    common.push_back(floatOf(0xff800000u));
    const std::vector<float> own[] = {
        // log, log10: around 1, the reduction's interval edges near 0.75 and
        // 1.5 (bits(x) - 0x3f3f8000 changing its exponent), 10^k.
        {1.0f, 0.748046875f, 0.75f, 1.49609375f, 1.5f, 2.0f, 0.5f},
        {1.0f, 10.0f, 100.0f, 1e10f, 0.1f, 0.748046875f, 1.49609375f},
        // exp: overflow (88.72284), subnormal results (below -87.33654),
        // underflow to the smallest subnormal and to zero (-103.27893,
        // -103.97208), the bracketing switch (-87), the cutoffs for
        // special results (104) and for 1 (2^-26), the midpoints next to 1
        // (2^-24, 2^-25).
        {88.72284f, -87.33654f, -87.0f, -103.27893f, -103.97208f, 104.0f, 1.4901161e-8f, 5.9604645e-8f,
         2.9802322e-8f},
        // exp10: overflow (38.53184), subnormal results (-37.92978), the
        // smallest subnormal and zero (-44.85346, -45.15449), -37.5, 46 and
        // the cutoff for 1 (2^-27).
        {38.53184f, -37.92978f, -37.5f, -44.85346f, -45.15449f, 46.0f, 7.4505806e-9f, 2.5e-8f},
        // cos, tan: the 2^-12 shortcut, pi/4 (the reduction's first case),
        // pi/2, 2^20 (Cody-Waite to Payne-Hanek), large arguments.
        {2.4414062e-4f, 0.78539819f, 1.5707964f, 3.1415927f, 1048576.0f, 1e30f},
        {2.4414062e-4f, 0.78539819f, 1.5707964f, 4.712389f, 1048576.0f, 1e30f},
    };
    for (std::size_t i = 0; i < 6; ++i) {
        std::vector<float> inputs = common;
        for (const float x : own[i]) addNeighbours(inputs, x, 64);
        expectCorrectlyRounded(kFunctions[i], inputs);
    }
}

// Inputs whose value lies so near a midpoint between two floats that the
// fast path hands them to the exact path, from the exhaustive check's list
// (scripts/check-math.sh --show-slow 40; refresh them from it when a fast
// path changes). Among them exp(2^-24), exp(-2^-25) and cos(2^-12), within
// 2^-49 of a midpoint next to 1.
const std::vector<std::uint32_t> kExactPathInputs[] = {
    {0x022ae487, 0x064cb44b, 0x07c060fa, 0x0f61ff63, 0x11b257e3, 0x145cb6d4, 0x158772eb, 0x195a8a50,
     0x1a21db87, 0x1ab7c313, 0x1b81ab52, 0x1f116ab8},
    {0x0197b60d, 0x02786410, 0x056a09b8, 0x0859817b, 0x0ab667dd, 0x0e10c607, 0x120b93dc, 0x13b57a47,
     0x18b64096, 0x1c65e3e3, 0x1e76d037, 0x21510e0f},
    {0x337fffff, 0x33800000, 0x34dffffd, 0x35f7fff1, 0x36fdffc1, 0x377eff81, 0x38e69cc1, 0x39e5bb1d,
     0x4001b249, 0x40315b33, 0xb3000000, 0xbbf0edf1},
    {0x32de5bd8, 0x340af966, 0x34d07615, 0x35b1311f, 0x3772c43e, 0x3a01e531, 0x3aa8f36a, 0x417d7f60,
     0xb25e5bd9, 0xb326c4e3, 0xb7d171cd, 0xbaac4a50, 0xbac4c65c, 0xbd6181f7, 0xbf230886, 0xc126f431},
    {0x39800000, 0x3b434e12, 0x3e5fa70e, 0x4010a4bf, 0x424790ce, 0x474d265c, 0x4986afee, 0x4c46d929,
     0x4ea2216b, 0x51abf5aa, 0x543f6e04, 0x59443c0a},
    {0x39b89ba2, 0x408174dd, 0x43b055d2, 0x48652066, 0x4c0a82a3, 0x505b24ec, 0x5be68bcd, 0x5dc574a6,
     0x613d28d9, 0x64e8e6f3, 0x6a70270c, 0x7714b423},
};

TEST(CrMath, InputsForTheExactPath) {
    for (std::size_t i = 0; i < 6; ++i) {
        const Function& f = kFunctions[i];
        std::vector<float> inputs;
        for (const std::uint32_t b : kExactPathInputs[i]) {
            const float x = floatOf(b);
            float y;
            EXPECT_FALSE(f.fast(x, y)) << f.name << "(0x" << std::hex << b
                                       << ") no longer takes the exact path: refresh the list";
            inputs.push_back(x);
        }
        expectCorrectlyRounded(f, inputs);
    }
}

// 2^18 inputs per function of uniformly random bits, and as many spread over
// the range where the result is neither trivial nor special.
TEST(CrMath, RandomInputs) {
    const float ranges[][2] = {{0.0f, 0.0f}, {0.0f, 0.0f}, {-104.0f, 89.0f},
                               {-46.0f, 39.0f}, {-100.0f, 100.0f}, {-100.0f, 100.0f}};
    std::mt19937 rng(20240611);
    for (std::size_t i = 0; i < 6; ++i) {
        std::vector<float> inputs;
        for (int k = 0; k < (1 << 18); ++k) {
            inputs.push_back(floatOf(static_cast<std::uint32_t>(rng())));
            float x;
            if (ranges[i][0] == ranges[i][1]) {
                // log, log10: every positive float exponent alike.
                x = floatOf(static_cast<std::uint32_t>(rng()) % 0x7f800000u);
            } else {
                const float u = static_cast<float>(rng() >> 8) * 0x1p-24f;
                x = ranges[i][0] + (ranges[i][1] - ranges[i][0]) * u;
            }
            inputs.push_back(x);
        }
        expectCorrectlyRounded(kFunctions[i], inputs);
    }
}

// ---- batch forms

// Runs of levels (1e-4 to 4), of decibels × 0.05 (-3 to 0.75) and of random
// bit patterns, the exact-path inputs of log10 and exp10 among the first two,
// then the special values.
std::vector<float> batchInputs() {
    std::vector<float> v;
    std::mt19937 rng(7);
    auto unit = [&rng] { return static_cast<float>(rng() >> 8) * 0x1p-24f; };
    for (int k = 0; k < 3000; ++k) {
        v.push_back(1e-4f + 4.0f * unit());
        if (k % 200 == 100) v.push_back(floatOf(kExactPathInputs[1][(k / 200) % kExactPathInputs[1].size()]));
    }
    for (int k = 0; k < 3000; ++k) {
        v.push_back(-3.0f + 3.75f * unit());
        if (k % 200 == 100) v.push_back(floatOf(kExactPathInputs[3][(k / 200) % kExactPathInputs[3].size()]));
    }
    for (int k = 0; k < 3000; ++k) v.push_back(floatOf(static_cast<std::uint32_t>(rng())));
    for (const float x : {0.0f, -0.0f, 1.0f, 10.0f, 1e-45f, -1e-45f, 1e-40f, 3.4028235e38f, -3.4028235e38f,
                          46.0f, -46.0f, 46.000004f, -46.000004f, 38.53184f, -37.92978f, -44.85346f,
                          -45.15449f, -37.5f, 100.0f, -100.0f, 1e-9f, -1e-9f, 7.4505806e-9f, -7.4505806e-9f,
                          7.450581e-9f, 1.1754942e-38f, 3e-39f})
        v.push_back(x);
    for (const std::uint32_t b : {0x7f800000u, 0xff800000u, 0x7fc00000u, 0x7f800001u, 0xffc00000u, 0xff800001u})
        v.push_back(floatOf(b));
    // Every input (of all 2^32) on which a batch lane's own evaluation, one
    // polynomial degree lower than the scalar path's, rounds the wrong way:
    // its rounding test must hand these to the scalar function. log10, then
    // exp10.
    for (const std::uint32_t b : {0x0efeee7au, 0x120b93dcu, 0x13ae78d3u, 0x3e34fc89u, 0xba2b0359u, 0xbac4c65cu,
                                  0xbd6181f7u, 0xbe65ffbcu, 0xbf7239ecu, 0xc126f431u})
        v.push_back(floatOf(b));
    return v;
}

// Each instruction set's forms against the scalar function, bit for bit, at
// every length up to 70 (no multiple of the vector width left out) over
// all the inputs, out of place and in place, nothing written beyond n; and
// the forms chosen at load time.
TEST(CrMathBatch, EveryInstructionSetGivesTheScalarBits) {
    const std::vector<float> inputs = batchInputs();
    struct Form {
        const char* name;
        float (*scalar)(float);
        void (*batch)(crm::Isa, const float*, float*, int);
    };
    const Form forms[] = {{"log10", crm::log10f, crm::log10Batch}, {"exp10", crm::exp10f, crm::exp10Batch}};
    int tested = 0;
    for (const crm::Isa isa : {crm::Isa::Portable, crm::Isa::Sse2, crm::Isa::Avx2}) {
        if (!crm::isaAvailable(isa)) continue;
        ++tested;
        for (const Form& form : forms) {
            int bad = 0;
            std::vector<float> out(80), inPlace(80);
            // Consecutive stretches of the inputs, 0, 1, …, 70, 0, 1, … long.
            int n = 0;
            for (std::size_t start = 0; start + n <= inputs.size(); start += n, n = (n + 1) % 71) {
                const float* in = inputs.data() + start;
                std::fill(out.begin(), out.end(), 12345.0f);
                form.batch(isa, in, out.data(), n);
                std::copy(in, in + n, inPlace.begin());
                form.batch(isa, inPlace.data(), inPlace.data(), n);
                for (int i = 0; i < n; ++i) {
                    const std::uint32_t want = bitsOf(form.scalar(in[i]));
                    if ((bitsOf(out[i]) != want || bitsOf(inPlace[i]) != want) && ++bad <= 5) {
                        ADD_FAILURE() << crm::isaName(isa) << " " << form.name << "(0x" << std::hex
                                      << bitsOf(in[i]) << "): 0x" << bitsOf(out[i]) << ", in place 0x"
                                      << bitsOf(inPlace[i]) << ", scalar 0x" << want;
                    }
                }
                for (int i = n; i < 80; ++i) ASSERT_EQ(out[i], 12345.0f) << "written beyond n";
            }
            EXPECT_EQ(bad, 0) << crm::isaName(isa) << " " << form.name;
        }
    }
    EXPECT_GE(tested, 1);
    // The forms the chain calls: the instruction set chosen at load time.
    EXPECT_TRUE(crm::isaAvailable(crm::batchIsa()));
    std::vector<float> viaLog10(inputs.size()), viaExp10(inputs.size());
    crm::log10Batch(inputs.data(), viaLog10.data(), static_cast<int>(inputs.size()));
    crm::exp10Batch(inputs.data(), viaExp10.data(), static_cast<int>(inputs.size()));
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        ASSERT_EQ(bitsOf(viaLog10[i]), bitsOf(crm::log10f(inputs[i]))) << std::hexfloat << inputs[i];
        ASSERT_EQ(bitsOf(viaExp10[i]), bitsOf(crm::exp10f(inputs[i]))) << std::hexfloat << inputs[i];
    }
}


#if CRM_X86
// The pair form, which the chain calls inside a recursion, on the same
// inputs: each input in either lane, beside a neighbour.
TEST(CrMathBatch, PairFormGivesTheScalarBits) {
    const std::vector<float> inputs = batchInputs();
    int bad = 0;
    for (std::size_t i = 0; i + 1 < inputs.size(); ++i) {
        alignas(16) float out[4];
        _mm_store_ps(out, crm::log10Pair(_mm_setr_ps(inputs[i], inputs[i + 1], 5.0f, -1.0f)));
        for (int l = 0; l < 2; ++l) {
            const std::uint32_t want = bitsOf(crm::log10f(inputs[i + l]));
            if (bitsOf(out[l]) != want && ++bad <= 5)
                ADD_FAILURE() << "log10Pair lane " << l << " (0x" << std::hex << bitsOf(inputs[i + l]) << "): 0x"
                              << bitsOf(out[l]) << ", scalar 0x" << want;
        }
    }
    EXPECT_EQ(bad, 0);
}
#endif

}  // namespace
