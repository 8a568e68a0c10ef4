// exp, exp10, log and log10.
#include "dsp/math/CrMath.h"
#include "dsp/math/ExpLogKernels.h"
#include "dsp/math/MathCore.h"
#include "dsp/math/MathTables.h"

namespace crm {
namespace detail {
namespace {

using namespace tables;

// ---- exp and exp10 --------------------------------------------------------

// Exact path. r = x·c - k within 2^-97.5 (c in three pieces of 29, 29 and 53
// bits leaves 2^-111 |x·c|, |x·c| < 2^14; x·C1 and x·C2 are exact and x·C3,
// below 2^-48, is rounded), which is 2^-104 of the result once multiplied by
// ln2/64; s = r·ln2/64 as a double-double, exp(s) by its Taylor series to
// s^11 (|s| < 0.0055: the rest is below 2^-119), times 2^(j/64) and 2^m.
// About 40 double-double operations of relative error 2^-104 each: below
// 2^-97 in all.
template <class K>
bool expSlowImpl(float x, float& out) {
    if (expSpecial<K>(x, out)) return true;
    const double xd = x;
    const double zh = xd * K::c1;
    const double t = zh + kShifter;
    const std::uint64_t tb = bitsOf(t);
    const double kd = t - kShifter;
    DD r = twoSum(zh - kd, xd * K::c2);
    r = add(r, xd * K::c3);
    const DD s = mul(r, DD{kLn2Over64Hi, kLn2Over64Lo});
    DD p{kInvFactHi[11], kInvFactLo[11]};
    for (int n = 10; n >= 0; --n) p = add(mul(p, s), DD{kInvFactHi[n], kInvFactLo[n]});
    const unsigned j = static_cast<unsigned>(tb & 63);
    DD y = mul(DD{kExp2Hi[j], kExp2Lo[j]}, p);
    const int m = static_cast<int>(static_cast<std::int64_t>(tb >> 6) -
                                   static_cast<std::int64_t>(bitsOf(kShifter) >> 6));
    const double scale = pow2(m);
    y.hi *= scale;
    y.lo *= scale;
    return roundDoubleDouble(y.hi, y.lo, kSlowRelErr, out);
}

// ---- log and log10 --------------------------------------------------------

// Exact path, in natural logarithms: log1p(r) by its series to r^15
// (|r| <= 2^-8: the rest is below 2^-120 |r|), e·ln2 with ln2 in three
// pieces (the first two products exact) and the table's -log(inv) as a
// double-double. The terms cancel at most to a quarter of the larger one
// (|log x| >= 0.28 when e != 0), so the sum's error stays below 2^-98; log10
// multiplies by 1/ln10 (a double-double) at the end.
DD logSlowDD(std::uint32_t u, int eAdj) {
    const LogParts a = logParts(u, eAdj);
    DD p{kLog1pSeriesHi[14], kLog1pSeriesLo[14]};
    for (int n = 13; n >= 0; --n) p = add(mul(p, a.r), DD{kLog1pSeriesHi[n], kLog1pSeriesLo[n]});
    p = mul(p, a.r);
    DD s = twoSum(a.e * kLn2P1, kLogTable[a.j].logv);
    s = add(s, a.e * kLn2P2);
    s = add(s, kLogLo[a.j] + a.e * kLn2P3);
    return add(s, p);
}

template <bool kTen>
bool logSlowImpl(float x, float& out) {
    std::uint32_t u;
    int eAdj;
    if (logSpecial(x, u, eAdj, out)) return true;
    DD y = logSlowDD(u, eAdj);
    if (kTen) y = mul(y, DD{kInvLn10Hi, kInvLn10Lo});
    return roundDoubleDouble(y.hi, y.lo, kSlowRelErr, out);
}

}  // namespace

bool expFast(float x, float& out) { return expFastImpl<ExpConsts>(x, out); }
bool exp10Fast(float x, float& out) { return expFastImpl<Exp10Consts>(x, out); }
bool expSlow(float x, float& out) { return expSlowImpl<ExpConsts>(x, out); }

bool exp10Slow(float x, float& out) {
    // Integer powers: 10^k is exact for k = 0..10 and a rational number
    // otherwise, as close to a midpoint as its size allows; read them from
    // a table of correctly rounded values.
    if (x >= -45.0f && x <= 38.0f) {
        const int k = static_cast<int>(x);
        if (static_cast<float>(k) == x) {
            out = floatOf(tables::kExp10Int[k + 45]);
            return true;
        }
    }
    return expSlowImpl<Exp10Consts>(x, out);
}

bool logFast(float x, float& out) { return logFastImpl<LogConsts>(x, out); }
bool log10Fast(float x, float& out) { return logFastImpl<Log10Consts>(x, out); }
bool logSlow(float x, float& out) { return logSlowImpl<false>(x, out); }
bool log10Slow(float x, float& out) { return logSlowImpl<true>(x, out); }

}  // namespace detail

float expf(float x) { return detail::fastOrSlow<detail::expFast, detail::expSlow>(x); }
float exp10f(float x) { return detail::fastOrSlow<detail::exp10Fast, detail::exp10Slow>(x); }
float logf(float x) { return detail::fastOrSlow<detail::logFast, detail::logSlow>(x); }
float log10f(float x) { return detail::fastOrSlow<detail::log10Fast, detail::log10Slow>(x); }

}  // namespace crm
