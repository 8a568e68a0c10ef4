// The lane types of the chain. F2 holds both channels of one oversampled
// step (two floats), D2 two doubles, F4 four floats: two steps of both
// channels (channel 1, channel 2, channel 1, channel 2), or both channels of
// two recursions side by side; D4 their four double sums. The chain runs
// both channels, and where nothing feeds back two steps or two recursions,
// through the same straight-line code. Every operation is the IEEE operation
// of the scalar code lane by lane: the results are the same bits as one
// value at a time.
//
// Two implementations, chosen at compile time: SSE2 registers on x86-64, and
// plain arrays everywhere else (or with KVB_SCALAR_LANES defined). Only the
// speed differs. D4Pair holds four doubles as two D2; the chain's AVX2 form
// holds them in one register instead (D4Ymm, WideLanes.h).
#pragma once

#include <cstring>

#if defined(__SSE2__) && !defined(KVB_SCALAR_LANES)
#define KVB_SSE2_LANES 1
#include <emmintrin.h>
#else
#define KVB_SSE2_LANES 0
#endif

// For the small functions of the per-step recursions: the chain's loops want
// them as one straight run of code, whatever the inliner's budget.
#if defined(__GNUC__)
#define KVB_ALWAYS_INLINE __attribute__((always_inline))
// The same, and everything it calls compiled into it as well.
#define KVB_FLATTEN __attribute__((always_inline, flatten))
#else
#define KVB_ALWAYS_INLINE
#define KVB_FLATTEN
#endif

#if KVB_SSE2_LANES

// Lanes 0 and 1 of an SSE register; F2 keeps lanes 2 and 3 at zero.
struct F2 {
    __m128 v;
};
struct D2 {
    __m128d v;
};
// Masks are lanes of all ones or all zeros. They and select are written as
// GCC's vector comparisons and conditionals, not as intrinsics: each compiled
// form of the chain then expands the select with its own instructions (one
// blend where AVX is on, and/andnot/or on plain SSE2).
#if defined(__GNUC__)
#define KVB_VECTOR_SELECT 1
typedef int KvbMaskLanes __attribute__((vector_size(16)));
#else
#define KVB_VECTOR_SELECT 0
typedef __m128 KvbMaskLanes;
#endif
struct Mask2 {
    KvbMaskLanes m;
};
struct F4 {
    __m128 v;
};
struct Mask4 {
    KvbMaskLanes m;
};

inline F2 f2(float a, float b) { return {_mm_setr_ps(a, b, 0.0f, 0.0f)}; }
inline D2 d2(double a) { return {_mm_set1_pd(a)}; }
inline D2 d2(double a, double b) { return {_mm_setr_pd(a, b)}; }
inline F2 zero2() { return {_mm_setzero_ps()}; }
inline D2 zeroD2() { return {_mm_setzero_pd()}; }

inline float lane0(F2 a) { return _mm_cvtss_f32(a.v); }
inline float lane1(F2 a) { return _mm_cvtss_f32(_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(3, 2, 0, 1))); }
inline double lane0(D2 a) { return _mm_cvtsd_f64(a.v); }
inline double lane1(D2 a) { return _mm_cvtsd_f64(_mm_unpackhi_pd(a.v, a.v)); }

inline F2 operator+(F2 a, F2 b) { return {_mm_add_ps(a.v, b.v)}; }
inline F2 operator-(F2 a, F2 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline F2 operator*(F2 a, F2 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline D2 operator+(D2 a, D2 b) { return {_mm_add_pd(a.v, b.v)}; }
inline D2 operator-(D2 a, D2 b) { return {_mm_sub_pd(a.v, b.v)}; }
inline D2 operator*(D2 a, D2 b) { return {_mm_mul_pd(a.v, b.v)}; }
inline F2 operator/(F2 a, F2 b) { return {_mm_div_ps(a.v, b.v)}; }

// float -> double is exact; double -> float rounds to nearest.
inline D2 widen(F2 a) { return {_mm_cvtps_pd(a.v)}; }
inline F2 narrow(D2 a) { return {_mm_cvtpd_ps(a.v)}; }

inline F2 abs(F2 a) { return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)}; }
// -a, by its sign bit: the same bits as a·(−1) for every number.
inline D2 negated(D2 a) { return {_mm_xor_pd(a.v, _mm_set1_pd(-0.0))}; }
inline F4 abs(F4 a) { return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)}; }

