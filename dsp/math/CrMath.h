// Correctly rounded single-precision functions of our own: every float input
// gives the float nearest the exact result (ties to even), with IEEE results
// for ±0, subnormals, infinities and NaN, and the same bits on every platform
// and C runtime. They replace the runtime's logf, expf, log10f, powf(10, x),
// cosf and tanf in the signal chain.
//
//   log, log10   ±0 → -inf, x < 0 → NaN, +inf → +inf, exactly 0 at 1,
//                log10(10^k) = k exactly
//   exp, exp10   -inf → +0, +inf → +inf; +inf on overflow, the correctly
//                rounded subnormal or +0 on underflow; exp10(k) = 10^k exactly
//                for k = 0..10
//   cos, tan     ±inf → NaN; tan(±0) = ±0, cos(±0) = 1; exact argument
//                reduction over the whole float range
//   NaN in gives a quiet NaN out.
//
// No call allocates, locks, makes a system call or touches global state.
#pragma once

namespace crm {

float logf(float x);
float log10f(float x);
float expf(float x);
float exp10f(float x);  // 10^x
float cosf(float x);
float tanf(float x);

// Batch forms for the per-sample path: out[i] = log10f(in[i]) and
// exp10f(in[i]) for i < n, bit for bit the scalar function's result for every
// input. n >= 0; in == out is allowed (other overlaps are not). No
// allocation, locks or system calls; any float is fast (zeros, subnormals,
// infinities and NaN included).
void log10Batch(const float* in, float* out, int n);
void exp10Batch(const float* in, float* out, int n);

// The instruction sets the batch forms are written for. The best available
// one is chosen once, while the library is loaded (a namespace-scope
// initialiser reading cpuid); calls never lock or test the CPU again. AVX2
// where the CPU has it (not in Windows builds: MinGW-w64 does not align the
// stack for AVX2's spills), else SSE2 on x86-64; the portable loop on other
// architectures. All give the same bits.
enum class Isa { Portable, Sse2, Avx2 };
// The instruction set the batch forms above use.
Isa batchIsa();
// Whether this build and this CPU can run a given instruction set's forms.
bool isaAvailable(Isa isa);
const char* isaName(Isa isa);
// One instruction set's forms, for tests and benchmarks (isaAvailable(isa)
// must hold).
void log10Batch(Isa isa, const float* in, float* out, int n);
void exp10Batch(Isa isa, const float* in, float* out, int n);

}  // namespace crm
