// Both channels side by side in one SSE register, so that the oversampled
// loop runs them through the same straight-line code. F2 holds two floats
// (lanes 0 and 1, the other two kept at zero), D2 two doubles. Every
// operation is the IEEE operation of the scalar code lane by lane, so the
// results are the same bits as one channel at a time.
#pragma once

#include <emmintrin.h>

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
