// The audio-thread calls allocate nothing, lock nothing and never block.
//
// This binary defines malloc and its relatives, every form of operator new and
// delete, the mutex, condition-variable, read-write-lock and semaphore calls
// and the sleeps itself. The plug-in is linked in statically and the C++ runtime
// binds to the executable's definitions first, so every such call from the
// plug-in or from the runtime on its behalf lands here. Each definition counts
// the call when the calling thread is inside an armed region, then forwards to
// the C library. The armed regions are exactly the host's calls of
// processReplacing, setParameter and getParameter, swept over every mode and
// setting, several sample rates and block sizes from 0 up.
//
// The first group of tests shows that the interposition really catches each
// kind of call, so that a quiet sweep means something.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "RobustSupport.h"
#ifdef KVB_LV2_PLUGIN_PATH
#include "tests/lv2/Lv2Plugin.h"
#endif

// ---------------------------------------------------------------------------
// The guard: a per-thread armed flag and a process-wide tally.

namespace rtguard {

thread_local int armed = 0;
std::atomic<long> count{0};
std::atomic<const char*> first{nullptr};

inline void note(const char* what) {
    if (armed == 0) return;
    count.fetch_add(1, std::memory_order_relaxed);
    const char* none = nullptr;
    first.compare_exchange_strong(none, what, std::memory_order_relaxed);
}

void reset() {
    count.store(0);
    first.store(nullptr);
}
long violations() { return count.load(); }
std::string firstName() {
    const char* f = first.load();
    return f ? f : "(none)";
}

struct Armed {
    Armed() { ++armed; }
    ~Armed() { --armed; }
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;
};

// The C library's own entry points for the functions defined below that
// have no __libc_ name; resolved once, before main, and again on first use
// if a constructor of another file calls earlier.
template <typename F>
F next(F& cache, const char* name) {
    if (!cache) cache = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
    return cache;
}

}  // namespace rtguard

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t n) {
    rtguard::note("malloc");
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    rtguard::note("calloc");
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    rtguard::note("realloc");
    return __libc_realloc(p, n);
}
void free(void* p) {
    rtguard::note("free");
    __libc_free(p);
}
void* aligned_alloc(size_t alignment, size_t n) {
    rtguard::note("aligned_alloc");
    return __libc_memalign(alignment, n);
}
void* memalign(size_t alignment, size_t n) {
    rtguard::note("memalign");
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
    rtguard::note("posix_memalign");
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* p = __libc_memalign(alignment, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}

#define KVB_FORWARD(ret, name, params, args)                  \
    ret name params {                                          \
        rtguard::note(#name);                                  \
        static ret(*real) params = nullptr;                    \
        return rtguard::next(real, #name) args;                \
    }

KVB_FORWARD(int, pthread_mutex_lock, (pthread_mutex_t * m), (m))
KVB_FORWARD(int, pthread_mutex_trylock, (pthread_mutex_t * m), (m))
KVB_FORWARD(int, pthread_mutex_timedlock, (pthread_mutex_t * m, const struct timespec* t), (m, t))
KVB_FORWARD(int, pthread_mutex_unlock, (pthread_mutex_t * m), (m))
KVB_FORWARD(int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
KVB_FORWARD(int, pthread_cond_timedwait,
            (pthread_cond_t * c, pthread_mutex_t* m, const struct timespec* t), (c, m, t))
KVB_FORWARD(int, pthread_cond_clockwait,
            (pthread_cond_t * c, pthread_mutex_t* m, clockid_t k, const struct timespec* t),
            (c, m, k, t))
KVB_FORWARD(int, pthread_cond_signal, (pthread_cond_t * c), (c))
KVB_FORWARD(int, pthread_cond_broadcast, (pthread_cond_t * c), (c))
KVB_FORWARD(int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))
KVB_FORWARD(int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))
KVB_FORWARD(int, pthread_rwlock_unlock, (pthread_rwlock_t * l), (l))
KVB_FORWARD(int, pthread_spin_lock, (pthread_spinlock_t * l), (l))
KVB_FORWARD(int, sem_wait, (sem_t * s), (s))
KVB_FORWARD(int, sem_timedwait, (sem_t * s, const struct timespec* t), (s, t))
KVB_FORWARD(int, sem_post, (sem_t * s), (s))
KVB_FORWARD(int, nanosleep, (const struct timespec* t, struct timespec* rem), (t, rem))
KVB_FORWARD(int, clock_nanosleep,
            (clockid_t k, int flags, const struct timespec* t, struct timespec* rem),
            (k, flags, t, rem))
KVB_FORWARD(int, usleep, (useconds_t us), (us))
KVB_FORWARD(unsigned, sleep, (unsigned s), (s))
KVB_FORWARD(ssize_t, write, (int fd, const void* b, size_t n), (fd, b, n))
KVB_FORWARD(ssize_t, read, (int fd, void* b, size_t n), (fd, b, n))
#undef KVB_FORWARD
}

// Every replaceable form of operator new and delete.
namespace {
void* allocate(std::size_t n, const char* what) {
    rtguard::note(what);
    if (void* p = __libc_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* allocateAligned(std::size_t n, std::align_val_t a, const char* what) {
    rtguard::note(what);
    if (void* p = __libc_memalign(static_cast<std::size_t>(a), n ? n : 1)) return p;
    throw std::bad_alloc();
}
void release(void* p, const char* what) {
    rtguard::note(what);
    __libc_free(p);
}
}  // namespace

void* operator new(std::size_t n) { return allocate(n, "operator new"); }
void* operator new[](std::size_t n) { return allocate(n, "operator new[]"); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    rtguard::note("operator new(nothrow)");
    return __libc_malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    rtguard::note("operator new[](nothrow)");
    return __libc_malloc(n ? n : 1);
}
void* operator new(std::size_t n, std::align_val_t a) { return allocateAligned(n, a, "operator new(align)"); }
void* operator new[](std::size_t n, std::align_val_t a) {
    return allocateAligned(n, a, "operator new[](align)");
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    rtguard::note("operator new(align, nothrow)");
    return __libc_memalign(static_cast<std::size_t>(a), n ? n : 1);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    rtguard::note("operator new[](align, nothrow)");
    return __libc_memalign(static_cast<std::size_t>(a), n ? n : 1);
}
void operator delete(void* p) noexcept { release(p, "operator delete"); }
void operator delete[](void* p) noexcept { release(p, "operator delete[]"); }
void operator delete(void* p, std::size_t) noexcept { release(p, "operator delete(sized)"); }
void operator delete[](void* p, std::size_t) noexcept { release(p, "operator delete[](sized)"); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p, "operator delete(nothrow)"); }
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    release(p, "operator delete[](nothrow)");
}
void operator delete(void* p, std::align_val_t) noexcept { release(p, "operator delete(align)"); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p, "operator delete[](align)"); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    release(p, "operator delete(sized, align)");
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    release(p, "operator delete[](sized, align)");
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    release(p, "operator delete(align, nothrow)");
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    release(p, "operator delete[](align, nothrow)");
}

