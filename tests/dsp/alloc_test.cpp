// processReplacing must allocate nothing: every global allocation in this
// binary is counted while the effect processes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "TestSupport.h"
#include "shell/Controlsgui.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {
vst::intptr host(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}
}  // namespace

TEST(Allocation, ConstructionAllocatesAndProcessingDoesNot) {
    const long before = allocations.load();
    Controlsgui effect(host);
    EXPECT_GT(allocations.load(), before) << "the counter sees the effect's own allocations";
    effect.setSampleRate(48000.0f);
    effect.resume();
    effect.setParameter(kDisByp1, 0.0f);
    effect.setParameter(kOptThr1, 0.2f);
    Stereo in = variedSignal(4096, 48000.0f);
    Stereo out(in.size());

    const long start = allocations.load();
    for (int block : {512, 1, 100, 0, 2048}) {
        for (std::size_t pos = 0; pos + static_cast<std::size_t>(block) <= in.size() && block > 0;
             pos += static_cast<std::size_t>(block) * 3) {
            float* i[2] = {in.l.data() + pos, in.r.data() + pos};
            float* o[2] = {out.l.data() + pos, out.r.data() + pos};
            effect.processReplacing(i, o, block);
        }
    }
    effect.setParameter(kOptMode, 1.0f);
    float* i[2] = {in.l.data(), in.r.data()};
    float* o[2] = {out.l.data(), out.r.data()};
    effect.processReplacing(i, o, 0);
    effect.processReplacing(i, o, 1024);
    EXPECT_EQ(allocations.load(), start);
    EXPECT_GT(*effect.getMeter2Address(), 0.0f) << "the chain really ran";
}
