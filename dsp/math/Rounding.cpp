#include "dsp/math/MathCore.h"

namespace crm::detail {

// v = hi + lo is normalised first, so |lo| <= ulp(hi)/2. Floats and the
// midpoints between them are all doubles; the float nearest v is the one on
// v's side of the midpoint m next to hi, and the sign of (hi - m) + lo tells
// which side (hi - m is exact: both lie between the same two floats). The
// true value lies within relErr·|hi| of v, so the side is certain only when
// |(hi - m) + lo| exceeds that. When hi is itself a float, the nearest
// midpoints are half a float ulp away (2^-25 relative at least) and v rounds
// to hi. Results at or beyond 2^128 are infinity, FLT_MAX + ulp/2 being the
// boundary between FLT_MAX and infinity.
bool roundDoubleDouble(double hi, double lo, double relErr, float& out) {
    const DD v = fastTwoSum(hi, lo);
    if (v.hi == 0.0) {
        out = static_cast<float>(v.hi);
        return true;
    }
    const bool negative = v.hi < 0.0;
    const double a = negative ? -v.hi : v.hi;
    const double b = negative ? -v.lo : v.lo;
    constexpr std::uint32_t kInfBits = 0x7f800000u;
    constexpr double kTwo128 = 0x1p128;

    const float f = static_cast<float>(a);
    const std::uint32_t fb = bitsOf(f);
    const double fd = fb == kInfBits ? kTwo128 : static_cast<double>(f);
    bool decided = true;
    float result = f;
    if (fd != a && !(fd < a && fb == kInfBits)) {
        // The float on the other side of a.
        const std::uint32_t gb = fd < a ? fb + 1 : fb - 1;
        const double g = gb == kInfBits ? kTwo128 : static_cast<double>(floatOf(gb));
        const double mid = (fd + g) * 0.5;
        const double delta = (a - mid) + b;
        if (absOf(delta) <= relErr * a) {
            decided = false;
        } else {
            const double up = fd > g ? fd : g;
            const double down = fd > g ? g : fd;
            const double pick = delta > 0.0 ? up : down;
            result = pick == kTwo128 ? floatOf(kInfBits) : static_cast<float>(pick);
        }
    }
    out = negative ? -result : result;
    return decided;
}

}  // namespace crm::detail