// ---------------------------------------------------------------------------

using namespace vst;
using robust::Instance;

namespace {

// What one armed region caught: the number of forbidden calls and the first.
struct Caught {
    long calls;
    std::string first;
};

template <typename F>
Caught armedRun(F&& f) {
    rtguard::reset();
    {
        rtguard::Armed armed;
        f();
    }
    return {rtguard::violations(), rtguard::firstName()};
}

// Through a volatile pointer, so that the compiler cannot drop or merge the call.
void* (*volatile mallocFn)(size_t) = &malloc;
void (*volatile freeFn)(void*) = &free;

}  // namespace

TEST(InterpositionSelfCheck, EachKindOfForbiddenCallIsCaughtInAnArmedRegion) {
    void* kept = nullptr;
    Caught c = armedRun([&] { kept = mallocFn(64); });
    EXPECT_EQ(c.calls, 1);
    EXPECT_EQ(c.first, "malloc");
    c = armedRun([&] { freeFn(kept); });
    EXPECT_EQ(c.first, "free");

    int* p = nullptr;
    c = armedRun([&] { p = new int(3); });
    EXPECT_GE(c.calls, 1);
    EXPECT_EQ(c.first, "operator new");
    c = armedRun([&] { delete p; });
    EXPECT_EQ(c.first.rfind("operator delete", 0), 0u) << c.first;

    // The C++ runtime's own allocations (a growing string) arrive here too.
    std::string grown;
    c = armedRun([&] { grown.assign(200, 'x'); });
    EXPECT_GE(c.calls, 1);

    std::mutex m;
    c = armedRun([&] {
        m.lock();
        m.unlock();
    });
    EXPECT_EQ(c.calls, 2);
    EXPECT_EQ(c.first, "pthread_mutex_lock");
    c = armedRun([&] { (void)m.try_lock(); m.unlock(); });
    EXPECT_EQ(c.first, "pthread_mutex_trylock");

    // notify_one lives in the shared C++ runtime: its calls bind here as well.
    std::condition_variable cv;
    c = armedRun([&] { cv.notify_one(); });
    EXPECT_EQ(c.calls, 1);
    EXPECT_EQ(c.first, "pthread_cond_signal");
    c = armedRun([&] { cv.notify_all(); });
    EXPECT_EQ(c.first, "pthread_cond_broadcast");
    c = armedRun([&] {
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, std::chrono::microseconds(1));
    });
    EXPECT_GE(c.calls, 3);
    EXPECT_EQ(c.first, "pthread_mutex_lock");

    c = armedRun([&] { std::this_thread::sleep_for(std::chrono::microseconds(1)); });
    EXPECT_EQ(c.calls, 1);
    EXPECT_EQ(c.first, "nanosleep");

    // Calls made inside the plug-in's own code are caught the same way:
    // creating an instance allocates the effect, its program bank and editor.
    c = armedRun([&] {
        Instance fx;
        EXPECT_TRUE(fx);
    });
    EXPECT_GE(c.calls, 3);
    EXPECT_EQ(c.first, "operator new");

    sem_t s;
    sem_init(&s, 0, 1);
    c = armedRun([&] { sem_wait(&s); sem_post(&s); });
    EXPECT_EQ(c.calls, 2);
    EXPECT_EQ(c.first, "sem_wait");
    sem_destroy(&s);
}

