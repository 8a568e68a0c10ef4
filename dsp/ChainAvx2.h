// The AVX2 form's own building blocks of the rounds (see ChainRounds.inc):
// the interpolator and decimator stepped together, and the Opt smoothers'
// four lanes with their sums in one register. Included by Processor.cpp
// alone, inside its AVX2 section; the AVX-512 form compiles the same blocks
// into itself. Every value has the bits of the first form's: the same IEEE
// operations in the same order, or, where a block says so, fewer operations
// that provably give the same result.
#pragma once

#include <immintrin.h>

namespace {

// The interpolator and the decimator stepped together in AVX registers, lanes
// 0 and 1 the interpolator's, 2 and 3 the decimator's, both by the
// decimator's kernel: on the zero-stuffed input it adds only exact zeros (see
// stuffedKernel), so the interpolator's lanes get its own bits. The
// histories live in registers, shifted by one at each step, so that each
// output reaches the next step without a trip through memory. Both filters
// step at every step of the round; once a filter's chunk has ended, its lanes
// keep their histories.
class FilterPairWide {
public:
    explicit FilterPairWide(const ChainState& s) {
        for (int m = 0; m < 8; ++m) {
            xh[m] = _mm256_cvtpd_ps(_mm256_set_m128d(s.decim.x[m + 1].v, s.interp.x[m + 1].v));
            yh[m] = _mm256_set_m128d(s.decim.y[m + 1].v, s.interp.y[m + 1].v);
        }
    }

    template <int K>
    KVB_ALWAYS_INLINE void step(bool doIn, bool doOut, F2 stuffed, F2 z, D2 g, D2 gInterp, F2& interpOut,
                                F2& decimOut) {
        using namespace osfilter;
        const __m128 xn = _mm_movelh_ps(stuffed.v, z.v);
        // The kernel of OversamplingFilter, in its order.
        __m256d acc = _mm256_set_m128d(g.v, gInterp.v);
        const double a[8] = {a1, a2, a3, a4, a5, a6, a7, a8};
        for (int m = 0; m < 8; ++m) acc = _mm256_sub_pd(acc, _mm256_mul_pd(_mm256_set1_pd(a[m]), yh[m]));
        const double b[4] = {b0, b1, b2, b3};
        for (int m = 0; m < 4; ++m) {
            // Each symmetric pair summed in single precision.
            const __m256d pair = _mm256_cvtps_pd(_mm_add_ps(m == 0 ? xn : xh[m - 1], xh[7 - m]));
            acc = _mm256_add_pd(acc, _mm256_mul_pd(_mm256_set1_pd(b[m]), pair));
        }
        acc = _mm256_add_pd(acc, _mm256_mul_pd(_mm256_set1_pd(b4), _mm256_cvtps_pd(xh[3])));
        const __m128 out = _mm256_cvtpd_ps(acc);
        const __m256d yn = _mm256_cvtps_pd(out);
        if (doIn && doOut) {
            shift(xh, xn);
            shift(yh, yn);
        } else {
            // A filter whose chunk has ended keeps its histories.
            const __m256d advance = _mm256_castsi256_pd(
                _mm256_set_epi64x(-int64_t{doOut}, -int64_t{doOut}, -int64_t{doIn}, -int64_t{doIn}));
            shiftWhere(_mm256_cvtpd_ps(advance), xh, xn);
            shiftWhere(advance, yh, yn);
        }
        // Lanes 2 and 3 of interpOut hold the decimator's output: the caller
        // takes lanes 0 and 1 only. The chain takes every fourth decimated
        // step.
        interpOut = F2{out};
        if (K == 3) decimOut = F2{_mm_movehl_ps(_mm_setzero_ps(), out)};
    }

    void store(ChainState& s, int, int) const {
        for (int m = 0; m <= 8; ++m) {
            // x[0] and x[1] both hold the latest (as FilterWindow leaves them).
            const int h = m == 0 ? 0 : m - 1;
            const __m256d x = _mm256_cvtps_pd(xh[h]);
            s.interp.x[m] = D2{_mm256_castpd256_pd128(x)};
            s.interp.y[m] = D2{_mm256_castpd256_pd128(yh[h])};
            s.decim.x[m] = D2{_mm256_extractf128_pd(x, 1)};
            s.decim.y[m] = D2{_mm256_extractf128_pd(yh[h], 1)};
        }
    }

private:
    template <class V>
    KVB_ALWAYS_INLINE static void shift(V (&h)[8], V newest) {
        for (int m = 7; m > 0; --m) h[m] = h[m - 1];
        h[0] = newest;
    }
    KVB_ALWAYS_INLINE static void shiftWhere(__m256d mask, __m256d (&h)[8], __m256d newest) {
        for (int m = 7; m > 0; --m) h[m] = _mm256_blendv_pd(h[m], h[m - 1], mask);
        h[0] = _mm256_blendv_pd(h[0], newest, mask);
    }
    KVB_ALWAYS_INLINE static void shiftWhere(__m128 mask, __m128 (&h)[8], __m128 newest) {
        for (int m = 7; m > 0; --m) h[m] = _mm_blendv_ps(h[m], h[m - 1], mask);
        h[0] = _mm_blendv_ps(h[0], newest, mask);
    }

    // Histories, newest first: xh[m] and yh[m] hold x[n - 1 - m] and
    // y[n - 1 - m] of the coming step n, both filters' lanes side by side.
    // The inputs are floats and kept as floats: a pair's sum in single
    // precision is the pair's sum rounded to single precision.
    __m128 xh[8];
    __m256d yh[8];
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
