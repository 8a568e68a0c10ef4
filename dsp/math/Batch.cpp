// Batch forms: the portable loop, SSE2 (x86-64's baseline), and the choice of
// instruction set, made once while the library loads.
#include <atomic>
#include <cstring>

#include "dsp/math/BatchKernels.h"
#include "dsp/math/CrMath.h"
#include "dsp/math/Sse2Lanes.h"

#if CRM_X86
#include <emmintrin.h>
#endif

namespace crm {
namespace detail {

void log10Portable(const float* in, float* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = crm::log10f(in[i]);
}

void exp10Portable(const float* in, float* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = crm::exp10f(in[i]);
}

#if CRM_X86
namespace {

using namespace tables;

// The float results of two double vectors (lanes 0, 1 and 2, 3).
inline __m128 toFloats(__m128d a, __m128d b) {
    return _mm_movelh_ps(_mm_cvtpd_ps(a), _mm_cvtpd_ps(b));
}

// ---- exp10 on two lanes (|x| <= 46), as expFastImpl; with the lanes' own
// polynomial where `batchPoly` (|x| <= kExp10BatchUsual).
template <bool batchPoly>
inline __m128d exp10Lanes(__m128d x) {
    const __m128d shifter = splat(kShifter);
    const __m128d zh = _mm_mul_pd(x, splat(kExp10C1));
    const __m128d t = _mm_add_pd(zh, shifter);
    const __m128i tb = _mm_castpd_si128(t);
    const __m128d kd = _mm_sub_pd(t, shifter);
    const __m128d r = _mm_add_pd(_mm_sub_pd(zh, kd), _mm_mul_pd(x, splat(kExp10CRest)));
    const int j0 = _mm_cvtsi128_si32(tb) & 63;
    const int j1 = _mm_extract_epi16(tb, 4) & 63;
    const __m128d table = _mm_loadh_pd(_mm_load_sd(&kExp2Hi[j0]), &kExp2Hi[j1]);
    const __m128i scale = _mm_slli_epi64(_mm_srli_epi64(tb, 6), 52);
    const __m128d s = _mm_castsi128_pd(_mm_add_epi64(_mm_castpd_si128(table), scale));
    const __m128d r2 = _mm_mul_pd(r, r);
    if constexpr (batchPoly) {
        const double* c = kExpPolyBatch;
        const __m128d a = _mm_add_pd(splat(c[0]), _mm_mul_pd(r, splat(c[1])));
        const __m128d b = _mm_add_pd(splat(c[2]), _mm_mul_pd(r, splat(c[3])));
        const __m128d q = _mm_mul_pd(r, _mm_add_pd(a, _mm_mul_pd(r2, b)));
        return _mm_add_pd(s, _mm_mul_pd(s, q));
    }
    const __m128d a = _mm_add_pd(splat(kExpPoly[0]), _mm_mul_pd(r, splat(kExpPoly[1])));
    const __m128d b = _mm_add_pd(splat(kExpPoly[2]), _mm_mul_pd(r, splat(kExpPoly[3])));
    const __m128d q =
        _mm_mul_pd(r, _mm_add_pd(a, _mm_mul_pd(r2, _mm_add_pd(b, _mm_mul_pd(r2, splat(kExpPoly[4]))))));
    return _mm_add_pd(s, _mm_mul_pd(s, q));
}

inline __m128 select(__m128 mask, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

}  // namespace

void exp10Sse2(const float* in, float* out, int n) {
    const __m128 lo = _mm_set1_ps(-kExp10Clamp), hi = _mm_set1_ps(kExp10Clamp);
    const __m128d down = splat(1.0 - kExpBracket), up = splat(1.0 + kExpBracket);
    const __m128i tiny = opaque(_mm_set1_epi32(static_cast<int>(Exp10Consts::kTinyBits)));
    const __m128i magnitude = opaque(_mm_set1_epi32(0x7fffffff));
    // |x| <= kExp10BatchUsual (and not NaN), tested on the bits.
    static_assert(kExp10BatchUsual == 37.5f && -kExp10BatchUsual >= Exp10Consts::kSubnormalBelow, "");
    const __m128i usualEnd = opaque(_mm_set1_epi32(0x42160000));
    const RoundingTest test(kExp10BatchUlps);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(in + i);
        // Tiny lanes (10^x rounds to 1) become +0, which gives 1 exactly:
        // no arithmetic sees a subnormal, which would cost a microcode assist.
        const __m128i au = _mm_and_si128(_mm_castps_si128(x), magnitude);
        const __m128 xz = _mm_andnot_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(tiny, au)), x);
        int undecided;
        // The usual case: every result normal, no NaN.
        if (_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(au, usualEnd))) == 0) {
            const __m128d y0 = exp10Lanes<true>(_mm_cvtps_pd(xz));
            const __m128d y1 = exp10Lanes<true>(_mm_cvtps_pd(_mm_movehl_ps(xz, xz)));
            undecided = test.undecided(y0, y1);
            _mm_storeu_ps(out + i, toFloats(y0, y1));
        } else {
            const __m128 nan = _mm_cmpunord_ps(xz, xz);
            // max and min return their second operand for NaN: NaN lanes
            // become -46 here and are replaced below.
            const __m128 xc = _mm_min_ps(_mm_max_ps(xz, lo), hi);
            const __m128d y0 = exp10Lanes<false>(_mm_cvtps_pd(xc));
            const __m128d y1 = exp10Lanes<false>(_mm_cvtps_pd(_mm_movehl_ps(xc, xc)));
            const __m128 below = toFloats(_mm_mul_pd(y0, down), _mm_mul_pd(y1, down));
            const __m128 above = toFloats(_mm_mul_pd(y0, up), _mm_mul_pd(y1, up));
            undecided = _mm_movemask_ps(_mm_andnot_ps(nan, _mm_cmpneq_ps(below, above)));
            _mm_storeu_ps(out + i, select(nan, _mm_add_ps(xz, xz), below));
        }
        if (undecided) {
            alignas(16) float xs[4];
            _mm_store_ps(xs, x);
            for (int l = 0; l < 4; ++l)
                if (undecided & (1 << l)) out[i + l] = crm::exp10f(xs[l]);
        }
    }
    for (; i < n; ++i) out[i] = crm::exp10f(in[i]);
}