TEST(InterpositionSelfCheck, OnlyTheArmedThreadIsWatched) {
    std::atomic<int> stage{0};
    long seen = -1;
    std::thread audio([&] {
        rtguard::reset();
        rtguard::Armed armed;
        stage.store(1);
        while (stage.load() != 2) {
        }
        seen = rtguard::violations();
    });
    while (stage.load() != 1) {
    }
    freeFn(mallocFn(32));  // on this thread, which is not armed
    stage.store(2);
    audio.join();
    EXPECT_EQ(seen, 0);
    // And outside any region nothing counts.
    rtguard::reset();
    freeFn(mallocFn(32));
    EXPECT_EQ(rtguard::violations(), 0);
}

// ---------------------------------------------------------------------------

namespace {

constexpr int kMaxFrames = 4096;
const int kBlockSizes[] = {0, 1, 2, 3, 16, 64, 100, 256, 511, 1024, 4096};

struct Buffers {
    std::vector<float> l, r, ol, orr;
    Buffers() : l(kMaxFrames), r(kMaxFrames), ol(kMaxFrames), orr(kMaxFrames) {
        // A loud, busy signal that drives both stages into gain reduction.
        for (int i = 0; i < kMaxFrames; ++i) {
            l[i] = static_cast<float>(0.9 * std::sin(0.031 * i) + 0.1 * std::sin(0.7 * i));
            r[i] = static_cast<float>(0.7 * std::sin(0.013 * i + 1.0));
        }
    }
};

// One armed block: the parameters a host's automation would set before it,
// read back, then the block itself.
Caught armedBlock(const Instance& fx, Buffers& b, const std::vector<std::pair<int, float>>& sets,
                  int frames) {
    AEffect* e = fx.effect();
    float* in[2] = {b.l.data(), b.r.data()};
    float* out[2] = {b.ol.data(), b.orr.data()};
    return armedRun([&] {
        for (const auto& s : sets) e->setParameter(e, s.first, s.second);
        float sum = 0.0f;
        for (const auto& s : sets) sum += e->getParameter(e, s.first);
        (void)sum;
        e->processReplacing(e, in, out, frames);
    });
}

}  // namespace

