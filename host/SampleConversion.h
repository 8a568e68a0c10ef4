// From the chain's float samples to integer samples: the one conversion every
// integer output of kvb goes through, in every file format and on every
// platform, so that the same floats give the same integers everywhere.
//
// A sample x becomes x · 2^(bits − 1), rounded to the nearest integer (ties
// to the even one) and clipped to full scale, −2^(bits − 1) to
// 2^(bits − 1) − 1; not-a-number becomes 0. The product is exact in double
// precision and the rounding is done with floor and comparisons only, so
// neither the runtime's rounding functions nor its rounding mode play a
// part. Reading maps integer n back to n / 2^(bits − 1): a float written and
// read again is the nearest value of the encoding.
//
// Dither, when asked for, is triangular (TPDF): the difference of two uniform
// draws, spanning ±1 step, added before rounding. The draws come from a fixed
// seed, restarted for every file, so a dithered render is reproducible too.
#pragma once

#include <cmath>
#include <cstdint>

namespace kvbhost {

// x · 2^(bits − 1) (plus dither) as an integer of `bits` bits, 8 to 32.
inline std::int32_t roundToInteger(double scaled, int bits) {
    const double top = std::ldexp(1.0, bits - 1);
    if (std::isnan(scaled)) return 0;
    if (scaled >= top - 1.0) return static_cast<std::int32_t>(top - 1.0);
    if (scaled <= -top) return static_cast<std::int32_t>(-top);
    double r = std::floor(scaled);
    const double fraction = scaled - r;  // exact: both lie within 2^31
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    return static_cast<std::int32_t>(r);
}

// Triangular dither of ±1 step from a fixed seed (SplitMix64).
class Dither {
public:
    // The next dither value, in steps of the integer encoding: (−1, 1).
    double next() { return uniform() - uniform(); }

private:
    double uniform() {
        state_ += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * 0x1.0p-53;
    }
    std::uint64_t state_ = 0x4B56422044495448ull;  // fixed: "KVB DITH"
};

// x as an integer of `bits` bits, dithered when `dither` is given.
inline std::int32_t toInteger(float x, int bits, Dither* dither = nullptr) {
    double scaled = static_cast<double>(x) * std::ldexp(1.0, bits - 1);
    if (dither) scaled += dither->next();
    return roundToInteger(scaled, bits);
}

}  // namespace kvbhost
