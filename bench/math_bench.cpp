// Our float functions against the C runtime's, in nanoseconds per value, on
// the arguments the chain gives them: levels 1e-4 to 4 for the logarithms,
// -60 to +15 dB times 0.05 for 10^x, the rest over their working ranges. Each
// benchmark runs through 256 values (a chunk of the chain) and reports the
// time per value as "ns/value"; throughput, not latency: the values are
// independent, as in the chain's passes. Then the batch forms per
// instruction set over the same 256 values, and over values the chain may
// compute and discard (zeros, subnormals, infinities, NaN, huge arguments).
#include <benchmark/benchmark.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dsp/math/CrMath.h"

namespace {

constexpr int kValues = 256;

std::vector<float> levels() {
    // Levels spread evenly in decibels from -80 to +12 dB (1e-4 to 4).
    std::vector<float> v(kValues);
    std::mt19937 rng(1);
    for (float& x : v) x = static_cast<float>(std::pow(10.0, -4.0 + 4.602 * (rng() >> 8) * 0x1p-24));
    return v;
}
std::vector<float> uniform(float lo, float hi) {
    std::vector<float> v(kValues);
    std::mt19937 rng(2);
    for (float& x : v) x = lo + (hi - lo) * static_cast<float>(rng() >> 8) * 0x1p-24f;
    return v;
}

const std::vector<float> kLevels = levels();
const std::vector<float> kDb = uniform(-60.0f * 0.05f, 15.0f * 0.05f);
const std::vector<float> kExpArgs = uniform(-10.0f, 10.0f);
const std::vector<float> kLogArgs = levels();
const std::vector<float> kTrigArgs = uniform(0.0f, 3.0f);

template <float (*F)(float)>
void scalar(benchmark::State& state, const std::vector<float>* args) {
    std::vector<float> out(kValues);
    for (auto _ : state) {
        for (int i = 0; i < kValues; ++i) out[i] = F((*args)[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns/value"] = benchmark::Counter(static_cast<double>(state.iterations()) * kValues,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

float runtimeLog10(float x) { return ::log10f(x); }
float runtimePow10(float x) { return ::powf(10.0f, x); }
float runtimeExp(float x) { return ::expf(x); }
float runtimeLog(float x) { return ::logf(x); }
float runtimeCos(float x) { return ::cosf(x); }
float runtimeTan(float x) { return ::tanf(x); }

#define KVB_SCALAR_BENCH(name, function, args)                           \
    void name(benchmark::State& state) { scalar<function>(state, &args); } \
    BENCHMARK(name)

KVB_SCALAR_BENCH(log10_ours, crm::log10f, kLevels);
KVB_SCALAR_BENCH(log10_runtime, runtimeLog10, kLevels);
KVB_SCALAR_BENCH(exp10_ours, crm::exp10f, kDb);
KVB_SCALAR_BENCH(exp10_runtime_powf, runtimePow10, kDb);
KVB_SCALAR_BENCH(exp_ours, crm::expf, kExpArgs);
KVB_SCALAR_BENCH(exp_runtime, runtimeExp, kExpArgs);
KVB_SCALAR_BENCH(log_ours, crm::logf, kLogArgs);
KVB_SCALAR_BENCH(log_runtime, runtimeLog, kLogArgs);
KVB_SCALAR_BENCH(cos_ours, crm::cosf, kTrigArgs);
KVB_SCALAR_BENCH(cos_runtime, runtimeCos, kTrigArgs);
KVB_SCALAR_BENCH(tan_ours, crm::tanf, kTrigArgs);
KVB_SCALAR_BENCH(tan_runtime, runtimeTan, kTrigArgs);

// What the chain may also pass and then discard: for log10 zeros, subnormal,
// negative, infinite and NaN levels; for 10^x arguments far beyond the float
// range, NaN, and those giving subnormal results.
std::vector<float> edges(bool log10) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::vector<float> pool = log10 ? std::vector<float>{0.0f, 1e-40f, 3e-39f, -1.0f, inf, nan, 0.0f, 1e-3f}
                                          : std::vector<float>{-1e30f, 1e30f, nan, -50.0f, -40.0f, -inf, inf, -1.0f};
    std::vector<float> v(kValues);
    for (int i = 0; i < kValues; ++i) v[i] = pool[(i * 7 + i / 8) % pool.size()];
    return v;
}
const std::vector<float> kLog10Edges = edges(true);
const std::vector<float> kExp10Edges = edges(false);

void batch(benchmark::State& state, crm::Isa isa, bool log10, bool edge) {
    if (!crm::isaAvailable(isa)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    const std::vector<float>& args = edge ? (log10 ? kLog10Edges : kExp10Edges) : (log10 ? kLevels : kDb);
    std::vector<float> out(kValues);
    for (auto _ : state) {
        if (log10)
            crm::log10Batch(isa, args.data(), out.data(), kValues);
        else
            crm::exp10Batch(isa, args.data(), out.data(), kValues);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns/value"] = benchmark::Counter(static_cast<double>(state.iterations()) * kValues,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(batch, log10_portable, crm::Isa::Portable, true, false);
BENCHMARK_CAPTURE(batch, log10_sse2, crm::Isa::Sse2, true, false);
BENCHMARK_CAPTURE(batch, log10_avx2, crm::Isa::Avx2, true, false);
BENCHMARK_CAPTURE(batch, exp10_portable, crm::Isa::Portable, false, false);
BENCHMARK_CAPTURE(batch, exp10_sse2, crm::Isa::Sse2, false, false);
BENCHMARK_CAPTURE(batch, exp10_avx2, crm::Isa::Avx2, false, false);
BENCHMARK_CAPTURE(batch, log10_edges_portable, crm::Isa::Portable, true, true);
BENCHMARK_CAPTURE(batch, log10_edges_sse2, crm::Isa::Sse2, true, true);
BENCHMARK_CAPTURE(batch, log10_edges_avx2, crm::Isa::Avx2, true, true);
BENCHMARK_CAPTURE(batch, exp10_edges_portable, crm::Isa::Portable, false, true);
BENCHMARK_CAPTURE(batch, exp10_edges_sse2, crm::Isa::Sse2, false, true);
BENCHMARK_CAPTURE(batch, exp10_edges_avx2, crm::Isa::Avx2, false, true);

}  // namespace

BENCHMARK_MAIN();
