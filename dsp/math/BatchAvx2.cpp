// Batch forms with AVX2: eight floats a step, four double lanes at a time,
// the tables read with plain loads. Built with -mavx2 only (no FMA: the lanes
// must round exactly as the scalar code does), and called only when cpuid
// reports AVX2 with the operating system's support for it.
#include <immintrin.h>

#include "dsp/math/BatchKernels.h"
#include "dsp/math/CrMath.h"

namespace crm::detail {
namespace {

using namespace tables;

inline __m256d splat(double v) { return _mm256_set1_pd(v); }

// Table reads of four lanes as plain loads: a gather is many micro-ops on
// the processors we run on, four loads and two shuffles are few.
inline __m256d lookUp(const double* table, __m256i index) {
    alignas(32) std::int64_t at[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
    const __m128d low = _mm_loadh_pd(_mm_load_sd(table + at[0]), table + at[1]);
    const __m128d high = _mm_loadh_pd(_mm_load_sd(table + at[2]), table + at[3]);
    return _mm256_set_m128d(high, low);
}
// Two neighbouring values of each lane's row, as two vectors: row[0] of the
// four lanes and row[1].
inline void lookUpPairs(const double* table, __m128i index, __m256d& first, __m256d& second) {
    const __m256d rows02 = _mm256_set_m128d(_mm_loadu_pd(table + _mm_extract_epi32(index, 2)),
                                            _mm_loadu_pd(table + _mm_cvtsi128_si32(index)));
    const __m256d rows13 = _mm256_set_m128d(_mm_loadu_pd(table + _mm_extract_epi32(index, 3)),
                                            _mm_loadu_pd(table + _mm_extract_epi32(index, 1)));
    first = _mm256_unpacklo_pd(rows02, rows13);
    second = _mm256_unpackhi_pd(rows02, rows13);
}

inline __m256 toFloats(__m256d a, __m256d b) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(a)), _mm256_cvtpd_ps(b), 1);
}

// roundsSafely() on four lanes, as a 4-bit mask.
inline int safeLanes(__m256d y, std::uint32_t d) {
    const __m256i low = _mm256_and_si256(
        _mm256_sub_epi32(_mm256_castpd_si256(y), _mm256_set1_epi32(static_cast<int>(0x10000000u - d))),
        _mm256_set1_epi32(0x1fffffff));
    const __m256i ok = _mm256_cmpgt_epi32(low, _mm256_set1_epi32(static_cast<int>(2 * d)));
    // The low 32 bits of each lane decide; move them up to the sign bit.
    return _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_slli_epi64(ok, 32)));
}

inline __m256d exp10Lanes(__m256d x) {
    const __m256d shifter = splat(kShifter);
    const __m256d zh = _mm256_mul_pd(x, splat(kExp10C1));
    const __m256d t = _mm256_add_pd(zh, shifter);
    const __m256i tb = _mm256_castpd_si256(t);
    const __m256d kd = _mm256_sub_pd(t, shifter);
    const __m256d r = _mm256_add_pd(_mm256_sub_pd(zh, kd), _mm256_mul_pd(x, splat(kExp10CRest)));
    const __m256i j = _mm256_and_si256(tb, _mm256_set1_epi64x(63));
    const __m256d table = lookUp(kExp2Hi, j);
    const __m256i scale = _mm256_slli_epi64(_mm256_srli_epi64(tb, 6), 52);
    const __m256d s = _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(table), scale));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d a = _mm256_add_pd(splat(kExpPoly[0]), _mm256_mul_pd(r, splat(kExpPoly[1])));
    const __m256d b = _mm256_add_pd(splat(kExpPoly[2]), _mm256_mul_pd(r, splat(kExpPoly[3])));
    const __m256d q = _mm256_mul_pd(
        r, _mm256_add_pd(a, _mm256_mul_pd(r2, _mm256_add_pd(b, _mm256_mul_pd(r2, splat(kExpPoly[4]))))));
    return _mm256_add_pd(s, _mm256_mul_pd(s, q));
}

