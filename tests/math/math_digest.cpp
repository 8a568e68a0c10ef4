// kvb_math_digest: a digest of our float functions' results on 2^22 inputs
// each, the same inputs on every platform, so that builds for other
// platforms and runtimes (MinGW under Wine, aarch64 under qemu) can be
// compared with this one line by line (scripts/check-math.sh --cross). Half
// the inputs are random bit patterns, half spread over the function's working
// range; the batch forms run on the same inputs through the path the library
// chose, and through every other instruction set the machine has. NaN results
// count as one value (their payloads are the platform's).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dsp/math/CrMath.h"

namespace {

std::uint64_t gState = 0x9e3779b97f4a7c15ull;
std::uint64_t next() {  // splitmix64
    std::uint64_t z = (gState += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

float fromBits(std::uint32_t b) {
    float x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

std::uint32_t canonical(float y) {
    if (y != y) return 0x7fc00000u;
    std::uint32_t b;
    std::memcpy(&b, &y, sizeof b);
    return b;
}

struct Digest {
    std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a
    void add(float y) {
        const std::uint32_t b = canonical(y);
        for (int i = 0; i < 4; ++i) {
            h ^= (b >> (8 * i)) & 0xffu;
            h *= 0x100000001b3ull;
        }
    }
};

// lo + (hi - lo)·u, u from 24 random bits: exact in every step's rounding on
// any IEEE platform.
std::vector<float> inputs(float lo, float hi, int n) {
    std::vector<float> v;
    v.reserve(n);
    for (int i = 0; i < n; ++i) {
        const std::uint64_t r = next();
        if (i % 2 == 0) {
            v.push_back(fromBits(static_cast<std::uint32_t>(r)));
        } else {
            const float u = static_cast<float>(r >> 40) * 0x1p-24f;
            v.push_back(lo + (hi - lo) * u);
        }
    }
    return v;
}

}  // namespace

int main() {
    constexpr int kN = 1 << 22;
    struct Function {
        const char* name;
        float (*f)(float);
        float lo, hi;
    };
    const Function functions[] = {
        {"log", crm::logf, 0.0f, 1000.0f},      {"log10", crm::log10f, 0.0f, 4.0f},
        {"exp", crm::expf, -104.0f, 89.0f},     {"exp10", crm::exp10f, -46.0f, 39.0f},
        {"cos", crm::cosf, -100.0f, 100.0f},    {"tan", crm::tanf, -100.0f, 100.0f},
    };
    for (const Function& f : functions) {
        const std::vector<float> in = inputs(f.lo, f.hi, kN);
        Digest d;
        for (const float x : in) d.add(f.f(x));
        std::printf("%-6s %d inputs: %016llx\n", f.name, kN, static_cast<unsigned long long>(d.h));
        if (f.f == crm::log10f || f.f == crm::exp10f) {
            const bool log10 = f.f == crm::log10f;
            std::vector<float> out(in.size());
            // The chosen path, in blocks of 256, and each other one.
            for (std::size_t i = 0; i < in.size(); i += 256) {
                if (log10)
                    crm::log10Batch(in.data() + i, out.data() + i, 256);
                else
                    crm::exp10Batch(in.data() + i, out.data() + i, 256);
            }
            Digest b;
            for (const float y : out) b.add(y);
            std::printf("%-6s batch:            %016llx\n", f.name, static_cast<unsigned long long>(b.h));
            for (const crm::Isa isa : {crm::Isa::Portable, crm::Isa::Sse2, crm::Isa::Avx2}) {
                if (!crm::isaAvailable(isa)) continue;
                if (log10)
                    crm::log10Batch(isa, in.data(), out.data(), kN);
                else
                    crm::exp10Batch(isa, in.data(), out.data(), kN);
                Digest e;
                for (const float y : out) e.add(y);
                std::fprintf(stderr, "%-6s batch %-8s   %016llx\n", f.name, crm::isaName(isa),
                             static_cast<unsigned long long>(e.h));
                if (e.h != b.h) {
                    std::printf("%-6s batch %s differs from the chosen path\n", f.name, crm::isaName(isa));
                    return 1;
                }
            }
        }
    }
    std::fprintf(stderr, "batch path: %s\n", crm::isaName(crm::batchIsa()));
    return 0;
}
