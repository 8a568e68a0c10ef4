// cos and tan.
//
// Argument reduction: x = k·pi/2 + r, |r| <= pi/4 (+2^-32), q = k mod 4.
//  - |x| < pi/4: r = x.
//  - |x| < 2^20 (Cody-Waite): k from x·RN(2/pi); pi/2 = P1 + P2 + P3 with P1,
//    P2 of 33 bits, so k·P1 and k·P2 are exact (k < 2^20), x - k·P1 is exact
//    (Sterbenz: the two are within a factor 1.5), and two-sum gives
//    x - k·P1 - k·P2 exactly as rh + rl. r = rh + (rl - k·P3) then has an
//    absolute error below 2^-96.5 (the rest of pi/2 beyond P3, 2^-118.3 k,
//    and the roundings of k·P3 and rl - k·P3) besides its final rounding
//    (2^-53 |r|). The fast path requires |r| >= 2^-40, so r's relative error
//    is below 2^-52.8.
//  - otherwise (Payne-Hanek, in integers): x = M·2^E with a 24-bit integer M.
//    Only the bits of 2/pi from 2^-(E-1) down matter (the earlier ones give
//    multiples of 4), so a window of them, 128 bits (fast path) or 192 (exact
//    path), times M gives x·2/pi modulo 4 with 126 or 190 fraction bits. The
//    bits of 2/pi beyond the window add less than 2^24 units of the last
//    fraction bit, so with the fraction's leading one at bit h the reduced
//    argument's relative error is below 2^(24-h); the fast path requires
//    h >= 84 (2^-60), the exact path h >= 128 (2^-104).
//
// Fast path: sin r = r + r^3·S(r^2) (error 2^-56.4) and cos r = 1 + r^2·C(r^2)
// (2^-57.7). r's relative error of 2^-52.8 is carried over with factors
// r·cot r <= 1 and r·tan r <= 0.79; each final sum rounds once (2^-53), and
// the other roundings and the polynomials' errors (S and C within 2^-51.4)
// are scaled down by |r^3 S / sin r| <= 0.11 and |r^2 C / cos r| <= 0.44:
// sin r within 2^-51.8, cos r within 2^-51.3. cos(x) is one of ±sin r,
// ±cos r, and tan(x) = sin r / cos r or -cos r / sin r adds a division:
// e < 2^-50.2. e·|y| < 2^2.8 units of y's last place; d = 16 leaves a margin
// of 2.3. Results are normal: |cos x| >= |r|·0.7 for the |r| >= 2^-40 the
// reductions accept, and |tan x| >= |x| >= 2^-12 (smaller |x| are shortcut).
//
// Exact path: r as a double-double (exact reduction), sin r and cos r by
// their Taylor series to r^27 and r^28 (the rest is below 2^-112), and a
// double-double division for tan: below 2^-98.
#include "dsp/math/CrMath.h"
#include "dsp/math/MathCore.h"
#include "dsp/math/MathTables.h"

