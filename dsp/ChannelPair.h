// Both channels side by side in one SSE register, so that the oversampled
// loop runs them through the same straight-line code. F2 holds two floats
// (lanes 0 and 1, the other two kept at zero), D2 two doubles. Every
// operation is the IEEE operation of the scalar code lane by lane, so the
// results are the same bits as one channel at a time.
#pragma once

#include <emmintrin.h>

#include <cstring>

// For the small functions of the per-step recursions: the chain's round loop
// wants them as one straight run of code, whatever the inliner's budget.
#if defined(__GNUC__)
#define KVB_ALWAYS_INLINE __attribute__((always_inline))
#else
#define KVB_ALWAYS_INLINE
#endif

struct F2 {
    __m128 v;
};
struct D2 {
    __m128d v;
};
struct Mask2 {
    __m128 m;
};

inline F2 f2(float a, float b) { return {_mm_setr_ps(a, b, 0.0f, 0.0f)}; }
inline F2 f2(float a) { return f2(a, a); }
inline D2 d2(double a) { return {_mm_set1_pd(a)}; }
inline D2 d2(double a, double b) { return {_mm_setr_pd(a, b)}; }

inline float lane0(F2 a) { return _mm_cvtss_f32(a.v); }
inline float lane1(F2 a) { return _mm_cvtss_f32(_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(3, 2, 0, 1))); }
inline float lane(F2 a, int i) { return i == 0 ? lane0(a) : lane1(a); }
inline double lane0(D2 a) { return _mm_cvtsd_f64(a.v); }
inline double lane1(D2 a) { return _mm_cvtsd_f64(_mm_unpackhi_pd(a.v, a.v)); }

inline F2 operator+(F2 a, F2 b) { return {_mm_add_ps(a.v, b.v)}; }
inline F2 operator-(F2 a, F2 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline F2 operator*(F2 a, F2 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline D2 operator+(D2 a, D2 b) { return {_mm_add_pd(a.v, b.v)}; }
inline D2 operator-(D2 a, D2 b) { return {_mm_sub_pd(a.v, b.v)}; }
inline D2 operator*(D2 a, D2 b) { return {_mm_mul_pd(a.v, b.v)}; }

// float -> double is exact; double -> float rounds to nearest.
inline D2 widen(F2 a) { return {_mm_cvtps_pd(a.v)}; }
inline F2 narrow(D2 a) { return {_mm_cvtpd_ps(a.v)}; }
// A double rounded to the nearest float and held as a double again.
inline D2 roundToFloat(D2 a) { return widen(narrow(a)); }

inline F2 abs(F2 a) { return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)}; }

inline Mask2 operator>(F2 a, F2 b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline Mask2 operator<(F2 a, F2 b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline F2 select(Mask2 m, F2 a, F2 b) {
    return {_mm_or_ps(_mm_and_ps(m.m, a.v), _mm_andnot_ps(m.m, b.v))};
}
// Bit 0 for lane 0, bit 1 for lane 1.
inline int bits(Mask2 m) { return _mm_movemask_ps(m.m) & 3; }

inline F2 zero2() { return {_mm_setzero_ps()}; }
inline D2 zeroD2() { return {_mm_setzero_pd()}; }

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

// Two oversampled steps of both channels at once, for the parts of the chain
// that do not feed back: lanes (step 0 channel 1, step 0 channel 2, step 1
// channel 1, step 1 channel 2), read from and written to the dense arrays.
struct F4 {
    __m128 v;
};
struct Mask4 {
    __m128 m;
};

inline F4 load4(const float* p) { return {_mm_loadu_ps(p)}; }
inline void store4(float* p, F4 a) { _mm_storeu_ps(p, a.v); }
// A per-channel value for both steps: (a, b, a, b).
inline F4 f4(F2 pair) { return {_mm_movelh_ps(pair.v, pair.v)}; }
inline F4 f4(float a) { return {_mm_set1_ps(a)}; }
inline F4 zero4() { return {_mm_setzero_ps()}; }

inline F4 operator+(F4 a, F4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline F4 operator-(F4 a, F4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline F4 operator*(F4 a, F4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline Mask4 operator>(F4 a, F4 b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline Mask4 operator<(F4 a, F4 b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline F4 select(Mask4 m, F4 a, F4 b) {
    return {_mm_or_ps(_mm_and_ps(m.m, a.v), _mm_andnot_ps(m.m, b.v))};
}

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

