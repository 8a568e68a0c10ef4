// The fast paths of exp, exp10, log and log10, and the argument handling
// their exact paths share. Included by ExpLog.cpp only; the batch forms
// follow the same steps lane by lane.
#pragma once

#include "dsp/math/MathCore.h"
#include "dsp/math/MathTables.h"

namespace crm::detail {

// ---- exp and exp10 --------------------------------------------------------
//
// f(x) = 2^(x·c/64) with c = 64/ln2 or 64·log2(10). z = x·c = k + r, k the
// integer nearest x·C1, k = 64m + j: f(x) = 2^m · 2^(j/64) · 2^(r/64).
//
// Reduction: C1 has 29 bits, so x·C1 is exact and so is x·C1 - k (|x·C1| <
// 2^14). r = (x·C1 - k) + x·CRest, |r| <= 1/2 + 2^-12; its error is the
// final rounding (2^-54, r < 1) plus that of x·CRest and of CRest (2^-70 each),
// 2^-54 + 2^-69 in z, a relative error of 2^-60.4 in the result (times ln2/64).
//
// Evaluation: q = r·(c0 + c1 r + … + c4 r^4) ~ 2^(r/64) - 1 (|q| < 0.0055,
// polynomial error 2^-59.2; Estrin's scheme, for a shorter chain of
// dependent operations), y = s + s·q with s = 2^(j/64)·2^m from the table
// (rounded: 2^-53) and an exact exponent shift. The rounding errors of q are
// relative to q (two of 2^-53 and smaller ones), 2^-59.4 of y; s·q adds
// 2^-60.5 and the final sum 2^-53. Total relative error e < 2^-51.9 (the
// two roundings of 2^-53 and 2^-57.3 of the rest).
//
// Rounding test: e·|y| < 2^1.2 units of y's last place; d = 8 leaves a
// margin of 3.5. Subnormal results are bracketed with E = 2^-50 (>= e +
// 2^-53, covering the rounding of y·(1 ± E)).
constexpr std::uint64_t kExpUlps = 8;
constexpr double kExpBracket = 0x1p-50;

struct ExpConsts {
    static constexpr double c1 = tables::kExpC1, c2 = tables::kExpC2, c3 = tables::kExpC3,
                            cRest = tables::kExpCRest;
    // |x| beyond this: overflow or underflow for certain; e^-104 < 2^-150.
    static constexpr float kLimit = 104.0f;
    static constexpr std::uint32_t kLimitBits = 0x42d00000u;
    // |x| below 2^-26: e^x lies within 2^-25 of 1 and rounds to 1.
    static constexpr std::uint32_t kTinyBits = 0x32800000u;
    // Below this the result is subnormal (ln 2^-126 = -87.34).
    static constexpr float kSubnormalBelow = -87.0f;
};
struct Exp10Consts {
    static constexpr double c1 = tables::kExp10C1, c2 = tables::kExp10C2, c3 = tables::kExp10C3,
                            cRest = tables::kExp10CRest;
    static constexpr float kLimit = 46.0f;  // 10^-46 < 2^-150
    static constexpr std::uint32_t kLimitBits = 0x42380000u;
    // |x| below 2^-27: |x·ln10| < 2^-25.8, and 10^x rounds to 1.
    static constexpr std::uint32_t kTinyBits = 0x32000000u;
    static constexpr float kSubnormalBelow = -37.5f;  // log10 2^-126 = -37.93
};

// Tiny |x| (zeros and subnormals included, which no arithmetic touches): 1.
// NaN, and |x| beyond the limit: +inf or +0.
template <class K>
inline bool expSpecial(float x, float& out) {
    const std::uint32_t au = bitsOf(x) & 0x7fffffffu;
    if (CRM_LIKELY(au - K::kTinyBits <= K::kLimitBits - K::kTinyBits)) return false;
    if (au < K::kTinyBits)
        out = 1.0f;
    else if (au > 0x7f800000u)
        out = x + x;
    else
        out = (bitsOf(x) >> 31) ? 0.0f : floatOf(0x7f800000u);
    return true;
}

template <class K>
inline bool expFastImpl(float x, float& out) {
    using namespace tables;
    if (expSpecial<K>(x, out)) return true;
    const double xd = x;
    const double zh = xd * K::c1;
    const double t = zh + kShifter;
    const std::uint64_t tb = bitsOf(t);
    const double kd = t - kShifter;
    const double r = (zh - kd) + xd * K::cRest;
    // 2^(j/64)·2^m: m << 52 added to the exponent field. tb holds
    // bits(kShifter) + k, a multiple of 64 plus k.
    const double s = doubleOf(bitsOf(kExp2Hi[tb & 63]) + ((tb >> 6) << 52));
    const double r2 = r * r;
    const double q = r * ((kExpPoly[0] + r * kExpPoly[1]) +
                          r2 * ((kExpPoly[2] + r * kExpPoly[3]) + r2 * kExpPoly[4]));
    const double y = s + s * q;
    if (CRM_LIKELY(x >= K::kSubnormalBelow)) {
        if (!roundsSafely(y, kExpUlps)) return false;
        out = static_cast<float>(y);
        return true;
    }
    const float lo = static_cast<float>(y * (1.0 - kExpBracket));
    const float hi = static_cast<float>(y * (1.0 + kExpBracket));
    out = lo;
    return lo == hi;
}

// ---- log and log10 --------------------------------------------------------
//
// x = 2^e·m with m in [0.75 - 2^-9, 1.5 - 2^-8): the exponent and mantissa
// are taken from bits(x) - kLogOffset, which also indexes 128 intervals of m
// (2^-8 wide below 1, 2^-7 above; the one holding 1 is centred on it). inv
// (24 bits) is near the reciprocal of the interval's centre, so m·inv is
// exact and r = m·inv - 1 (|r| <= 2^-8) too; log x = e·ln2 - log(inv) +
// log1p(r), and in the interval around 1 inv = 1 and log(inv) = 0: there the
// result is log1p(r) alone, with no cancellation.
//
// Errors of y = (e·L1 + T[j]) + (p(r) + e·L2), L1 + L2 = ln2 (or log10 2),
// L1 of 45 bits (e·L1 exact), T[j] = -log(inv) rounded:
//   e != 0: |log x| >= 0.288 (x outside [0.75, 1.5)) and |log x| >= 0.28|e|:
//     T[j] 2^-54·0.41, the first sum 2^-53·(|y| + 2^-8), p(r) (|p| <= 2^-8,
//     relative error 2^-51.7: polynomial 2^-54, two roundings) and the final
//     sum 2^-53·|y|: below 2^-51.4 relative.
//   e == 0, interval j != centre: |log x| >= 2^-9, |T[j]| <= 2.002·|y| and
//     |p| <= 1.004·|y| (at the intervals' ends); relative to the result:
//     T[j] 2^-52, p 2^-51.4 (the polynomial and its three roundings), the
//     final sum 2^-53: below 2^-50.4.
//   e == 0, centre: y = p(r): 2^-51.7.
// For log10 the polynomial's error is 2^-54 (its first coefficient, 1/ln10,
// is rounded) and the same bounds hold. e < 2^-50.4 in all cases: e·|y| <
// 2^2.6 units of y's last place; d = 16 leaves a margin of 2.6. y is never
// subnormal (|log x| >= 2^-25 for x != 1) and 0 only for x = 1, exactly.
constexpr std::uint64_t kLogUlps = 16;

struct LogConsts {
    static constexpr const tables::InvLog* table = tables::kLogTable;
    static constexpr const double* poly = tables::kLogPoly;
    static constexpr double l1 = tables::kLn2P1, l2 = tables::kLn2P2 + tables::kLn2P3;
};
struct Log10Consts {
    static constexpr const tables::InvLog* table = tables::kLog10Table;
    static constexpr const double* poly = tables::kLog10Poly;
    static constexpr double l1 = tables::kLog10Of2P1, l2 = tables::kLog10Of2P2;
};

// Zero, negative, infinite and NaN inputs give their result. A subnormal
// one, u·2^-149, is replaced by the float u (exact: u < 2^23) with eAdj =
// -149, without arithmetic on the subnormal.
inline bool logSpecial(float x, std::uint32_t& u, int& eAdj, float& out) {
    u = bitsOf(x);
    eAdj = 0;
    if (CRM_LIKELY(u - 0x00800000u < 0x7f000000u)) return false;
    if (x != x) {
        out = x + x;
    } else if ((u & 0x7fffffffu) == 0) {
        out = -floatOf(0x7f800000u);
    } else if (u & 0x80000000u) {
        out = floatOf(0x7fc00000u);
    } else if (u == 0x7f800000u) {
        out = x;
    } else {
        u = bitsOf(static_cast<float>(static_cast<std::int32_t>(u)));
        eAdj = -149;
        return false;
    }
    return true;
}

struct LogParts {
    double e;  // the exponent, as a double
    unsigned j;
    double r;  // m·inv[j] - 1, exact
};
inline LogParts logParts(std::uint32_t u, int eAdj) {
    // u + (2^31 - kLogOffset) stays within 32 bits for every positive
    // normal u; the exponent is then its top bits less 256.
    const int e = static_cast<int>((u + (0x80000000u - tables::kLogOffset)) >> 23) - 256;
    const unsigned j = ((u - tables::kLogOffset) >> 16) & 127u;
    const float m = floatOf(u - (static_cast<std::uint32_t>(e) << 23));
    const double r = static_cast<double>(m) * tables::kLogTable[j].inv - 1.0;
    return {static_cast<double>(e + eAdj), j, r};
}

template <class K>
inline bool logFastImpl(float x, float& out) {
    std::uint32_t u;
    int eAdj;
    if (logSpecial(x, u, eAdj, out)) return true;
    const LogParts a = logParts(u, eAdj);
    const double* c = K::poly;
    const double r = a.r;
    const double r2 = r * r;
    const double p = r * ((c[0] + r * c[1]) + r2 * ((c[2] + r * c[3]) + r2 * (c[4] + r * c[5])));
    const double y = (a.e * K::l1 + K::table[a.j].logv) + (p + a.e * K::l2);
    if (!roundsSafely(y, kLogUlps)) return false;
    out = static_cast<float>(y);
    return true;
}

}  // namespace crm::detail
