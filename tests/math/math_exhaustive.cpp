// kvb_math_exhaustive: each of our six float functions on all 2^32 inputs
// against the correctly rounded result, on all cores; run by
// scripts/check-math.sh.
//
// The reference for an input is MPFR's result rounded to float, except where
// the C runtime's double-precision function settles it: its result y is within
// a few units of the double's last place of f(x) (glibc documents 1 to 2), and
// when y·(1 - 2^-40) and y·(1 + 2^-40) round to the same float, so does f(x)
// (a margin over 2000 times glibc's bound). MPFR decides the rest, the inputs
// whose value lies near a boundary between two floats. NaN results compare
// equal to any NaN; the sign of zero counts.
//
// Per function it prints the mismatches (which must be 0), how many inputs the
// fast path leaves to the exact path and whether that path decided them all,
// how many inputs MPFR decided, how many the C runtime's own float function
// gets wrong, and the minutes taken. Then every batch form on every
// instruction set this CPU has, and the pair form of log10, against the
// scalar function, bit for bit.
// Exit status 1 on any mismatch or undecided input.
//
//   kvb_math_exhaustive [--only log,exp,...] [--threads N] [--show-slow N] [--no-batch]
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dsp/math/CrMath.h"
#include "dsp/math/Sse2Lanes.h"
#include "dsp/math/MathCore.h"
#include "support/MpfrFloat.h"

namespace {

using crm::detail::bitsOf;
using crm::detail::floatOf;

struct Function {
    const char* name;
    float (*ours)(float);
    bool (*fast)(float, float&);
    bool (*slow)(float, float&);
    double (*runtimeDouble)(double);
    float (*runtimeFloat)(float);
    const char* runtimeFloatName;
    float (*mpfr)(float);
};

double dLog(double x) { return ::log(x); }
double dLog10(double x) { return ::log10(x); }
double dExp(double x) { return ::exp(x); }
double dExp10(double x) { return ::exp10(x); }
double dCos(double x) { return ::cos(x); }
double dTan(double x) { return ::tan(x); }
float fLog(float x) { return ::logf(x); }
float fLog10(float x) { return ::log10f(x); }
float fExp(float x) { return ::expf(x); }
float fPow10(float x) { return ::powf(10.0f, x); }
float fCos(float x) { return ::cosf(x); }
float fTan(float x) { return ::tanf(x); }

const Function kFunctions[] = {
    {"log", crm::logf, crm::detail::logFast, crm::detail::logSlow, dLog, fLog, "logf", mpfr_float::log},
    {"log10", crm::log10f, crm::detail::log10Fast, crm::detail::log10Slow, dLog10, fLog10, "log10f",
     mpfr_float::log10},
    {"exp", crm::expf, crm::detail::expFast, crm::detail::expSlow, dExp, fExp, "expf", mpfr_float::exp},
    {"exp10", crm::exp10f, crm::detail::exp10Fast, crm::detail::exp10Slow, dExp10, fPow10,
     "powf(10,x)", mpfr_float::exp10},
    {"cos", crm::cosf, crm::detail::cosFast, crm::detail::cosSlow, dCos, fCos, "cosf", mpfr_float::cos},
    {"tan", crm::tanf, crm::detail::tanFast, crm::detail::tanSlow, dTan, fTan, "tanf", mpfr_float::tan},
};

constexpr double kMargin = 0x1p-40;
constexpr std::uint64_t kTotal = 1ull << 32;
constexpr std::uint64_t kChunk = 1ull << 16;

bool same(float a, float b) { return (a != a && b != b) || bitsOf(a) == bitsOf(b); }

struct Counts {
    std::uint64_t mismatches = 0, slow = 0, undecided = 0, viaMpfr = 0, runtimeWrong = 0;
    std::uint64_t composition = 0, reductionShort = 0;
    void add(const Counts& o) {
        mismatches += o.mismatches;
        slow += o.slow;
        undecided += o.undecided;
        viaMpfr += o.viaMpfr;
        runtimeWrong += o.runtimeWrong;
        composition += o.composition;
        reductionShort += o.reductionShort;
    }
};

std::mutex gPrintLock;
int gShowSlow = 0;

void report(const char* what, const Function& f, float x, float got, float want) {
    std::lock_guard<std::mutex> lock(gPrintLock);
    std::printf("  %s %s(%a = 0x%08x): %a (0x%08x), expected %a (0x%08x)\n", what, f.name,
                static_cast<double>(x), bitsOf(x), static_cast<double>(got), bitsOf(got),
                static_cast<double>(want), bitsOf(want));
}

void checkRange(const Function& f, std::uint64_t begin, std::uint64_t end, Counts& c,
                std::atomic<int>& shown) {
    const bool trig = f.ours == crm::cosf;
    for (std::uint64_t b = begin; b < end; ++b) {
        const float x = floatOf(static_cast<std::uint32_t>(b));
        const float ours = f.ours(x);
        // Reference.
        const double y = f.runtimeDouble(static_cast<double>(x));
        float ref;
        if (y != y) {
            ref = floatOf(0x7fc00000u);
        } else {
            const float lo = static_cast<float>(y * (1.0 - kMargin));
            const float hi = static_cast<float>(y * (1.0 + kMargin));
            if (bitsOf(lo) == bitsOf(hi)) {
                ref = lo;
            } else {
                ref = f.mpfr(x);
                ++c.viaMpfr;
            }
        }
        if (!same(ours, ref)) {
            if (c.mismatches < 5) report("MISMATCH", f, x, ours, ref);
            ++c.mismatches;
        }
        if (!same(f.runtimeFloat(x), ref)) ++c.runtimeWrong;
        // The two paths.
        float viaPaths;
        if (!f.fast(x, viaPaths)) {
            ++c.slow;
            if (shown.fetch_add(1) < gShowSlow) {
                std::lock_guard<std::mutex> lock(gPrintLock);
                std::printf("  slow %s 0x%08x %a\n", f.name, bitsOf(x), static_cast<double>(x));
            }
            if (!f.slow(x, viaPaths)) {
                if (c.undecided < 5) report("UNDECIDED", f, x, viaPaths, ref);
                ++c.undecided;
            }
        }
        if (bitsOf(viaPaths) != bitsOf(ours)) ++c.composition;
        // The exact reduction has its precision for every argument.
        if (trig) {
            const float ax = floatOf(bitsOf(x) & 0x7fffffffu);
            if (ax >= 0.78539819f && ax <= 3.4028235e38f) {
                int q;
                crm::detail::DD r;
                if (!crm::detail::reduceLarge(ax, q, r)) ++c.reductionShort;
            }
        }
    }
}

template <class Work>
void parallel(int threads, Work work) {
    std::atomic<std::uint64_t> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&next, &work] {
            for (;;) {
                const std::uint64_t begin = next.fetch_add(kChunk);
                if (begin >= kTotal) return;
                work(begin, begin + kChunk);
            }
        });
    }
    for (auto& t : pool) t.join();
}

double minutesSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60.0;
}

bool checkFunction(const Function& f, int threads) {
    const auto start = std::chrono::steady_clock::now();
    std::mutex lock;
    Counts total;
    std::atomic<int> shown{0};
    parallel(threads, [&](std::uint64_t begin, std::uint64_t end) {
        Counts c;
        checkRange(f, begin, end, c, shown);
        std::lock_guard<std::mutex> g(lock);
        total.add(c);
    });
    std::printf("%-6s mismatches %llu | slow path %llu inputs, undecided %llu | MPFR decided %llu | "
                "C runtime %s wrong on %llu | %.2f min\n",
                f.name, static_cast<unsigned long long>(total.mismatches),
                static_cast<unsigned long long>(total.slow), static_cast<unsigned long long>(total.undecided),
                static_cast<unsigned long long>(total.viaMpfr), f.runtimeFloatName,
                static_cast<unsigned long long>(total.runtimeWrong), minutesSince(start));
    bool ok = total.mismatches == 0 && total.undecided == 0 && total.composition == 0;
    if (total.composition) {
        std::printf("  the function differs from its two paths on %llu inputs\n",
                    static_cast<unsigned long long>(total.composition));
    }
    if (f.ours == crm::cosf) {
        std::printf("%-6s exact reduction short of precision on %llu arguments\n", "",
                    static_cast<unsigned long long>(total.reductionShort));
        ok = ok && total.reductionShort == 0;
    }
    std::fflush(stdout);
    return ok;
}

