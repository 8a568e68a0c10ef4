// The batch forms per instruction set, and what their lanes share with the
// scalar functions.
//
// A lane follows the scalar fast path's steps (IEEE double arithmetic in
// every lane, no fused multiply-adds) with a polynomial one degree lower, and
// accepts its result on the same kinds of test, with its own error bound
// (below): the check of the bits below a float's significand, or the bracket
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

// ---- The lanes' error bounds (the scalar paths' are in ExpLogKernels.h).
//
// exp10, |x| <= 37.5 (every result normal): expFastImpl's steps with
// kExpPolyBatch (4 terms), whose error is 2^-47.65 of 2^(r/64). Its three
// roundings are relative to q (|q| < 0.0055): 2^-58.9 of y; the table and the
// final sum (2^-53 each), the reduction (2^-60.4) and s·q (2^-60.5) as in the
// scalar path. e < 2^-47.58: e·|y| < 2^5.42 units of y's last place; d = 128
// leaves a margin of 3.0. All 2^32 inputs in steps of eight send 252 lanes
// to the scalar function. Steps holding other lanes (beyond 37.5, NaN, subnormal results)
// take the scalar path's polynomial and bracket.
constexpr std::uint64_t kExp10BatchUlps = 128;
constexpr float kExp10BatchUsual = 37.5f;
//
// log10: y = (e·L + T[j]) + p(r) with L = RN(log10 2) (|L - log10 2| <
// 2^-58.3) and p from kLog10PolyBatch (5 terms, 2^-46.61; its three roundings
// 2^-51.4 of p: p within 2^-46.56 of log10(1 + r)).
//   e != 0: |y| >= 0.126·|e| (x outside [0.748, 1.496)), |p| <= 2^-6.2·|y|,
//     |T[j]| <= 1.4·|y|; relative to y: e·L rounded 2^-53·2.39, L's error
//     2^-55.3, T[j] 2^-53·1.4, the first sum 2^-53·1.02, p 2^-52.8, the final
//     sum 2^-53: below 2^-50.1.
//   e == 0: e·L = 0, the first sum is T[j]. Off the centre interval |T[j]| <=
//     2.002·|y| and |p| <= 1.004·|y| (at the intervals' ends): T[j] 2^-52, p
//     2^-46.55, the final sum 2^-53: below 2^-46.5. At the centre y = p.
// e < 2^-46.5: e·|y| < 2^6.5 units; d = 256 leaves a margin of 2.8. All
// 2^32 inputs in steps of eight send 2001 lanes to the scalar function (about
// 1 in 2^20 of the positive normal ones). Subnormal inputs have e != 0.
constexpr std::uint64_t kLog10BatchUlps = 256;

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