namespace {
// log10 of four lanes of positive normal floats (bits u), with exponent
// adjustments eAdj and the lanes' table rows: results as floats and the
// undecided lanes.
inline __m128 log10Lanes4(__m128i u, __m128i eAdj, const InvLog* const rows[4], const RoundingTest& test,
                          int& undecided) {
    const __m128i v = _mm_sub_epi32(u, _mm_set1_epi32(static_cast<int>(kLogOffset)));
    const __m128i e0 = _mm_srai_epi32(v, 23);
    const __m128i e = _mm_add_epi32(e0, eAdj);
    const __m128 m = _mm_castsi128_ps(_mm_sub_epi32(u, _mm_slli_epi32(e0, 23)));
    const __m128d y0 = log10Lanes(_mm_cvtps_pd(m), _mm_cvtepi32_pd(e), *rows[0], *rows[1]);
    const __m128d e23 = _mm_cvtepi32_pd(_mm_shuffle_epi32(e, 0xee));
    const __m128d y1 = log10Lanes(_mm_cvtps_pd(_mm_movehl_ps(m, m)), e23, *rows[2], *rows[3]);
    undecided = test.undecided(y0, y1);
    return toFloats(y0, y1);
}

inline __m128i selectInt(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
}  // namespace

void log10Sse2(const float* in, float* out, int n) {
    const RoundingTest test(kLog10BatchUlps);
    // u + 0x7f800000 is at most 0xfeffffff, as a signed number below
    // -0x01000000, exactly for the positive normal floats u.
    const __m128i normalShift = opaque(_mm_set1_epi32(0x7f800000));
    const __m128i normalEnd = opaque(_mm_set1_epi32(-0x01000001));
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(in + i);
        const __m128i u0 = _mm_castps_si128(x);
        int undecided;
        // The usual case: positive normal floats.
        const __m128i unusual = _mm_cmpgt_epi32(_mm_add_epi32(u0, normalShift), normalEnd);
        if (_mm_movemask_ps(_mm_castsi128_ps(unusual)) == 0) {
            // The rows from the inputs' bits, by the integer units.
            const InvLog* rows[4];
            for (int l = 0; l < 4; ++l) {
                std::uint32_t b;
                std::memcpy(&b, in + i + l, sizeof b);
                rows[l] = &kLog10Table[((b - kLogOffset) >> 16) & 127u];
            }
            _mm_storeu_ps(out + i, log10Lanes4(u0, _mm_setzero_si128(), rows, test, undecided));
        } else {
            // All in integers, as logSpecial: no arithmetic on subnormals.
            const __m128i au = _mm_and_si128(u0, _mm_set1_epi32(0x7fffffff));
            const __m128i negative = _mm_srai_epi32(u0, 31);
            const __m128i zero = _mm_cmpeq_epi32(au, _mm_setzero_si128());
            const __m128i nan = _mm_cmpgt_epi32(au, _mm_set1_epi32(0x7f800000));
            const __m128i infNan = _mm_cmpgt_epi32(au, _mm_set1_epi32(0x7f7fffff));
            const __m128i special = _mm_or_si128(_mm_or_si128(negative, zero), infNan);
            // Subnormals u·2^-149 as the float u with eAdj = -149; special
            // lanes computed as 1.0.
            const __m128i sub = _mm_andnot_si128(special, _mm_cmplt_epi32(au, _mm_set1_epi32(0x00800000)));
            __m128i u = selectInt(sub, _mm_castps_si128(_mm_cvtepi32_ps(u0)), u0);
            u = selectInt(special, _mm_castps_si128(_mm_set1_ps(1.0f)), u);
            const __m128i v = _mm_sub_epi32(u, _mm_set1_epi32(static_cast<int>(kLogOffset)));
            alignas(16) std::uint32_t js[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(js),
                            _mm_and_si128(_mm_srli_epi32(v, 16), _mm_set1_epi32(127)));
            const InvLog* const rows[4] = {&kLog10Table[js[0]], &kLog10Table[js[1]], &kLog10Table[js[2]],
                                           &kLog10Table[js[3]]};
            const __m128 y = log10Lanes4(u, _mm_and_si128(sub, _mm_set1_epi32(-149)), rows, test, undecided);
            undecided &= ~_mm_movemask_ps(_mm_castsi128_ps(special));
            // Special lanes: NaN -> the NaN made quiet (as x + x does on
            // x86), ±0 -> -inf, other negatives -> NaN, +inf -> +inf.
            __m128i sp = selectInt(negative, _mm_set1_epi32(0x7fc00000), u0);
            sp = selectInt(zero, _mm_set1_epi32(static_cast<int>(0xff800000u)), sp);
            sp = selectInt(nan, _mm_or_si128(u0, _mm_set1_epi32(0x00400000)), sp);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), selectInt(special, sp, _mm_castps_si128(y)));
        }
        if (undecided) {
            alignas(16) float xs[4];
            _mm_store_ps(xs, x);
            for (int l = 0; l < 4; ++l)
                if (undecided & (1 << l)) out[i + l] = crm::log10f(xs[l]);
        }
    }
    for (; i < n; ++i) out[i] = crm::log10f(in[i]);
}
#endif  // CRM_X86