namespace crm {
namespace detail {
namespace {

using namespace tables;

constexpr std::uint64_t kTrigUlps = 16;
// |x| below pi/4 (the float 0x3f490fdb is just above it).
constexpr std::uint32_t kPiOver4Bits = 0x3f490fdbu;
constexpr std::uint32_t kTwo20Bits = 0x49800000u;    // 2^20
constexpr std::uint32_t kTwoM12Bits = 0x39800000u;   // 2^-12
constexpr double kMinFastR = 0x1p-40;

int highestBit(std::uint32_t v) {
#if defined(__GNUC__)
    return 31 - __builtin_clz(v);
#else
    int h = 31;
    while (!(v >> h)) --h;
    return h;
#endif
}

// Payne-Hanek reduction of a finite ax >= pi/4 with a window of W words of
// 2/pi: q, and the fraction f of ax·2/pi (nearest integer removed, |f| <=
// 1/2) as a double-double. False when the fraction's leading one is below
// bit minBit (f is then less precise than promised).
template <int W>
bool reduceWindow(float ax, int minBit, int& q, DD& f) {
    const std::uint32_t u = bitsOf(ax);
    const int e = static_cast<int>(u >> 23) - 150;
    const std::uint64_t mant = (u & 0x7fffffu) | 0x800000u;
    // Bits of 2/pi counted from 1 (weight 2^-1). Bit i times mant·2^e has
    // weight 2^(e-i) and up: from i0 = e - 1 on, they matter modulo 4.
    const int i0 = e - 1 > 1 ? e - 1 : 1;
    const int skip = i0 - 1;
    const int w0 = skip >> 5, sh = skip & 31;
    std::uint32_t win[W];
    for (int k = 0; k < W; ++k) {
        const std::uint32_t a = kTwoOverPi[w0 + k], b = kTwoOverPi[w0 + k + 1];
        win[k] = sh ? (a << sh) | (b >> (32 - sh)) : a;
    }
    // p = mant·window, little-endian words, with s fraction bits.
    std::uint32_t p[W + 1];
    std::uint64_t carry = 0;
    for (int k = W - 1; k >= 0; --k) {
        const std::uint64_t t = mant * win[k] + carry;
        p[W - 1 - k] = static_cast<std::uint32_t>(t);
        carry = t >> 32;
    }
    p[W] = static_cast<std::uint32_t>(carry);
    const int s = i0 + 32 * W - 1 - e;
    auto bit = [&p](int i) { return (p[i >> 5] >> (i & 31)) & 1u; };
    int quadrant = static_cast<int>(bit(s) | (bit(s + 1) << 1));
    const bool negative = bit(s - 1) != 0;
    // Keep the fraction only.
    p[s >> 5] &= (1u << (s & 31)) - 1u;
    for (int i = (s >> 5) + 1; i <= W; ++i) p[i] = 0;
    if (negative) {
        // Round to the nearest integer: fraction - 1, as its magnitude
        // 2^s - p (two's complement, masked again).
        ++quadrant;
        std::uint64_t borrow = 0;
        for (int i = 0; i <= W; ++i) {
            const std::uint64_t t = 0ull - p[i] - borrow;
            p[i] = static_cast<std::uint32_t>(t);
            borrow = (t >> 32) & 1u;
        }
        p[s >> 5] &= (1u << (s & 31)) - 1u;
        for (int i = (s >> 5) + 1; i <= W; ++i) p[i] = 0;
    }
    q = quadrant & 3;
    int h = -1;
    for (int i = W; i >= 0; --i) {
        if (p[i]) {
            h = 32 * i + highestBit(p[i]);
            break;
        }
    }
    // 128 bits from the leading one down, as c1·2^75 + c2·2^22 + c3.
    auto word = [&p](int low) -> std::uint32_t {  // bits low .. low + 31
        if (low <= -32) return 0;
        if (low < 0) return p[0] << (-low);
        const int i = low >> 5, b = low & 31;
        std::uint32_t v = p[i] >> b;
        if (b && i + 1 <= W) v |= p[i + 1] << (32 - b);
        return v;
    };
    const std::uint64_t t1 = (static_cast<std::uint64_t>(word(h - 31)) << 32) | word(h - 63);
    const std::uint64_t t2 = (static_cast<std::uint64_t>(word(h - 95)) << 32) | word(h - 127);
    const double c1 = static_cast<double>(t1 >> 11);
    const double c2 = static_cast<double>(((t1 & 0x7ffu) << 42) | (t2 >> 22));
    const double c3 = static_cast<double>(t2 & 0x3fffffu);
    const int base = h - s;  // f = (c1·2^75 + c2·2^22 + c3)·2^(base - 127)
    f = fastTwoSum(c1 * pow2(base - 52), c2 * pow2(base - 105) + c3 * pow2(base - 127));
    if (negative) f = neg(f);
    return h >= minBit;
}

// Fast reduction of a finite |x| >= pi/4: q and r (relative error below
// 2^-52.8), or false when |r| is too small to be sure of that.
inline bool reduceFast(float ax, std::uint32_t au, int& q, double& r) {
    if (au < kTwo20Bits) {
        const double xd = ax;
        const double t = xd * kInvPiOver2 + kShifter;
        q = static_cast<int>(bitsOf(t) & 3u);
        const double kd = t - kShifter;
        const DD rr = twoSum(xd - kd * kPiOver2P1, -(kd * kPiOver2P2));
        r = rr.hi + (rr.lo - kd * kPiOver2P3);
        return absOf(r) >= kMinFastR;
    }
    DD f;
    if (!reduceWindow<4>(ax, 84, q, f)) return false;
    // f·pi/2 with one rounding besides the small terms: 2^-53 + 2^-60.
    const DD p = twoProd(f.hi, kPiOver2Hi);
    r = p.hi + (p.lo + (f.hi * kPiOver2Lo + f.lo * kPiOver2Hi));
    return true;
}

// Estrin's scheme in t = r^2.
inline double sinPoly(double r, double t) {
    const double* c = kSinPoly;
    const double t2 = t * t;
    return r + (r * t) * ((c[0] + t * c[1]) + t2 * ((c[2] + t * c[3]) + t2 * (c[4] + t * c[5])));
}
inline double cosPoly(double t) {
    const double* c = kCosPoly;
    const double t2 = t * t;
    return 1.0 + t * ((c[0] + t * c[1]) + t2 * ((c[2] + t * c[3]) + t2 * ((c[4] + t * c[5]) + t2 * c[6])));
}

// Shortcuts and special inputs. |x| < 2^-12: cos x = 1 - x^2/2 + … lies
// within 2^-25 of 1 and rounds to 1; tan x = x (1 + x^2/3 + …) lies within
// 2^-25.5 |x| < ulp(x)/2 of x (the sign of zero kept). ±inf, NaN: NaN.
inline bool cosSpecial(float x, std::uint32_t au, float& out) {
    if (au < kTwoM12Bits) {
        out = 1.0f;
        return true;
    }
    if (au >= 0x7f800000u) {
        out = x - x;
        return true;
    }
    return false;
}
inline bool tanSpecial(float x, std::uint32_t au, float& out) {
    if (au < kTwoM12Bits) {
        out = x;
        return true;
    }
    if (au >= 0x7f800000u) {
        out = x - x;
        return true;
    }
    return false;
}

inline bool cosFastImpl(float x, float& out) {
    const std::uint32_t au = bitsOf(x) & 0x7fffffffu;
    if (cosSpecial(x, au, out)) return true;
    const float ax = floatOf(au);
    int q = 0;
    double r = ax;
    if (au >= kPiOver4Bits && !reduceFast(ax, au, q, r)) return false;
    const double t = r * r;
    double y = (q & 1) ? sinPoly(r, t) : cosPoly(t);
    if (q == 1 || q == 2) y = -y;
    if (!roundsSafely(y, kTrigUlps)) return false;
    out = static_cast<float>(y);
    return true;
}

inline bool tanFastImpl(float x, float& out) {
    const std::uint32_t au = bitsOf(x) & 0x7fffffffu;
    if (tanSpecial(x, au, out)) return true;
    const float ax = floatOf(au);
    int q = 0;
    double r = ax;
    if (au >= kPiOver4Bits && !reduceFast(ax, au, q, r)) return false;
    const double t = r * r;
    const double s = sinPoly(r, t), c = cosPoly(t);
    double y = (q & 1) ? -c / s : s / c;
    if (x < 0.0f) y = -y;
    if (!roundsSafely(y, kTrigUlps)) return false;
    out = static_cast<float>(y);
    return true;
}

// sin r and cos r of a double-double r, |r| <= pi/4 + 2^-30.
void sinCosSlow(DD r, DD& s, DD& c) {
    const DD t = mul(r, r);
    DD ps{kSinSeriesHi[13], kSinSeriesLo[13]};
    for (int i = 12; i >= 0; --i) ps = add(mul(ps, t), DD{kSinSeriesHi[i], kSinSeriesLo[i]});
    s = mul(ps, r);
    DD pc{kCosSeriesHi[14], kCosSeriesLo[14]};
    for (int i = 13; i >= 0; --i) pc = add(mul(pc, t), DD{kCosSeriesHi[i], kCosSeriesLo[i]});
    c = pc;
}

// q and r of |x| exactly, or false (then r is only approximate).
bool reduceSlow(float ax, std::uint32_t au, int& q, DD& r) {
    if (au < kPiOver4Bits) {
        q = 0;
        r = DD{ax, 0.0};
        return true;
    }
    return reduceLarge(ax, q, r);
}

}  // namespace

bool reduceLarge(float ax, int& q, DD& r) {
    DD f;
    const bool exact = reduceWindow<6>(ax, 128, q, f);
    r = mul(f, DD{kPiOver2Hi, kPiOver2Lo});
    return exact;
}

bool cosFast(float x, float& out) { return cosFastImpl(x, out); }
bool tanFast(float x, float& out) { return tanFastImpl(x, out); }

bool cosSlow(float x, float& out) {
    const std::uint32_t au = bitsOf(x) & 0x7fffffffu;
    if (cosSpecial(x, au, out)) return true;
    int q;
    DD r;
    const bool exact = reduceSlow(floatOf(au), au, q, r);
    DD s, c;
    sinCosSlow(r, s, c);
    DD y = (q & 1) ? s : c;
    if (q == 1 || q == 2) y = neg(y);
    return roundDoubleDouble(y.hi, y.lo, kSlowRelErr, out) && exact;
}

bool tanSlow(float x, float& out) {
    const std::uint32_t au = bitsOf(x) & 0x7fffffffu;
    if (tanSpecial(x, au, out)) return true;
    int q;
    DD r;
    const bool exact = reduceSlow(floatOf(au), au, q, r);
    DD s, c;
    sinCosSlow(r, s, c);
    DD y = (q & 1) ? neg(div(c, s)) : div(s, c);
    if (x < 0.0f) y = neg(y);
    return roundDoubleDouble(y.hi, y.lo, kSlowRelErr, out) && exact;
}

}  // namespace detail

float cosf(float x) { return detail::fastOrSlow<detail::cosFast, detail::cosSlow>(x); }
float tanf(float x) { return detail::fastOrSlow<detail::tanFast, detail::tanSlow>(x); }

}  // namespace crm
