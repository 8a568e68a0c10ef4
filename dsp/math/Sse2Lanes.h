// Two or four float lanes of the batch forms in SSE2 (x86-64's baseline),
// shared by the batch functions (Batch.cpp) and by callers that need the
// logarithm of a pair of values in the middle of a recursion (log10Pair).
// Every result is the scalar function's bits: see BatchKernels.h.
#pragma once

#include "dsp/math/BatchKernels.h"
#include "dsp/math/CrMath.h"

#if CRM_X86
#include <emmintrin.h>

#include <cstdint>

namespace crm {
namespace detail {

inline __m128d splat(double v) { return _mm_set1_pd(v); }

// An integer constant GCC may not rebuild in a loop or rewrite (a > C
// becomes min and equality otherwise).
inline __m128i opaque(__m128i v) {
#if defined(__GNUC__)
    asm("" : "+x"(v));
#endif
    return v;
}

// The rounding test on the four lanes of y0 (0, 1) and y1 (2, 3): the lanes it
// rejects, as bits. The low 32 bits of each double lane decide, packed into
// one vector first.
struct RoundingTest {
    __m128i bias, low29, limit;
    explicit RoundingTest(std::uint32_t d)
        : bias(opaque(_mm_set1_epi32(static_cast<int>(d - 0x10000000u)))),
          low29(opaque(_mm_set1_epi32(0x1fffffff))),
          limit(opaque(_mm_set1_epi32(static_cast<int>(2 * d + 1)))) {}
    int undecided(__m128d y0, __m128d y1) const {
        const __m128i packed = _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(y0), _mm_castpd_ps(y1), 0x88));
        const __m128i low = _mm_and_si128(_mm_add_epi32(packed, bias), low29);
        // Rejected where low <= 2d.
        return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(limit, low)));
    }
};

// ---- log10 on two lanes from their parts (m, e and the two lanes' table
// rows), as logFastImpl with the lanes' own polynomial and log10 2 in one
// piece (the error bound is in BatchKernels.h).
inline __m128d log10Lanes(__m128d m, __m128d e, const tables::InvLog& row0, const tables::InvLog& row1) {
    const double* c = tables::kLog10PolyBatch;
    const __m128d a = _mm_load_pd(&row0.inv);  // {inv, logv} of lane 0
    const __m128d b = _mm_load_pd(&row1.inv);
    const __m128d inv = _mm_unpacklo_pd(a, b);
    const __m128d logv = _mm_unpackhi_pd(a, b);
    const __m128d r = _mm_sub_pd(_mm_mul_pd(m, inv), splat(1.0));
    const __m128d r2 = _mm_mul_pd(r, r);
    const __m128d a0 = _mm_add_pd(splat(c[0]), _mm_mul_pd(r, splat(c[1])));
    const __m128d a1 = _mm_add_pd(splat(c[2]), _mm_mul_pd(r, splat(c[3])));
    const __m128d p =
        _mm_mul_pd(r, _mm_add_pd(a0, _mm_mul_pd(r2, _mm_add_pd(a1, _mm_mul_pd(r2, splat(c[4]))))));
    return _mm_add_pd(_mm_add_pd(_mm_mul_pd(e, splat(tables::kLog10Of2)), logv), p);
}

}  // namespace detail

// log10f of lanes 0 and 1 of x; lanes 2 and 3 of the result are not
// defined. The steps of log10Sse2's usual case, with no call and no loop: for
// a logarithm inside a recursion. A lane that is not a positive normal float,
// or that the rounding test does not decide, goes to the scalar function.
inline __m128 log10Pair(__m128 x) {
    using namespace detail;
    const __m128i u = _mm_castps_si128(x);
    // u + 0x7f800000 is at most 0xfeffffff, as a signed number below
    // -0x01000000, exactly for the positive normal floats u.
    const int unusual = _mm_movemask_ps(_mm_castsi128_ps(
        _mm_cmpgt_epi32(_mm_add_epi32(u, _mm_set1_epi32(0x7f800000)), _mm_set1_epi32(-0x01000001))));
    const __m128i e = _mm_srai_epi32(_mm_sub_epi32(u, _mm_set1_epi32(static_cast<int>(tables::kLogOffset))), 23);
    const __m128 m = _mm_castsi128_ps(_mm_sub_epi32(u, _mm_slli_epi32(e, 23)));
    const std::uint32_t b0 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(u));
    const std::uint32_t b1 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(u, 4)));
    const __m128d y = log10Lanes(_mm_cvtps_pd(m), _mm_cvtepi32_pd(e),
                                 tables::kLog10Table[((b0 - tables::kLogOffset) >> 16) & 127u],
                                 tables::kLog10Table[((b1 - tables::kLogOffset) >> 16) & 127u]);
    __m128 result = _mm_cvtpd_ps(y);
    const int undecided = (RoundingTest(kLog10BatchUlps).undecided(y, y) | unusual) & 3;
    if (__builtin_expect(undecided != 0, 0)) {
        alignas(16) float xs[4], ys[4];
        _mm_store_ps(xs, x);
        _mm_store_ps(ys, result);
        for (int l = 0; l < 2; ++l)
            if (undecided & (1 << l)) ys[l] = crm::log10f(xs[l]);
        result = _mm_load_ps(ys);
    }
    return result;
}

}  // namespace crm
#endif  // CRM_X86
