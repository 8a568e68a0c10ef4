// Construction under memory pressure: whichever allocation fails, the entry
// sequence answers null and every allocation made so far is given back.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "shell/Controlsgui.h"
#include "tests/TestHost.h"
#include "tests/support/TestPlugin.h"

namespace {
std::atomic<long> live{0};
std::atomic<long> countdown{-1};  // -1: never fail

void* allocate(std::size_t n) {
    long c = countdown.load();
    if (c >= 0) {
        if (c == 0) throw std::bad_alloc();
        countdown.store(c - 1);
    }
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    ++live;
    return p;
}
void release(void* p) {
    if (!p) return;
    --live;
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

TEST(AllocationFailure, EveryFailurePointGivesNullAndLeaksNothing) {
    TestHost::reset();
    TestHost::calls.reserve(1024);
    // A full construction first, so that one-time allocations of the runtime
    // (locale, font caches and the like) do not count as leaks below.
    vst::AEffect* warm = kvbtest::createPlugin(TestHost::callback);
    ASSERT_NE(warm, nullptr);
    warm->dispatcher(warm, vst::effClose, 0, 0, nullptr, 0.0f);

    int failures = 0;
    for (long n = 0; n < 100000; ++n) {
        const long before = live.load();
        countdown.store(n);
        vst::AEffect* r = kvbtest::createPlugin(TestHost::callback);
        countdown.store(-1);
        if (r) {
            r->dispatcher(r, vst::effClose, 0, 0, nullptr, 0.0f);
            EXPECT_EQ(live.load(), before);
            break;
        }
        ++failures;
        EXPECT_EQ(live.load(), before) << "allocation " << n << " failed and something leaked";
    }
    // The effect allocates at least its bank and its three filter sections.
    EXPECT_GE(failures, 2);
}