inline __m256d log10Lanes(__m256d m, __m256d e, __m128i j2) {
    const double* c = kLog10Poly;
    const double* base = &kLog10Table[0].inv;
    __m256d inv, logv;
    lookUpPairs(base, j2, inv, logv);
    const __m256d r = _mm256_sub_pd(_mm256_mul_pd(m, inv), splat(1.0));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d a0 = _mm256_add_pd(splat(c[0]), _mm256_mul_pd(r, splat(c[1])));
    const __m256d a1 = _mm256_add_pd(splat(c[2]), _mm256_mul_pd(r, splat(c[3])));
    const __m256d a2 = _mm256_add_pd(splat(c[4]), _mm256_mul_pd(r, splat(c[5])));
    const __m256d p = _mm256_mul_pd(
        r, _mm256_add_pd(a0, _mm256_mul_pd(r2, _mm256_add_pd(a1, _mm256_mul_pd(r2, a2)))));
    const __m256d hi = _mm256_add_pd(_mm256_mul_pd(e, splat(Log10Consts::l1)), logv);
    return _mm256_add_pd(hi, _mm256_add_pd(p, _mm256_mul_pd(e, splat(Log10Consts::l2))));
}

}  // namespace

void exp10Avx2(const float* in, float* out, int n) {
    const __m256 lo = _mm256_set1_ps(-kExp10Clamp), hi = _mm256_set1_ps(kExp10Clamp);
    const __m256 normalLo = _mm256_set1_ps(Exp10Consts::kSubnormalBelow);
    const __m256d down = splat(1.0 - kExpBracket), up = splat(1.0 + kExpBracket);
    const __m256i tiny = _mm256_set1_epi32(static_cast<int>(Exp10Consts::kTinyBits));
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 x = _mm256_loadu_ps(in + i);
        // Tiny lanes (10^x rounds to 1) become +0, which gives 1 exactly:
        // no arithmetic sees a subnormal, which would cost a microcode assist.
        const __m256i au = _mm256_and_si256(_mm256_castps_si256(x), _mm256_set1_epi32(0x7fffffff));
        const __m256 xz = _mm256_andnot_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(tiny, au)), x);
        int undecided;
        // The usual case: every result normal (or overflowing), no NaN.
        const __m256 usual =
            _mm256_and_ps(_mm256_cmp_ps(xz, normalLo, _CMP_GE_OQ), _mm256_cmp_ps(xz, hi, _CMP_LE_OQ));
        if (_mm256_movemask_ps(usual) == 0xff) {
            const __m256d y0 = exp10Lanes(_mm256_cvtps_pd(_mm256_castps256_ps128(xz)));
            const __m256d y1 = exp10Lanes(_mm256_cvtps_pd(_mm256_extractf128_ps(xz, 1)));
            undecided = (safeLanes(y0, kExpUlps) | (safeLanes(y1, kExpUlps) << 4)) ^ 0xff;
            _mm256_storeu_ps(out + i, toFloats(y0, y1));
        } else {
            const __m256 nan = _mm256_cmp_ps(xz, xz, _CMP_UNORD_Q);
            // NaN lanes become -46 here (max and min return their second
            // operand) and are replaced below.
            const __m256 xc = _mm256_min_ps(_mm256_max_ps(xz, lo), hi);
            const __m256d y0 = exp10Lanes(_mm256_cvtps_pd(_mm256_castps256_ps128(xc)));
            const __m256d y1 = exp10Lanes(_mm256_cvtps_pd(_mm256_extractf128_ps(xc, 1)));
            const __m256 below = toFloats(_mm256_mul_pd(y0, down), _mm256_mul_pd(y1, down));
            const __m256 above = toFloats(_mm256_mul_pd(y0, up), _mm256_mul_pd(y1, up));
            undecided = _mm256_movemask_ps(_mm256_andnot_ps(nan, _mm256_cmp_ps(below, above, _CMP_NEQ_UQ)));
            _mm256_storeu_ps(out + i, _mm256_blendv_ps(below, _mm256_add_ps(xz, xz), nan));
        }
        if (undecided) {
            alignas(32) float xs[8];
            _mm256_store_ps(xs, x);
            for (int l = 0; l < 8; ++l)
                if (undecided & (1 << l)) out[i + l] = crm::exp10f(xs[l]);
        }
    }
    for (; i < n; ++i) out[i] = crm::exp10f(in[i]);
}