// Every combination of the global modes, the bypass and side-chain switches
// and the transformer modes, the six steps of attack, release and ratio, at
// six sample rates, with block sizes from 0 to 4096 in turn.
TEST(RealTimeSafety, ProcessingAndParameterCallsNeitherAllocateNorLockInAnyMode) {
    const float rates[] = {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f};
    const float two[] = {0.0f, 1.0f};
    const float three[] = {0.0f, 0.5f, 1.0f};
    Buffers b;
    long combos = 0;
    float deepestReduction = 0.0f;
    for (float rate : rates) {
        Instance fx;
        ASSERT_TRUE(fx);
        fx.changeRate(rate, kMaxFrames);
        // Low thresholds and some make-up, so that both stages work hard.
        for (int ch = 0; ch < 2; ++ch) {
            fx.setParameter(kOptThr1 + 7 * ch, 0.2f);
            fx.setParameter(kDisThr1 + 7 * ch, 0.3f);
            fx.setParameter(kOptGain1 + 7 * ch, 0.5f);
        }
        for (float ms : two)
            for (float stereo : two)
                for (float optMode : three)
                    for (float meterMode : three)
                        for (float trafo : three)
                            for (int bypass = 0; bypass < 16; ++bypass)
                                for (int sc = 0; sc < 4; ++sc) {
                                    const int step = static_cast<int>(combos % 6);
                                    const float stepped = (static_cast<float>(step) + 0.5f) / 5.5f;
                                    const std::vector<std::pair<int, float>> sets = {
                                        {kMSMode, ms},
                                        {kStereoMode, stereo},
                                        {kOptMode, optMode},
                                        {kMeterMode, meterMode},
                                        {kTrafo1, trafo},
                                        {kTrafo2, 1.0f - trafo},
                                        {kOptByp1, static_cast<float>(bypass & 1)},
                                        {kDisByp1, static_cast<float>((bypass >> 1) & 1)},
                                        {kOptByp2, static_cast<float>((bypass >> 2) & 1)},
                                        {kDisByp2, static_cast<float>((bypass >> 3) & 1)},
                                        {kSCFilt1, static_cast<float>(sc & 1)},
                                        {kSCFilt2, static_cast<float>((sc >> 1) & 1)},
                                        {kDisAtk1, stepped},
                                        {kDisRls1, stepped},
                                        {kDisRat1, stepped},
                                        {kDisAtk2, 1.0f - stepped},
                                        {kDisRls2, 1.0f - stepped},
                                        {kDisRat2, 1.0f - stepped},
                                    };
                                    const int frames =
                                        kBlockSizes[combos % (sizeof kBlockSizes / sizeof kBlockSizes[0])] % 600;
                                    const Caught c = armedBlock(fx, b, sets, frames);
                                    ASSERT_EQ(c.calls, 0)
                                        << "first forbidden call: " << c.first << " at " << rate
                                        << " Hz, MSMode " << ms << ", StereoMode " << stereo
                                        << ", OptMode " << optMode << ", MeterMode " << meterMode
                                        << ", Trafo " << trafo << ", bypass bits " << bypass
                                        << ", SCFilt bits " << sc << ", " << frames << " frames";
                                    ++combos;
                                    deepestReduction = std::max(deepestReduction, fx.meter(0));
                                }
        // The long blocks, once per rate, in the last combination.
        for (int frames : kBlockSizes) {
            const Caught c = armedBlock(fx, b, {}, frames);
            ASSERT_EQ(c.calls, 0) << "first forbidden call: " << c.first << ", " << frames << " frames";
        }
    }
    EXPECT_EQ(combos, 6L * 2 * 2 * 3 * 3 * 3 * 16 * 4);
    EXPECT_GT(deepestReduction, 1.0f) << "the sweep never drove a stage into gain reduction";
}

// What a careless or hostile host may pass to the three calls: indices far
// outside the table, values that are not numbers or not finite, and audio
// that is not finite or far beyond full scale.
TEST(RealTimeSafety, BadValuesAndIndicesTakeNoForbiddenPathEither) {
    Instance fx;
    ASSERT_TRUE(fx);
    Buffers b;
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {std::nanf(""), inf, -inf, 1e30f, -1e30f, 1e-42f, -0.0f, 7.0f};
    const int indices[] = {-1, kNumParams, 1000, INT_MAX, INT_MIN, 0, kMSMode, 50};
    for (int k = 0; k < 4; ++k) {
        b.l[static_cast<std::size_t>(k * 7)] = values[k];
        b.r[static_cast<std::size_t>(k * 11)] = values[(k + 3) % 8];
    }
    for (float v : values) {
        std::vector<std::pair<int, float>> sets;
        for (int i : indices) sets.push_back({i, v});
        for (int frames : {0, 1, 64, 600}) {
            const Caught c = armedBlock(fx, b, sets, frames);
            ASSERT_EQ(c.calls, 0) << "first forbidden call: " << c.first << " for value " << v;
        }
    }
    // Negative frame counts from a confused host.
    for (int frames : {-1, -4096, INT_MIN}) {
        const Caught c = armedBlock(fx, b, {}, frames);
        ASSERT_EQ(c.calls, 0) << "first forbidden call: " << c.first << ", " << frames << " frames";
    }
}

