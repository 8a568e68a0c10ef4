// The AVX2 form's own building blocks of the rounds (see ChainRounds.inc):
// the interpolator and decimator stepped together, and the Opt smoothers'
// four lanes with their sums in one register. Included by Processor.cpp
// alone, inside its AVX2 section; the AVX-512 form compiles the same blocks
// into itself. Every value is the same IEEE operations in the same order as
// in the first form.
#pragma once

#include <immintrin.h>

namespace {

// The interpolator and the decimator stepped together in AVX registers, lanes
// 0 and 1 the interpolator's, 2 and 3 the decimator's, both by the
// decimator's kernel: on the zero-stuffed input it adds only exact zeros (see
// stuffedKernel), so the interpolator's lanes get its own bits. Both step at
// every step of the round; a filter whose chunk has ended steps on junk after
// its last real step, and its history is taken from where that step left it.
class FilterPairWide {
public:
    explicit FilterPairWide(const ChainState& s) {
        for (int m = 1; m <= 8; ++m) {
            xs[8 - m] = _mm256_set_m128d(s.decim.x[m].v, s.interp.x[m].v);
            ys[8 - m] = _mm256_set_m128d(s.decim.y[m].v, s.interp.y[m].v);
        }
    }

    template <int K>
    KVB_ALWAYS_INLINE void step(bool, bool, D2 stuffed, D2 z, D2 g, D2 gInterp, F2& interpOut, F2& decimOut) {
        using namespace osfilter;
        __m256d* const xn = &xs[8 + k];
        const __m256d* const yn = &ys[8 + k];
        xn[0] = _mm256_set_m128d(z.v, stuffed.v);
        // The kernel of OversamplingFilter, in its order.
        __m256d acc = _mm256_set_m128d(g.v, gInterp.v);
        const double a[8] = {a1, a2, a3, a4, a5, a6, a7, a8};
        for (int m = 0; m < 8; ++m) acc = _mm256_sub_pd(acc, _mm256_mul_pd(_mm256_set1_pd(a[m]), yn[-1 - m]));
        const double b[4] = {b0, b1, b2, b3};
        for (int m = 0; m < 4; ++m) {
            // Each symmetric pair summed and rounded to single precision.
            const __m256d pair = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(xn[-m], xn[m - 8])));
            acc = _mm256_add_pd(acc, _mm256_mul_pd(_mm256_set1_pd(b[m]), pair));
        }
        acc = _mm256_add_pd(acc, _mm256_mul_pd(_mm256_set1_pd(b4), xn[-4]));
        const __m128 out = _mm256_cvtpd_ps(acc);
        ys[8 + k] = _mm256_cvtps_pd(out);
        ++k;
        // Lanes 2 and 3 of interpOut hold the decimator's output: the caller
        // takes lanes 0 and 1 only. The chain takes every fourth decimated
        // step.
        interpOut = F2{out};
        if (K == 3) decimOut = F2{_mm_movehl_ps(_mm_setzero_ps(), out)};
    }

    void store(ChainState& s, int interpSteps, int decimSteps) const {
        for (int m = 0; m <= 8; ++m) {
            // x[0] and x[1] both hold the latest (as FilterWindow leaves them).
            const int back = m == 0 ? 1 : m;
            if (interpSteps > 0) {
                s.interp.x[m] = D2{_mm256_castpd256_pd128(xs[8 + interpSteps - back])};
                s.interp.y[m] = D2{_mm256_castpd256_pd128(ys[8 + interpSteps - back])};
            }
            if (decimSteps > 0) {
                s.decim.x[m] = D2{_mm256_extractf128_pd(xs[8 + decimSteps - back], 1)};
                s.decim.y[m] = D2{_mm256_extractf128_pd(ys[8 + decimSteps - back], 1)};
            }
        }
    }

private:
    __m256d xs[8 + Processor::kSteps], ys[8 + Processor::kSteps];  // oldest first
    int k = 0;
};

// Four lanes of rise/fall steps with their double sums in one AVX register:
// riseFallStep's operations.
struct RiseFall4Wide {
    F4 operator()(F4 v, F4 s, const RiseFall4& k, D2 g) const {
        const Mask4 rising = v > s;
        const F4 a = select(rising, k.upOneMinusC, k.downOneMinusC) * v;
        const F4 b = select(rising, k.upC, k.downC) * s;
        return F4{_mm256_cvtpd_ps(
            _mm256_add_pd(_mm256_add_pd(_mm256_cvtps_pd(a.v), _mm256_set_m128d(g.v, g.v)), _mm256_cvtps_pd(b.v)))};
    }
};

}  // namespace
