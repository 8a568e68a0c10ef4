// Batch forms with AVX2: eight floats a step, four double lanes at a time,
// the tables read with plain loads. Built with -mavx2 only (no FMA: the lanes
// must round exactly as the scalar code does), and called only when cpuid
// reports AVX2 with the operating system's support for it.
//
// The whole chain is bound by the vector units' throughput, so these loops
// spend as few vector micro-ops as they can: table rows are found with the
// scalar integer units (from the inputs' bits for log10, from a stored copy of
// the rounded arguments for exp10) instead of extracting lanes, the rounding
// test runs once on the eight lanes packed together, and constants stay in
// registers or are read as memory operands rather than rebuilt in the loop.
#include <immintrin.h>

#include <cstring>

#include "dsp/math/BatchKernels.h"
#include "dsp/math/CrMath.h"

namespace crm::detail {
namespace {

using namespace tables;

inline __m256d splat(double v) { return _mm256_set1_pd(v); }
// An integer constant the compiler may not rebuild or rewrite: GCC would
// otherwise rebuild splatted constants inside loops (two micro-ops each) and
// turn a > C into min and equality (two instead of one).
inline __m256i opaque(__m256i v) {
    asm("" : "+x"(v));
    return v;
}
inline __m256i splat32(std::uint32_t v) { return opaque(_mm256_set1_epi32(static_cast<int>(v))); }

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
// four lanes and row[1]. The rows at byte offsets o0..o3 from `table`.
inline void rowPairs(const char* table, std::uint32_t o0, std::uint32_t o1, std::uint32_t o2,
                     std::uint32_t o3, __m256d& first, __m256d& second) {
    const __m256d rows02 = _mm256_set_m128d(_mm_loadu_pd(reinterpret_cast<const double*>(table + o2)),
                                            _mm_loadu_pd(reinterpret_cast<const double*>(table + o0)));
    const __m256d rows13 = _mm256_set_m128d(_mm_loadu_pd(reinterpret_cast<const double*>(table + o3)),
                                            _mm_loadu_pd(reinterpret_cast<const double*>(table + o1)));
    first = _mm256_unpacklo_pd(rows02, rows13);
    second = _mm256_unpackhi_pd(rows02, rows13);
}
// The same with the rows' indices in a vector (two doubles a row).
inline void lookUpPairs(const double* table, __m128i index, __m256d& first, __m256d& second) {
    alignas(16) std::uint32_t at[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(at), _mm_slli_epi32(index, 4));
    rowPairs(reinterpret_cast<const char*>(table), at[0], at[1], at[2], at[3], first, second);
}

inline __m256 toFloats(__m256d a, __m256d b) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(a)), _mm256_cvtpd_ps(b), 1);
}

// roundsSafely() on the eight lanes of y0 (lanes 0-3) and y1 (4-7), as a mask
// of the lanes it rejects. The low 32 bits of each double lane decide; they
// are packed into one vector first, which swaps lanes 2, 3 with 4, 5 in the
// mask: put back here, where some lane is undecided (rarely).
struct RoundingTest {
    __m256i bias, low29, limit;
    explicit RoundingTest(std::uint32_t d)
        : bias(splat32(d - 0x10000000u)), low29(splat32(0x1fffffffu)), limit(splat32(2 * d + 1)) {}
    int undecided(__m256d y0, __m256d y1) const {
        const __m256i packed =
            _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castpd_ps(y0), _mm256_castpd_ps(y1), 0x88));
        const __m256i low = _mm256_and_si256(_mm256_add_epi32(packed, bias), low29);
        // Rejected where low <= 2d.
        const int m = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(limit, low)));
        if (CRM_LIKELY(m == 0)) return 0;
        return (m & 0xc3) | ((m & 0x0c) << 2) | ((m & 0x30) >> 2);
    }
};