// The same holds for instances that run on audio threads of their own, the
// host's usual arrangement, with the rate set before the stream starts.
TEST(RealTimeSafety, AudioThreadsOfTheirOwnStayClean) {
    rtguard::reset();
    std::atomic<long> caught{0};
    std::vector<std::thread> threads;
    std::vector<std::unique_ptr<Instance>> fxs;
    for (int t = 0; t < 3; ++t) {
        fxs.push_back(std::make_unique<Instance>());
        ASSERT_TRUE(*fxs.back());
        fxs.back()->changeRate(44100.0f * static_cast<float>(t + 1), kMaxFrames);
    }
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            Buffers b;
            robust::Rng rng(static_cast<std::uint64_t>(t));
            AEffect* e = fxs[static_cast<std::size_t>(t)]->effect();
            float* in[2] = {b.l.data(), b.r.data()};
            float* out[2] = {b.ol.data(), b.orr.data()};
            long mine = 0;
            for (int k = 0; k < 400; ++k) {
                const int index = rng.below(kNumParams);
                const float value = robust::interestingValue(rng);
                const int frames = rng.below(513);
                rtguard::Armed armed;
                const long before = rtguard::violations();
                e->setParameter(e, index, value);
                (void)e->getParameter(e, index);
                e->processReplacing(e, in, out, frames);
                mine += rtguard::violations() - before;
            }
            caught.fetch_add(mine);
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(caught.load(), 0) << "first forbidden call: " << rtguard::firstName();
}

#ifdef KVB_LV2_PLUGIN_PATH
// The LV2 glue's run(), reached through the built processing binary's
// descriptor, whatever the host connects and sends: every mode, null and
// moved buffers, empty runs, values beyond the ports' range.
TEST(RealTimeSafety, Lv2RunNeitherAllocatesNorLocks) {
    lv2test::Module module(KVB_LV2_PLUGIN_PATH);
    ASSERT_NE(module.descriptor(), nullptr) << dlerror();
    // The binary's own calls reach the guard too: instantiating allocates
    // the instance and the engine's sections.
    const LV2_Descriptor* d = module.descriptor();
    const LV2_Feature* const none[] = {nullptr};
    LV2_Handle h = nullptr;
    Caught c = armedRun([&] { h = d->instantiate(d, 48000.0, KVB_LV2_BUNDLE "/", none); });
    ASSERT_NE(h, nullptr);
    d->cleanup(h);
    EXPECT_GE(c.calls, 2);
    EXPECT_EQ(c.first, "operator new");

    lv2test::Plugin p(module.descriptor(), 48000.0, kMaxFrames);
    ASSERT_TRUE(p);
    // An activation after a deactivation resets the chain, in place.
    p.run(kMaxFrames);
    c = armedRun([&] {
        d->deactivate(p.handle);
        d->activate(p.handle);
    });
    ASSERT_EQ(c.calls, 0) << "first forbidden call: " << c.first << " in deactivate/activate";
    Buffers b;
    p.inL = b.l;
    p.inR = b.r;
    std::vector<float> moved(kMaxFrames, 0.25f);
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {0.0f, 1.0f, 0.5f, 0.2f, 0.8f, std::nanf(""), inf, -inf, 7.0f, -1.0f};
    long runs = 0;
    for (float v : values)
        for (int ports = 0; ports < 4; ++ports)
            for (int frames : kBlockSizes) {
                const int which = static_cast<int>(runs % kvblv2::kNumParamPorts);
                c = armedRun([&] {
                    p.controls[which] = v;
                    p.controls[kMSMode] = static_cast<float>(ports & 1);
                    p.controls[kStereoMode] = static_cast<float>((ports >> 1) & 1);
                    // Ports 0: as connected; 1: an input and an output let go;
                    // 2: moved to another buffer, in place; 3: back again.
                    if (ports == 1) {
                        p.connect(kvblv2::kInRightPort, nullptr);
                        p.connect(kvblv2::kOutLeftPort, nullptr);
                        p.connect(kvblv2::kMeter1Port, nullptr);
                    } else if (ports == 2) {
                        p.connect(kvblv2::kInLeftPort, moved.data());
                        p.connect(kvblv2::kOutLeftPort, moved.data());
                    } else if (ports == 3) {
                        p.connect(kvblv2::kInLeftPort, p.inL.data());
                        p.connect(kvblv2::kInRightPort, p.inR.data());
                        p.connect(kvblv2::kOutLeftPort, p.outL.data());
                        p.connect(kvblv2::kMeter1Port, &p.meters[0]);
                    }
                    p.run(static_cast<std::uint32_t>(frames));
                });
                ASSERT_EQ(c.calls, 0) << "first forbidden call: " << c.first << ", value " << v
                                      << " on port " << which << ", ports " << ports << ", "
                                      << frames << " frames";
                ++runs;
            }
}
#endif