namespace {

using BatchFn = void (*)(const float*, float*, int);

struct Choice {
    BatchFn log10;
    BatchFn exp10;
    Isa isa;
};

Choice choose() {
#if defined(CRM_HAVE_AVX2)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return {log10Avx2, exp10Avx2, Isa::Avx2};
#endif
#if CRM_X86
    return {log10Sse2, exp10Sse2, Isa::Sse2};
#else
    return {log10Portable, exp10Portable, Isa::Portable};
#endif
}

// Constant-initialised to a path every CPU of the architecture runs, so a
// call made before the initialiser below (from another library's static
// initialiser) is still correct; the initialiser then installs the best path
// once, at load time. Relaxed atomics: never a lock on the audio thread.
#if CRM_X86
std::atomic<BatchFn> gLog10{log10Sse2};
std::atomic<BatchFn> gExp10{exp10Sse2};
std::atomic<Isa> gIsa{Isa::Sse2};
#else
std::atomic<BatchFn> gLog10{log10Portable};
std::atomic<BatchFn> gExp10{exp10Portable};
std::atomic<Isa> gIsa{Isa::Portable};
#endif

bool install() {
    const Choice c = choose();
    gLog10.store(c.log10, std::memory_order_relaxed);
    gExp10.store(c.exp10, std::memory_order_relaxed);
    gIsa.store(c.isa, std::memory_order_relaxed);
    return true;
}
const bool gInstalled = install();

}  // namespace
}  // namespace detail

void log10Batch(const float* in, float* out, int n) {
    detail::gLog10.load(std::memory_order_relaxed)(in, out, n);
}

void exp10Batch(const float* in, float* out, int n) {
    detail::gExp10.load(std::memory_order_relaxed)(in, out, n);
}

Isa batchIsa() {
    (void)detail::gInstalled;
    return detail::gIsa.load(std::memory_order_relaxed);
}

bool isaAvailable(Isa isa) {
    switch (isa) {
    case Isa::Portable:
        return true;
    case Isa::Sse2:
        return CRM_X86 != 0;
    case Isa::Avx2:
#if defined(CRM_HAVE_AVX2)
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    }
    return false;
}

const char* isaName(Isa isa) {
    switch (isa) {
    case Isa::Portable:
        return "portable";
    case Isa::Sse2:
        return "sse2";
    case Isa::Avx2:
        return "avx2";
    }
    return "?";
}

namespace {
detail::BatchFn pick(Isa isa, bool log10) {
    switch (isa) {
#if CRM_X86
    case Isa::Sse2:
        return log10 ? detail::log10Sse2 : detail::exp10Sse2;
#endif
#if defined(CRM_HAVE_AVX2)
    case Isa::Avx2:
        return log10 ? detail::log10Avx2 : detail::exp10Avx2;
#endif
    default:
        return log10 ? detail::log10Portable : detail::exp10Portable;
    }
}
}  // namespace

void log10Batch(Isa isa, const float* in, float* out, int n) { pick(isa, true)(in, out, n); }
void exp10Batch(Isa isa, const float* in, float* out, int n) { pick(isa, false)(in, out, n); }

}  // namespace crm