#if KVB_VECTOR_SELECT
inline Mask2 operator>(F2 a, F2 b) { return {a.v > b.v}; }
inline Mask2 operator<(F2 a, F2 b) { return {a.v < b.v}; }
inline F2 select(Mask2 m, F2 a, F2 b) { return {m.m ? a.v : b.v}; }
// Bit 0 for lane 0, bit 1 for lane 1.
inline int bits(Mask2 m) { return _mm_movemask_ps(reinterpret_cast<__m128>(m.m)) & 3; }
#else
inline Mask2 operator>(F2 a, F2 b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline Mask2 operator<(F2 a, F2 b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline F2 select(Mask2 m, F2 a, F2 b) { return {_mm_or_ps(_mm_and_ps(m.m, a.v), _mm_andnot_ps(m.m, b.v))}; }
inline int bits(Mask2 m) { return _mm_movemask_ps(m.m) & 3; }
#endif

// Pairs kept in dense arrays of floats: channel 1, then channel 2.
inline F2 loadPair(const float* p) {
    double d;
    std::memcpy(&d, p, sizeof d);
    return {_mm_castpd_ps(_mm_set_sd(d))};
}
inline void storePair(float* p, F2 a) {
    const double d = _mm_cvtsd_f64(_mm_castps_pd(a.v));
    std::memcpy(p, &d, sizeof d);
}

inline F4 load4(const float* p) { return {_mm_loadu_ps(p)}; }
inline void store4(float* p, F4 a) { _mm_storeu_ps(p, a.v); }
// A per-channel value for both steps: (a, b, a, b).
inline F4 f4(F2 pair) { return {_mm_movelh_ps(pair.v, pair.v)}; }
inline F4 f4(float a) { return {_mm_set1_ps(a)}; }
inline F4 zero4() { return {_mm_setzero_ps()}; }

inline F4 operator+(F4 a, F4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline F4 operator-(F4 a, F4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline F4 operator*(F4 a, F4 b) { return {_mm_mul_ps(a.v, b.v)}; }
#if KVB_VECTOR_SELECT
inline Mask4 operator>(F4 a, F4 b) { return {a.v > b.v}; }
inline Mask4 operator<(F4 a, F4 b) { return {a.v < b.v}; }
inline F4 select(Mask4 m, F4 a, F4 b) { return {m.m ? a.v : b.v}; }
#else
inline Mask4 operator>(F4 a, F4 b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline Mask4 operator<(F4 a, F4 b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline F4 select(Mask4 m, F4 a, F4 b) { return {_mm_or_ps(_mm_and_ps(m.m, a.v), _mm_andnot_ps(m.m, b.v))}; }
#endif

// Two pairs as one F4 and back.
inline F4 f4(F2 low, F2 high) { return {_mm_movelh_ps(low.v, high.v)}; }
inline F2 low(F4 a) { return {_mm_movelh_ps(a.v, _mm_setzero_ps())}; }
inline F2 high(F4 a) { return {_mm_movehl_ps(_mm_setzero_ps(), a.v)}; }
// Lanes 0, 1 and lanes 2, 3 widened to double, and back.
inline D2 widenLow(F4 a) { return {_mm_cvtps_pd(a.v)}; }
inline D2 widenHigh(F4 a) { return {_mm_cvtps_pd(_mm_movehl_ps(a.v, a.v))}; }
inline F4 narrow(D2 low, D2 high) { return {_mm_movelh_ps(_mm_cvtpd_ps(low.v), _mm_cvtpd_ps(high.v))}; }

// Channel 1 and channel 2 of four steps from the pairs of two F4s.
inline F4 channel1Of(F4 a, F4 b) { return {_mm_shuffle_ps(a.v, b.v, _MM_SHUFFLE(2, 0, 2, 0))}; }
inline F4 channel2Of(F4 a, F4 b) { return {_mm_shuffle_ps(a.v, b.v, _MM_SHUFFLE(3, 1, 3, 1))}; }
// One value per step to pairs: steps 0 and 1, and steps 2 and 3.
inline F4 pairsOfLow(F4 a) { return {_mm_unpacklo_ps(a.v, a.v)}; }
inline F4 pairsOfHigh(F4 a) { return {_mm_unpackhi_ps(a.v, a.v)}; }

#else  // plain lanes

struct F2 {
    float v[2];
};
struct D2 {
    double v[2];
};
struct Mask2 {
    bool m[2];
};
struct F4 {
    float v[4];
};
struct Mask4 {
    bool m[4];
};

inline F2 f2(float a, float b) { return {{a, b}}; }
inline D2 d2(double a) { return {{a, a}}; }
inline D2 d2(double a, double b) { return {{a, b}}; }
inline F2 zero2() { return {{0.0f, 0.0f}}; }
inline D2 zeroD2() { return {{0.0, 0.0}}; }

inline float lane0(F2 a) { return a.v[0]; }
inline float lane1(F2 a) { return a.v[1]; }
inline double lane0(D2 a) { return a.v[0]; }
inline double lane1(D2 a) { return a.v[1]; }

inline F2 operator+(F2 a, F2 b) { return {{a.v[0] + b.v[0], a.v[1] + b.v[1]}}; }
inline F2 operator-(F2 a, F2 b) { return {{a.v[0] - b.v[0], a.v[1] - b.v[1]}}; }
inline F2 operator*(F2 a, F2 b) { return {{a.v[0] * b.v[0], a.v[1] * b.v[1]}}; }
inline D2 operator+(D2 a, D2 b) { return {{a.v[0] + b.v[0], a.v[1] + b.v[1]}}; }
inline D2 operator-(D2 a, D2 b) { return {{a.v[0] - b.v[0], a.v[1] - b.v[1]}}; }
inline D2 operator*(D2 a, D2 b) { return {{a.v[0] * b.v[0], a.v[1] * b.v[1]}}; }
inline F2 operator/(F2 a, F2 b) { return {{a.v[0] / b.v[0], a.v[1] / b.v[1]}}; }

inline D2 widen(F2 a) { return {{static_cast<double>(a.v[0]), static_cast<double>(a.v[1])}}; }
inline D2 negated(D2 a) { return {{-a.v[0], -a.v[1]}}; }
inline F2 narrow(D2 a) { return {{static_cast<float>(a.v[0]), static_cast<float>(a.v[1])}}; }

// The sign bit cleared, as the SSE form does (for NaN too).
inline float clearSign(float x) {
    unsigned u;
    std::memcpy(&u, &x, sizeof u);
    u &= 0x7fffffffu;
    std::memcpy(&x, &u, sizeof x);
    return x;
}
inline F2 abs(F2 a) { return {{clearSign(a.v[0]), clearSign(a.v[1])}}; }
inline F4 abs(F4 a) { return {{clearSign(a.v[0]), clearSign(a.v[1]), clearSign(a.v[2]), clearSign(a.v[3])}}; }

inline Mask2 operator>(F2 a, F2 b) { return {{a.v[0] > b.v[0], a.v[1] > b.v[1]}}; }
inline Mask2 operator<(F2 a, F2 b) { return {{a.v[0] < b.v[0], a.v[1] < b.v[1]}}; }
inline F2 select(Mask2 m, F2 a, F2 b) { return {{m.m[0] ? a.v[0] : b.v[0], m.m[1] ? a.v[1] : b.v[1]}}; }
inline int bits(Mask2 m) { return (m.m[0] ? 1 : 0) | (m.m[1] ? 2 : 0); }

inline F2 loadPair(const float* p) { return {{p[0], p[1]}}; }
inline void storePair(float* p, F2 a) {
    p[0] = a.v[0];
    p[1] = a.v[1];
}

inline F4 load4(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
inline void store4(float* p, F4 a) { std::memcpy(p, a.v, sizeof a.v); }
inline F4 f4(F2 pair) { return {{pair.v[0], pair.v[1], pair.v[0], pair.v[1]}}; }
inline F4 f4(float a) { return {{a, a, a, a}}; }
inline F4 zero4() { return {{0.0f, 0.0f, 0.0f, 0.0f}}; }

inline F4 operator+(F4 a, F4 b) {
    return {{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3]}};
}
inline F4 operator-(F4 a, F4 b) {
    return {{a.v[0] - b.v[0], a.v[1] - b.v[1], a.v[2] - b.v[2], a.v[3] - b.v[3]}};
}
inline F4 operator*(F4 a, F4 b) {
    return {{a.v[0] * b.v[0], a.v[1] * b.v[1], a.v[2] * b.v[2], a.v[3] * b.v[3]}};
}
inline Mask4 operator>(F4 a, F4 b) {
    return {{a.v[0] > b.v[0], a.v[1] > b.v[1], a.v[2] > b.v[2], a.v[3] > b.v[3]}};
}
inline Mask4 operator<(F4 a, F4 b) {
    return {{a.v[0] < b.v[0], a.v[1] < b.v[1], a.v[2] < b.v[2], a.v[3] < b.v[3]}};
}
inline F4 select(Mask4 m, F4 a, F4 b) {
    return {{m.m[0] ? a.v[0] : b.v[0], m.m[1] ? a.v[1] : b.v[1], m.m[2] ? a.v[2] : b.v[2],
             m.m[3] ? a.v[3] : b.v[3]}};
}

inline F4 f4(F2 low, F2 high) { return {{low.v[0], low.v[1], high.v[0], high.v[1]}}; }
inline F2 low(F4 a) { return {{a.v[0], a.v[1]}}; }
inline F2 high(F4 a) { return {{a.v[2], a.v[3]}}; }
inline D2 widenLow(F4 a) { return widen(low(a)); }
inline D2 widenHigh(F4 a) { return widen(high(a)); }
inline F4 narrow(D2 low, D2 high) { return f4(narrow(low), narrow(high)); }

inline F4 channel1Of(F4 a, F4 b) { return {{a.v[0], a.v[2], b.v[0], b.v[2]}}; }
inline F4 channel2Of(F4 a, F4 b) { return {{a.v[1], a.v[3], b.v[1], b.v[3]}}; }
inline F4 pairsOfLow(F4 a) { return {{a.v[0], a.v[0], a.v[1], a.v[1]}}; }
inline F4 pairsOfHigh(F4 a) { return {{a.v[2], a.v[2], a.v[3], a.v[3]}}; }

#endif

// A value the compiler may not see through, so that it stays where it is
// made: a constant chosen by a branch stays the branch's, never an entry of
// a table looked up by the branch's condition.
inline F2 opaque(F2 a) {
#if KVB_SSE2_LANES && defined(__GNUC__)
    asm("" : "+x"(a.v));
#endif
    return a;
}

// Shared by both implementations.
inline F2 f2(float a) { return f2(a, a); }
inline float lane(F2 a, int i) { return i == 0 ? lane0(a) : lane1(a); }

// Four doubles as two pairs: lanes 0, 1 in lo, lanes 2, 3 in hi.
struct D4Pair {
    D2 lo, hi;
    // An F4 widened, exactly; the same pair in both halves.
    static D4Pair widen(F4 a) { return {widenLow(a), widenHigh(a)}; }
    static D4Pair of(D2 lo, D2 hi) { return {lo, hi}; }
};
inline D4Pair operator+(const D4Pair& a, const D4Pair& b) { return {a.lo + b.lo, a.hi + b.hi}; }
inline D4Pair operator-(const D4Pair& a, const D4Pair& b) { return {a.lo - b.lo, a.hi - b.hi}; }
inline D4Pair operator*(const D4Pair& a, const D4Pair& b) { return {a.lo * b.lo, a.hi * b.hi}; }
inline F4 narrow(const D4Pair& a) { return narrow(a.lo, a.hi); }
inline D2 low(const D4Pair& a) { return a.lo; }
inline D2 high(const D4Pair& a) { return a.hi; }
inline D4Pair negated(const D4Pair& a) { return {negated(a.lo), negated(a.hi)}; }

// What code written once for two and four lanes needs of its double lanes
// D: the float lanes they hold sums of, widening into them (exact), the same
// value in every lane, and two pairs put together.
template <class D>
struct DoubleLanes {
    using Floats = F4;
    static D widen(F4 a) { return D::widen(a); }
    static D splat(double a) { return D::of(d2(a), d2(a)); }
};
template <>
struct DoubleLanes<D2> {
    using Floats = F2;
    static D2 widen(F2 a) { return ::widen(a); }
    static D2 splat(double a) { return d2(a); }
};

// Every lane set to one value, for code written once for F2 and F4.
template <class V>
V splat(float a);
template <>
inline F2 splat<F2>(float a) { return f2(a); }
template <>
inline F4 splat<F4>(float a) { return f4(a); }
