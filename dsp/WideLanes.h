// Four doubles in one AVX register: the D4 lanes of the chain's AVX2 and
// AVX-512 forms, in place of D4Pair's two SSE2 registers. The same IEEE
// operations lane by lane, so the same bits.
//
// Compiled for AVX2 function by function (the target attribute), never for
// the whole file: these functions run only inside the AVX forms, which
// compile them into themselves (Processor.cpp). They are not always_inline:
// code written once for every form calls them from templates that are
// compiled for every processor, and only once such a template is inlined
// into an AVX form may they be inlined too.
#pragma once

#include <immintrin.h>

#include "dsp/ChannelPair.h"

#define KVB_TARGET_AVX2 __attribute__((target("avx2")))

struct D4Ymm {
    __m256d v;
    KVB_TARGET_AVX2 static D4Ymm widen(F4 a) { return {_mm256_cvtps_pd(a.v)}; }
    KVB_TARGET_AVX2 static D4Ymm of(D2 lo, D2 hi) { return {_mm256_set_m128d(hi.v, lo.v)}; }
};
KVB_TARGET_AVX2 inline D4Ymm operator+(const D4Ymm& a, const D4Ymm& b) { return {_mm256_add_pd(a.v, b.v)}; }
KVB_TARGET_AVX2 inline D4Ymm operator-(const D4Ymm& a, const D4Ymm& b) { return {_mm256_sub_pd(a.v, b.v)}; }
KVB_TARGET_AVX2 inline D4Ymm operator*(const D4Ymm& a, const D4Ymm& b) { return {_mm256_mul_pd(a.v, b.v)}; }
KVB_TARGET_AVX2 inline F4 narrow(const D4Ymm& a) { return {_mm256_cvtpd_ps(a.v)}; }
KVB_TARGET_AVX2 inline D2 low(const D4Ymm& a) { return {_mm256_castpd256_pd128(a.v)}; }
KVB_TARGET_AVX2 inline D2 high(const D4Ymm& a) { return {_mm256_extractf128_pd(a.v, 1)}; }
KVB_TARGET_AVX2 inline D4Ymm negated(const D4Ymm& a) { return {_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))}; }