// Constants of exp10's lanes, set up once before the loop.
struct Exp10Regs {
    __m256d c1 = splat(kExp10C1), shifter = splat(kShifter), cRest = splat(kExp10CRest);
    __m256d p0 = splat(kExpPoly[0]), p1 = splat(kExpPoly[1]), p2 = splat(kExpPoly[2]),
            p3 = splat(kExpPoly[3]), p4 = splat(kExpPoly[4]);
    __m256d b0 = splat(kExpPolyBatch[0]), b1 = splat(kExpPolyBatch[1]), b2 = splat(kExpPolyBatch[2]),
            b3 = splat(kExpPolyBatch[3]);
};

// The argument reduction of four lanes: t holds k in its low bits.
inline void exp10Reduce(const Exp10Regs& c, __m256d x, __m256d& t, __m256d& r) {
    const __m256d zh = _mm256_mul_pd(x, c.c1);
    t = _mm256_add_pd(zh, c.shifter);
    const __m256d kd = _mm256_sub_pd(t, c.shifter);
    r = _mm256_add_pd(_mm256_sub_pd(zh, kd), _mm256_mul_pd(x, c.cRest));
}
// s + s·q with s = 2^(j/64)·2^m: `table` holds 2^(j/64) of the four lanes,
// t the reduction's k. With the scalar path's polynomial, for steps whose
// lanes are bracketed.
inline __m256d exp10Finish(const Exp10Regs& c, __m256d t, __m256d r, __m256d table) {
    const __m256i tb = _mm256_castpd_si256(t);
    const __m256i scale = _mm256_slli_epi64(_mm256_srli_epi64(tb, 6), 52);
    const __m256d s = _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(table), scale));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d a = _mm256_add_pd(c.p0, _mm256_mul_pd(r, c.p1));
    const __m256d b = _mm256_add_pd(c.p2, _mm256_mul_pd(r, c.p3));
    const __m256d q =
        _mm256_mul_pd(r, _mm256_add_pd(a, _mm256_mul_pd(r2, _mm256_add_pd(b, _mm256_mul_pd(r2, c.p4)))));
    return _mm256_add_pd(s, _mm256_mul_pd(s, q));
}
// 2^(j/64) with j·2^46 taken off its bits. The low 18 bits of t's bits hold
// k = 64m + j modulo 2^18 (bits(kShifter) has only zeros there), so adding
// bits(t) << 46 then adds m << 52 modulo 2^64, as the scalar path's
// (bits(t) >> 6) << 52 does: the same s with one shift instead of two.
struct Exp2Shifted {
    double v[64];
};
constexpr Exp2Shifted makeExp2Shifted() {
    Exp2Shifted t{};
    for (unsigned j = 0; j < 64; ++j)
        t.v[j] = __builtin_bit_cast(double,
                                    __builtin_bit_cast(std::uint64_t, kExp2Hi[j]) - (std::uint64_t{j} << 46));
    return t;
}
constexpr Exp2Shifted kExp2Shifted = makeExp2Shifted();
static_assert((__builtin_bit_cast(std::uint64_t, kShifter) & 0x3ffffu) == 0, "k alone in the low 18 bits");

// The same with the lanes' own polynomial, one degree lower, for usual steps
// (|x| <= kExp10BatchUsual): `shifted` holds the lanes' kExp2Shifted.
inline __m256d exp10FinishBatch(const Exp10Regs& c, __m256d t, __m256d r, __m256d shifted) {
    const __m256i scale = _mm256_slli_epi64(_mm256_castpd_si256(t), 46);
    const __m256d s = _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(shifted), scale));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d a = _mm256_add_pd(c.b0, _mm256_mul_pd(r, c.b1));
    const __m256d b = _mm256_add_pd(c.b2, _mm256_mul_pd(r, c.b3));
    const __m256d q = _mm256_mul_pd(r, _mm256_add_pd(a, _mm256_mul_pd(r2, b)));
    return _mm256_add_pd(s, _mm256_mul_pd(s, q));
}
inline __m256d exp10Lanes(const Exp10Regs& c, __m256d x) {
    __m256d t, r;
    exp10Reduce(c, x, t, r);
    const __m256i j = _mm256_and_si256(_mm256_castpd_si256(t), _mm256_set1_epi64x(63));
    return exp10Finish(c, t, r, lookUp(kExp2Hi, j));
}