namespace {
// log10 of eight lanes of positive normal floats (bits u), with exponent
// adjustments eAdj: results as floats and the undecided lanes.
inline __m256 log10Lanes8(__m256i u, __m256i eAdj, int& undecided) {
    const __m256i v = _mm256_sub_epi32(u, _mm256_set1_epi32(static_cast<int>(kLogOffset)));
    const __m256i e0 = _mm256_srai_epi32(v, 23);
    const __m256i e = _mm256_add_epi32(e0, eAdj);
    const __m256i j2 =
        _mm256_slli_epi32(_mm256_and_si256(_mm256_srli_epi32(v, 16), _mm256_set1_epi32(127)), 1);
    const __m256 m = _mm256_castsi256_ps(_mm256_sub_epi32(u, _mm256_slli_epi32(e0, 23)));
    const __m256d y0 = log10Lanes(_mm256_cvtps_pd(_mm256_castps256_ps128(m)),
                                  _mm256_cvtepi32_pd(_mm256_castsi256_si128(e)), _mm256_castsi256_si128(j2));
    const __m256d y1 = log10Lanes(_mm256_cvtps_pd(_mm256_extractf128_ps(m, 1)),
                                  _mm256_cvtepi32_pd(_mm256_extracti128_si256(e, 1)),
                                  _mm256_extracti128_si256(j2, 1));
    undecided = (safeLanes(y0, kLogUlps) | (safeLanes(y1, kLogUlps) << 4)) ^ 0xff;
    return toFloats(y0, y1);
}
}  // namespace

void log10Avx2(const float* in, float* out, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 x = _mm256_loadu_ps(in + i);
        const __m256i u0 = _mm256_castps_si256(x);
        int undecided;
        // The usual case: positive normal floats.
        const __m256i normal = _mm256_and_si256(_mm256_cmpgt_epi32(u0, _mm256_set1_epi32(0x007fffff)),
                                                _mm256_cmpgt_epi32(_mm256_set1_epi32(0x7f800000), u0));
        if (_mm256_movemask_ps(_mm256_castsi256_ps(normal)) == 0xff) {
            _mm256_storeu_ps(out + i, log10Lanes8(u0, _mm256_setzero_si256(), undecided));
        } else {
            // All in integers, as logSpecial: no arithmetic on subnormals.
            const __m256i au = _mm256_and_si256(u0, _mm256_set1_epi32(0x7fffffff));
            const __m256i negative = _mm256_srai_epi32(u0, 31);
            const __m256i zero = _mm256_cmpeq_epi32(au, _mm256_setzero_si256());
            const __m256i nan = _mm256_cmpgt_epi32(au, _mm256_set1_epi32(0x7f800000));
            const __m256i infNan = _mm256_cmpgt_epi32(au, _mm256_set1_epi32(0x7f7fffff));
            const __m256i special = _mm256_or_si256(_mm256_or_si256(negative, zero), infNan);
            // Subnormals u·2^-149 as the float u with eAdj = -149; special
            // lanes computed as 1.0.
            const __m256i sub =
                _mm256_andnot_si256(special, _mm256_cmpgt_epi32(_mm256_set1_epi32(0x00800000), au));
            __m256i u = _mm256_blendv_epi8(u0, _mm256_castps_si256(_mm256_cvtepi32_ps(u0)), sub);
            u = _mm256_blendv_epi8(u, _mm256_castps_si256(_mm256_set1_ps(1.0f)), special);
            const __m256 y = log10Lanes8(u, _mm256_and_si256(sub, _mm256_set1_epi32(-149)), undecided);
            undecided &= ~_mm256_movemask_ps(_mm256_castsi256_ps(special));
            // Special lanes: NaN -> the NaN made quiet (as x + x does on
            // x86), ±0 -> -inf, other negatives -> NaN, +inf -> +inf.
            __m256i sp = _mm256_blendv_epi8(u0, _mm256_set1_epi32(0x7fc00000), negative);
            sp = _mm256_blendv_epi8(sp, _mm256_set1_epi32(static_cast<int>(0xff800000u)), zero);
            sp = _mm256_blendv_epi8(sp, _mm256_or_si256(u0, _mm256_set1_epi32(0x00400000)), nan);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                                _mm256_blendv_epi8(_mm256_castps_si256(y), sp, special));
        }
        if (undecided) {
            alignas(32) float xs[8];
            _mm256_store_ps(xs, x);
            for (int l = 0; l < 8; ++l)
                if (undecided & (1 << l)) out[i + l] = crm::log10f(xs[l]);
        }
    }
    for (; i < n; ++i) out[i] = crm::log10f(in[i]);
}

}  // namespace crm::detail
