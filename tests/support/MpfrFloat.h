// Correctly rounded single-precision functions computed with MPFR, for tests:
// the reference values of the chain's transcendental functions. Each rounds
// the exact result to the nearest float (ties to even) within the float
// exponent range (overflow to infinity, correctly rounded subnormals), with
// IEEE results for ±0, infinities and NaN. Independent of dsp/math, which is
// checked against it. Thread-safe; each call allocates nothing.
#pragma once

namespace mpfr_float {

float log(float x);
float log10(float x);
float exp(float x);
float exp10(float x);  // 10^x
float cos(float x);
float tan(float x);

}  // namespace mpfr_float