// Constants of log10's lanes: their own polynomial, and log10 2 in one piece
// (the error bounds are in BatchKernels.h).
struct Log10Regs {
    __m256d one = splat(1.0), c0 = splat(kLog10PolyBatch[0]), c1 = splat(kLog10PolyBatch[1]),
            c2 = splat(kLog10PolyBatch[2]), c3 = splat(kLog10PolyBatch[3]), c4 = splat(kLog10PolyBatch[4]),
            log10Of2 = splat(kLog10Of2);
    __m256i offset = splat32(kLogOffset);
};

inline __m256d log10Lanes(const Log10Regs& c, __m256d m, __m256d e, __m256d inv, __m256d logv) {
    const __m256d r = _mm256_sub_pd(_mm256_mul_pd(m, inv), c.one);
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d a0 = _mm256_add_pd(c.c0, _mm256_mul_pd(r, c.c1));
    const __m256d a1 = _mm256_add_pd(c.c2, _mm256_mul_pd(r, c.c3));
    const __m256d p =
        _mm256_mul_pd(r, _mm256_add_pd(a0, _mm256_mul_pd(r2, _mm256_add_pd(a1, _mm256_mul_pd(r2, c.c4)))));
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(e, c.log10Of2), logv), p);
}

}  // namespace

void exp10Avx2(const float* in, float* out, int n) {
    const Exp10Regs c;
    const RoundingTest test(kExp10BatchUlps);
    const __m256 lo = _mm256_set1_ps(-kExp10Clamp), hi = _mm256_set1_ps(kExp10Clamp);
    // |x| <= kExp10BatchUsual (and not NaN), tested on the bits.
    static_assert(kExp10BatchUsual == 37.5f && -kExp10BatchUsual >= Exp10Consts::kSubnormalBelow, "");
    const __m256i usualEnd = splat32(0x42160000u);
    const __m256d down = splat(1.0 - kExpBracket), up = splat(1.0 + kExpBracket);
    const __m256i tiny = splat32(Exp10Consts::kTinyBits);
    const __m256i magnitude = splat32(0x7fffffffu);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 x = _mm256_loadu_ps(in + i);
        // Tiny lanes (10^x rounds to 1) become +0, which gives 1 exactly:
        // no arithmetic sees a subnormal, which would cost a microcode assist.
        const __m256i au = _mm256_and_si256(_mm256_castps_si256(x), magnitude);
        const __m256 xz = _mm256_andnot_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(tiny, au)), x);
        int undecided;
        // The usual case: every result normal, no NaN.
        if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(au, usualEnd))) == 0) {
            __m256d t0, r0, t1, r1;
            exp10Reduce(c, _mm256_cvtps_pd(_mm256_castps256_ps128(xz)), t0, r0);
            exp10Reduce(c, _mm256_cvtps_pd(_mm256_extractf128_ps(xz, 1)), t1, r1);
            // The table indices j from the low bits of k, read back by the
            // integer units from a stored copy.
            alignas(32) std::uint64_t k[8];
            _mm256_store_pd(reinterpret_cast<double*>(k), t0);
            _mm256_store_pd(reinterpret_cast<double*>(k + 4), t1);
            // Read back from memory, not extracted lane by lane as GCC
            // would otherwise do (two micro-ops a lane).
            asm("" : "+m"(k));
            const auto at = [&](int l) { return &kExp2Shifted.v[k[l] & 63]; };
            const __m256d s0 = _mm256_set_m128d(_mm_loadh_pd(_mm_load_sd(at(2)), at(3)),
                                                _mm_loadh_pd(_mm_load_sd(at(0)), at(1)));
            const __m256d s1 = _mm256_set_m128d(_mm_loadh_pd(_mm_load_sd(at(6)), at(7)),
                                                _mm_loadh_pd(_mm_load_sd(at(4)), at(5)));
            const __m256d y0 = exp10FinishBatch(c, t0, r0, s0);
            const __m256d y1 = exp10FinishBatch(c, t1, r1, s1);
            undecided = test.undecided(y0, y1);
            _mm256_storeu_ps(out + i, toFloats(y0, y1));
        } else {
            const __m256 nan = _mm256_cmp_ps(xz, xz, _CMP_UNORD_Q);
            // NaN lanes become -46 here (max and min return their second
            // operand) and are replaced below.
            const __m256 xc = _mm256_min_ps(_mm256_max_ps(xz, lo), hi);
            const __m256d y0 = exp10Lanes(c, _mm256_cvtps_pd(_mm256_castps256_ps128(xc)));
            const __m256d y1 = exp10Lanes(c, _mm256_cvtps_pd(_mm256_extractf128_ps(xc, 1)));
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
// adjustments eAdj, and their rows {inv, logv} of the table: results as
// floats and the undecided lanes.
inline __m256 log10Lanes8(const Log10Regs& c, const RoundingTest& test, __m256i u, __m256i e,
                          __m256d inv0, __m256d logv0, __m256d inv1, __m256d logv1, int& undecided) {
    const __m256i v = _mm256_sub_epi32(u, c.offset);
    const __m256i e0 = _mm256_srai_epi32(v, 23);
    const __m256 m = _mm256_castsi256_ps(_mm256_sub_epi32(u, _mm256_slli_epi32(e0, 23)));
    e = _mm256_add_epi32(e0, e);
    const __m256d y0 = log10Lanes(c, _mm256_cvtps_pd(_mm256_castps256_ps128(m)),
                                  _mm256_cvtepi32_pd(_mm256_castsi256_si128(e)), inv0, logv0);
    const __m256d y1 = log10Lanes(c, _mm256_cvtps_pd(_mm256_extractf128_ps(m, 1)),
                                  _mm256_cvtepi32_pd(_mm256_extracti128_si256(e, 1)), inv1, logv1);
    undecided = test.undecided(y0, y1);
    return toFloats(y0, y1);
}
}  // namespace

