// The batch forms per instruction set, and what their lanes share with the
// scalar functions.
//
// A lane computes what the scalar fast path computes (same steps, same order,
// IEEE double arithmetic in every lane) and accepts its result on the same
// tests: the check of the bits below a float's significand, or the bracket
// y·(1 ± E) where a result may be subnormal. An accepted result is the
// correctly rounded value, every other lane is handed to the scalar function,
// so each output is the scalar function's bits whatever the path. Zeros,
// subnormals, infinities, NaN and arguments beyond exp10's range are settled
// in the vector code too (never a storm of scalar calls); a step whose lanes
// are all ordinary (positive normal levels, exponents giving normal results)
// skips that work.
#pragma once

#include "dsp/math/ExpLogKernels.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#define CRM_X86 1
#else
#define CRM_X86 0
#endif

namespace crm::detail {

// exp10 lanes are clamped to [-kExp10Clamp, kExp10Clamp]: beyond, the result
// is +inf or +0 and the clamped value still gives it (10^-46 < 2^-150).
constexpr float kExp10Clamp = Exp10Consts::kLimit;

void log10Portable(const float* in, float* out, int n);
void exp10Portable(const float* in, float* out, int n);
#if CRM_X86
void log10Sse2(const float* in, float* out, int n);
void exp10Sse2(const float* in, float* out, int n);
#endif
#if defined(CRM_HAVE_AVX2)
void log10Avx2(const float* in, float* out, int n);
void exp10Avx2(const float* in, float* out, int n);
#endif

}  // namespace crm::detail
