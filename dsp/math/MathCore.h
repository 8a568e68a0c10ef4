// Internals shared by the scalar functions, the batch forms and the checks:
// bit access, double-double arithmetic, the rounding tests and the entry
// points of each function's two paths.
//
// Every function works the same way. A fast path evaluates f(x) in double
// precision (table and polynomial) to y with a proven relative error e, and
// accepts y when no float rounding boundary (a midpoint between two floats)
// lies within e·|y| of it: then y and f(x) round to the same float. The test
// looks at the 29 bits of y's significand below a float's 24: a midpoint is
// 1000…0 there, and e·|y| is less than `d` units of y's last place, so y is
// accepted unless those bits are within d of 0x10000000. That holds for any
// normal float result and for overflow (the boundary to infinity,
// FLT_MAX + ulp/2, is such a midpoint too); results in the subnormal range are
// bracketed instead: y·(1 - E) and y·(1 + E) must round to the same float.
//
// The few inputs the fast path cannot decide (about 2d + 1 in 2^29: 16 to 164
// of the 2^32 per function) go to an exact path: double-double evaluation
// with a relative error below 2^-95, whose value is rounded by
// roundDoubleDouble. Results that are floats themselves (log(1), log10(10^k),
// exp(0), cos(0), 10^k for k <= 10) are far from any midpoint and pass either
// path; the integer powers of ten, rational and possibly as close to a
// midpoint as their size allows, come from a table. No other float input has
// a result within 2^-90 of a midpoint: the exhaustive check
// (scripts/check-math.sh) finds every exact-path input decided.
//
// Nothing here calls the C runtime's maths, uses long double or fused
// multiply-adds: the results are the same bits with any conforming compiler
// that evaluates double as IEEE binary64 without contraction.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__GNUC__)
#define CRM_NOINLINE __attribute__((noinline))
#define CRM_COLD __attribute__((noinline, cold))
#define CRM_LIKELY(x) __builtin_expect(!!(x), 1)
#else
#define CRM_NOINLINE
#define CRM_COLD
#define CRM_LIKELY(x) (x)
#endif

namespace crm::detail {

inline std::uint32_t bitsOf(float x) {
    std::uint32_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}
inline float floatOf(std::uint32_t u) {
    float x;
    std::memcpy(&x, &u, sizeof x);
    return x;
}
inline std::uint64_t bitsOf(double x) {
    std::uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}
inline double doubleOf(std::uint64_t u) {
    double x;
    std::memcpy(&x, &u, sizeof x);
    return x;
}
inline double absOf(double x) { return doubleOf(bitsOf(x) & 0x7fffffffffffffffull); }

// The value of f at x: the fast path where it can decide the rounding, the
// exact path, kept out of line and out of the caller's registers, where not.
template <bool (*Slow)(float, float&)>
CRM_COLD float slowValue(float x) {
    float y;
    Slow(x, y);
    return y;
}
template <bool (*Fast)(float, float&), bool (*Slow)(float, float&)>
inline float fastOrSlow(float x) {
    float y;
    if (CRM_LIKELY(Fast(x, y))) return y;
    return slowValue<Slow>(x);
}
// 2^n as a double, for -1022 <= n <= 1023.
inline double pow2(int n) { return doubleOf(static_cast<std::uint64_t>(1023 + n) << 52); }

// Adding 1.5·2^52 rounds a double of magnitude below 2^51 to an integer k,
// which then sits in the low bits of the sum's representation.
constexpr double kShifter = 0x1.8p52;

// The fast path's rounding test: true when the float nearest y is also the
// float nearest every value within d units of y's last place.
inline bool roundsSafely(double y, std::uint64_t d) {
    return ((bitsOf(y) - (0x10000000u - d)) & 0x1fffffffu) > 2 * d;
}

// ---- double-double arithmetic (Dekker, Knuth): exact without fused
// multiply-adds, as long as nothing overflows. An unevaluated sum hi + lo.
struct DD {
    double hi, lo;
};
inline DD twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}
// |a| >= |b| (or a == 0).
inline DD fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}
inline DD split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}
inline DD twoProd(double a, double b) {
    const double p = a * b;
    const DD as = split(a), bs = split(b);
    const double e = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    return {p, e};
}
// Relative error below 2^-104 for each operation (the sum: of the sum's
// magnitude when the operands do not cancel).
inline DD add(DD a, DD b) {
    DD s = twoSum(a.hi, b.hi);
    const DD t = twoSum(a.lo, b.lo);
    s.lo += t.hi;
    s = fastTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return fastTwoSum(s.hi, s.lo);
}
inline DD add(DD a, double b) {
    DD s = twoSum(a.hi, b);
    s.lo += a.lo;
    return fastTwoSum(s.hi, s.lo);
}
inline DD mul(DD a, DD b) {
    DD p = twoProd(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return fastTwoSum(p.hi, p.lo);
}
inline DD mul(DD a, double b) {
    DD p = twoProd(a.hi, b);
    p.lo += a.lo * b;
    return fastTwoSum(p.hi, p.lo);
}
inline DD neg(DD a) { return {-a.hi, -a.lo}; }
inline DD div(DD a, DD b) {
    const double q1 = a.hi / b.hi;
    DD r = add(a, neg(mul(b, q1)));
    const double q2 = r.hi / b.hi;
    r = add(r, neg(mul(b, q2)));
    const double q3 = r.hi / b.hi;
    return add(fastTwoSum(q1, q2), q3);
}

// The exact path's rounding: rounds v = hi + lo to float, given that f(x) lies
// within relErr·|hi| of v. False when a rounding boundary lies in that
// interval (f(x) too close to call); `out` then holds the rounding of v.
bool roundDoubleDouble(double hi, double lo, double relErr, float& out);
// The decision threshold of every exact path: their errors are below 2^-95.
constexpr double kSlowRelErr = 0x1p-90;

// ---- the two paths of each function (definitions beside the functions).
// fast*: true when the double-precision evaluation decides; slow*: the
// exact path alone (false if it could not decide, which no input does).
bool logFast(float x, float& out);
bool log10Fast(float x, float& out);
bool expFast(float x, float& out);
bool exp10Fast(float x, float& out);
bool cosFast(float x, float& out);
bool tanFast(float x, float& out);
bool logSlow(float x, float& out);
bool log10Slow(float x, float& out);
bool expSlow(float x, float& out);
bool exp10Slow(float x, float& out);
bool cosSlow(float x, float& out);
bool tanSlow(float x, float& out);

// The exact reduction of |x| >= pi/4 (finite): q = the integer nearest to
// |x|·2/pi, modulo 4, and r = |x| - q·pi/2 as a double-double with a
// relative error below 2^-100. False if |r| were too small for that (no
// float input; the exhaustive check counts them).
bool reduceLarge(float ax, int& q, DD& r);

}  // namespace crm::detail