void log10Avx2(const float* in, float* out, int n) {
    const Log10Regs c;
    const RoundingTest test(kLog10BatchUlps);
    // u + 0x7f800000 is at most 0xfeffffff, as a signed number below
    // -0x01000000, exactly for the positive normal floats u.
    const __m256i normalShift = splat32(0x7f800000u);
    const __m256i normalEnd = splat32(0xfeffffffu);
    const char* table = reinterpret_cast<const char*>(&kLog10Table[0].inv);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 x = _mm256_loadu_ps(in + i);
        const __m256i u0 = _mm256_castps_si256(x);
        int undecided;
        // The usual case: positive normal floats.
        const __m256i unusual = _mm256_cmpgt_epi32(_mm256_add_epi32(u0, normalShift), normalEnd);
        if (_mm256_movemask_ps(_mm256_castsi256_ps(unusual)) == 0) {
            // The rows' byte offsets (16·j) from the inputs' bits, by the
            // integer units.
            const auto at = [&](int l) {
                std::uint32_t b;
                std::memcpy(&b, in + i + l, sizeof b);
                return ((b - kLogOffset) >> 12) & 0x7f0u;
            };
            __m256d inv0, logv0, inv1, logv1;
            rowPairs(table, at(0), at(1), at(2), at(3), inv0, logv0);
            rowPairs(table, at(4), at(5), at(6), at(7), inv1, logv1);
            _mm256_storeu_ps(out + i, log10Lanes8(c, test, u0, _mm256_setzero_si256(), inv0, logv0, inv1,
                                                  logv1, undecided));
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
            const __m256i j = _mm256_and_si256(_mm256_srli_epi32(_mm256_sub_epi32(u, c.offset), 16),
                                               _mm256_set1_epi32(127));
            __m256d inv0, logv0, inv1, logv1;
            lookUpPairs(&kLog10Table[0].inv, _mm256_castsi256_si128(j), inv0, logv0);
            lookUpPairs(&kLog10Table[0].inv, _mm256_extracti128_si256(j, 1), inv1, logv1);
            const __m256 y = log10Lanes8(c, test, u, _mm256_and_si256(sub, _mm256_set1_epi32(-149)), inv0,
                                         logv0, inv1, logv1, undecided);
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