// ---------------------------------------------------------------------------
// CLAP: KVB.clap's audio-thread calls, reached through the built binary's
// entry with our test host (tests/clap/ClapHost.h).
#ifdef KVB_CLAP_PATH
#include "tests/clap/ClapHost.h"

// process with parameter events at frames (many to a block, out of order,
// past the end, not numbers, beyond the range, for ids that are none), a
// flush while active, in-place and missing buffers, empty blocks and reset.
TEST(RealTimeSafety, ClapProcessFlushAndResetNeitherAllocateNorLock) {
    claptest::ClapModule module(KVB_CLAP_PATH);
    ASSERT_TRUE(module) << module.error();
    // The binary's own calls reach the guard: creating an instance allocates.
    const clap_plugin_factory_t* f = module.factory();
    const clap_plugin_descriptor_t* d = f->get_plugin_descriptor(f, 0);
    claptest::ClapInstance fx(module);
    ASSERT_TRUE(fx);
    Caught c = armedRun([&] {
        const clap_plugin_t* p = f->create_plugin(f, fx.host(), d->id);
        if (p) p->destroy(p);
    });
    EXPECT_GE(c.calls, 2);
    EXPECT_EQ(c.first, "operator new");

    const float inf = std::numeric_limits<float>::infinity();
    const double values[] = {0.0, 1.0, 0.5, 0.2, 2.0, 5.0, std::nan(""), inf, -inf, -1.0};
    const clap_id ids[] = {kOptThr1, kDisAtk1, kOptMode, kMSMode, kStereoMode, kDisByp1, kOptByp2, kDisThr2,
                           26, 27, 28, 1000, CLAP_INVALID_ID};
    Buffers b;
    std::vector<float> inPlaceL(b.l), inPlaceR(b.r);
    const clap_plugin_t* p = fx.plugin();
    long blocks = 0;
    double deepest = 0.0;
    for (double rate : {44100.0, 96000.0}) {
        fx.deactivate();
        ASSERT_TRUE(fx.activate(rate, kMaxFrames));
        for (int shape = 0; shape < 4; ++shape)
            for (int frames : kBlockSizes) {
                const int count = blocks % 3 == 0 ? 300 : 12;
                for (int k = 0; k < count; ++k) {
                    const auto frame = static_cast<std::uint32_t>((k * 37 + blocks) % (frames + 5));
                    fx.queueValue(ids[(k + blocks) % 13], values[(k * 3 + blocks) % 10], frame);
                }
                fx.output().clear();
                const float* in[2] = {b.l.data(), b.r.data()};
                float* out[2] = {b.ol.data(), b.orr.data()};
                float* both[2] = {inPlaceL.data(), inPlaceR.data()};
                clap_process_t none{};
                none.frames_count = static_cast<std::uint32_t>(frames);
                c = armedRun([&] {
                    // Shapes: 0 separate buffers, 1 in place, 2 no ports, 3
                    // a flush between blocks, then a reset.
                    if (shape == 1) {
                        fx.process(both, both, static_cast<std::uint32_t>(frames));
                    } else if (shape == 2) {
                        fx.process(none);
                    } else if (shape == 3) {
                        fx.flush();
                        fx.process(in, out, static_cast<std::uint32_t>(frames));
                        p->reset(p);
                    } else {
                        fx.process(in, out, static_cast<std::uint32_t>(frames));
                    }
                });
                ASSERT_EQ(c.calls, 0) << "first forbidden call: " << c.first << " at " << rate << " Hz, shape "
                                      << shape << ", " << frames << " frames";
                deepest = std::max({deepest, fx.paramValue(26), fx.paramValue(27)});
                ++blocks;
            }
    }
    EXPECT_GT(deepest, 1.0) << "the blocks never drove a stage into gain reduction";
}
#endif