bool checkBatch(const char* name, crm::Isa isa, float (*scalar)(float),
                void (*batch)(crm::Isa, const float*, float*, int), int threads) {
    const auto start = std::chrono::steady_clock::now();
    std::atomic<std::uint64_t> mismatches{0};
    parallel(threads, [&](std::uint64_t begin, std::uint64_t end) {
        // Blocks of 256 computed in place, as the chain calls them.
        std::vector<float> buf(256);
        std::uint64_t bad = 0;
        for (std::uint64_t b = begin; b < end; b += 256) {
            for (int i = 0; i < 256; ++i) buf[i] = floatOf(static_cast<std::uint32_t>(b + i));
            batch(isa, buf.data(), buf.data(), 256);
            for (int i = 0; i < 256; ++i) {
                const float x = floatOf(static_cast<std::uint32_t>(b + i));
                const float want = scalar(x);
                if (bitsOf(buf[i]) != bitsOf(want)) {
                    if (bad < 3) {
                        std::lock_guard<std::mutex> g(gPrintLock);
                        std::printf("  MISMATCH %s %s(0x%08x): 0x%08x, scalar 0x%08x\n", crm::isaName(isa),
                                    name, bitsOf(x), bitsOf(buf[i]), bitsOf(want));
                    }
                    ++bad;
                }
            }
        }
        mismatches += bad;
    });
    std::printf("batch %-5s %-4s mismatches against the scalar function %llu | %.2f min\n", name,
                crm::isaName(isa), static_cast<unsigned long long>(mismatches.load()), minutesSince(start));
    std::fflush(stdout);
    return mismatches.load() == 0;
}

#if CRM_X86
// The pair form (crm::log10Pair), which the chain calls inside a recursion,
// two values at a time.
void log10Pairs(crm::Isa, const float* in, float* out, int n) {
    for (int i = 0; i + 1 < n; i += 2) {
        alignas(16) float r[4];
        _mm_store_ps(r, crm::log10Pair(_mm_setr_ps(in[i], in[i + 1], 0.0f, 0.0f)));
        out[i] = r[0];
        out[i + 1] = r[1];
    }
}
#endif

}  // namespace

int main(int argc, char** argv) {
    int threads = static_cast<int>(std::thread::hardware_concurrency());
    std::string only;
    bool batch = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--only" && i + 1 < argc) {
            only = "," + std::string(argv[++i]) + ",";
        } else if (a == "--threads" && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
        } else if (a == "--show-slow" && i + 1 < argc) {
            gShowSlow = std::atoi(argv[++i]);
        } else if (a == "--no-batch") {
            batch = false;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--only log,log10,exp,exp10,cos,tan] [--threads N] "
                         "[--show-slow N] [--no-batch]\n",
                         argv[0]);
            return 2;
        }
    }
    if (threads < 1) threads = 1;
    std::printf("All 2^32 inputs, %d threads; reference: MPFR (24 bits, float range) where the C "
                "runtime's double function is within 2^-40 of a rounding boundary\n",
                threads);
    std::fflush(stdout);
    bool ok = true;
    for (const Function& f : kFunctions) {
        if (!only.empty() && only.find("," + std::string(f.name) + ",") == std::string::npos) continue;
        ok = checkFunction(f, threads) && ok;
    }
    if (batch) {
        for (crm::Isa isa : {crm::Isa::Sse2, crm::Isa::Avx2}) {
            if (!crm::isaAvailable(isa)) continue;
            if (only.empty() || only.find(",log10,") != std::string::npos)
                ok = checkBatch("log10", isa, crm::log10f, crm::log10Batch, threads) && ok;
            if (only.empty() || only.find(",exp10,") != std::string::npos)
                ok = checkBatch("exp10", isa, crm::exp10f, crm::exp10Batch, threads) && ok;
        }
#if CRM_X86
        if (only.empty() || only.find(",log10,") != std::string::npos)
            ok = checkBatch("log10 pair", crm::Isa::Sse2, crm::log10f, log10Pairs, threads) && ok;
#endif
    }
    std::printf("%s\n", ok ? "all correct" : "FAILED");
    return ok ? 0 : 1;
}
