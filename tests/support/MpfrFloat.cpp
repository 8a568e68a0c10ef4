#include "MpfrFloat.h"

#include <mpfr.h>

namespace mpfr_float {
namespace {

using Function = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

// MPFR rounds to 24 bits with an unbounded exponent; the float range
// (binary32: emin -148, emax 128 in MPFR's [0.5, 1) convention) is applied by
// check_range and subnormalize, which use the first rounding's direction so
// that subnormal results are not rounded twice. The thread's exponent range
// is restored afterwards.
float evaluate(Function f, float x) {
    const mpfr_exp_t emin = mpfr_get_emin(), emax = mpfr_get_emax();
    mpfr_set_emin(-148);
    mpfr_set_emax(128);
    MPFR_DECL_INIT(in, 24);
    MPFR_DECL_INIT(out, 24);
    mpfr_set_flt(in, x, MPFR_RNDN);
    int inexact = f(out, in, MPFR_RNDN);
    inexact = mpfr_check_range(out, inexact, MPFR_RNDN);
    mpfr_subnormalize(out, inexact, MPFR_RNDN);
    const float y = mpfr_get_flt(out, MPFR_RNDN);
    mpfr_set_emin(emin);
    mpfr_set_emax(emax);
    return y;
}

}  // namespace

float log(float x) { return evaluate(mpfr_log, x); }
float log10(float x) { return evaluate(mpfr_log10, x); }
float exp(float x) { return evaluate(mpfr_exp, x); }
float exp10(float x) { return evaluate(mpfr_exp10, x); }
float cos(float x) { return evaluate(mpfr_cos, x); }
float tan(float x) { return evaluate(mpfr_tan, x); }

}  // namespace mpfr_float