// VST3: the bundle's process(), loaded into this program by our own VST3
// host (tests/vst3/Vst3Host.h), whose parameter queues are preallocated.
#ifdef KVB_VST3_BUNDLE
#include "tests/vst3/Vst3Host.h"

// Every kind of change a host queues (several points, many more than the
// glue merges at once, values beyond the range and not numbers, ids that are
// none of ours), flushes of changes alone, and the buses a host hands over
// (all there, in place, channels missing, none): nothing allocates or locks,
// and neither do activation and the meters' output changes.
TEST(RealTimeSafety, Vst3ProcessNeitherAllocatesNorLocks) {
    vst3host::Module module;
    ASSERT_TRUE(module.load(KVB_VST3_BUNDLE)) << module.error();
    // The binary's own calls reach the guard too: making an instance
    // allocates the instance and the engine's sections.
    Caught c = armedRun([&] {
        vst3host::Plugin made;
        EXPECT_TRUE(made.create(module)) << made.error();
    });
    EXPECT_GE(c.calls, 2);
    EXPECT_EQ(c.first.rfind("operator new", 0), 0u) << c.first;

    vst3host::Plugin p;
    ASSERT_TRUE(p.create(module)) << p.error();
    Buffers b;
    std::vector<float> moved(kMaxFrames, 0.25f);
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0, 1.0, 0.5, 0.2, 0.8, std::nan(""), inf, -inf, 7.0, -1.0};
    long runs = 0;
    for (double rate : {44100.0, 96000.0}) {
        if (p.active()) p.deactivate();
        ASSERT_EQ(p.setup(rate, kMaxFrames), V3_OK);
        c = armedRun([&] { p.activate(); });
        ASSERT_EQ(c.calls, 0) << "first forbidden call: " << c.first << " in setActive/setProcessing";
        for (double v : values)
            for (int buses = 0; buses < 4; ++buses)
                for (int frames : kBlockSizes) {
                    const auto id = static_cast<v3_param_id>(runs % 26);
                    p.queueChange(kMSMode, 0, buses & 1);
                    p.queueChange(kStereoMode, 0, (buses >> 1) & 1);
                    p.queueChange(id, frames / 2, v);
                    p.queueChange(id, frames, 0.5);
                    p.queueChange(1000, 0, v);
                    if (runs % 3 == 0)
                        for (int k = 0; k < 300; ++k) p.queueChange(kOptThr1, k * frames / 300, k / 300.0);
                    // Buses 0: as given; 1: a channel of each missing; 2: in
                    // place; 3: none at all.
                    float* ins[2] = {b.l.data(), b.r.data()};
                    float* outs[2] = {b.ol.data(), b.orr.data()};
                    if (buses == 1) ins[1] = outs[0] = nullptr;
                    if (buses == 2) ins[0] = outs[0] = moved.data();
                    v3_audio_bus_buffers inBus{2, 0, {ins}}, outBus{2, 0, {outs}};
                    v3_process_data d{};
                    d.symbolic_sample_size = V3_SAMPLE_32;
                    d.nframes = frames;
                    d.num_input_buses = d.num_output_buses = buses == 3 ? 0 : 1;
                    d.inputs = &inBus;
                    d.outputs = &outBus;
                    d.input_params = p.inputChanges.object();
                    d.output_params = p.outputChanges.object();
                    p.outputChanges.clear();
                    c = armedRun([&] { EXPECT_EQ(p.processRaw(d), V3_OK); });
                    p.inputChanges.clear();
                    ASSERT_EQ(c.calls, 0) << "first forbidden call: " << c.first << ", value " << v << " of "
                                          << id << ", buses " << buses << ", " << frames << " frames";
                    ASSERT_EQ(p.outputChanges.count(), 2) << "the two meters";
                    ++runs;
                }
        c = armedRun([&] { p.deactivate(); });
        ASSERT_EQ(c.calls, 0) << "first forbidden call: " << c.first << " in setProcessing/setActive";
    }
}
#endif
