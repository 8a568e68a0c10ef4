// Instances running side by side the way a host runs them: every instance
// processes on an audio thread of its own; a user-interface thread sets
// parameters, changes programs, asks for texts, reads the meters and changes
// the sample rate (holding the instance's processing back meanwhile, as hosts
// do: suspend, rate, block size, resume); the audio threads also play
// automation back through setParameter. CI runs this binary under
// ThreadSanitizer, which reports any access pair without ordering. Without it,
// the test still checks what must hold under any interleaving: outputs and
// meters stay finite, and an instance's output depends on nothing but its own
// input and settings.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "RobustSupport.h"

using namespace vst;
using robust::Instance;
using robust::Rng;

namespace {

constexpr int kMaxBlock = 512;
const float kRates[] = {44100.0f, 48000.0f, 96000.0f, 192000.0f, 22050.0f};

bool finite(float v) { return std::isfinite(v); }

std::uint64_t fnv(std::uint64_t h, const float* x, int n) {
    for (int i = 0; i < n; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &x[i], sizeof bits);
        h = (h ^ bits) * 0x100000001B3ull;
    }
    return h;
}

// A fixed script of blocks, parameter changes, program changes and rate
// changes, all on the calling thread. Answers a hash of every output sample.
std::uint64_t runScript(const Instance& fx, int blocks, std::uint64_t seed, int* nonFinite) {
    Rng rng(seed);
    robust::Programme programme(seed);
    std::vector<float> l(kMaxBlock), r(kMaxBlock), ol(kMaxBlock), orr(kMaxBlock);
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (int b = 0; b < blocks; ++b) {
        const int op = rng.below(20);
        if (op < 6) fx.setParameter(rng.below(28), robust::interestingValue(rng));
        else if (op == 6) fx.dispatch(effSetProgram, 0, rng.below(kNumPrograms));
        else if (op == 7) fx.changeRate(kRates[rng.below(5)], kMaxBlock);
        const int frames = rng.below(8) == 0 ? rng.below(3) : 1 + rng.below(kMaxBlock);
        programme.fill(l.data(), r.data(), frames, 48000.0f);
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {ol.data(), orr.data()};
        fx.process(in, out, frames);
        for (int i = 0; i < frames; ++i) *nonFinite += !finite(ol[i]) + !finite(orr[i]);
        hash = fnv(hash, ol.data(), frames);
        hash = fnv(hash, orr.data(), frames);
    }
    return hash;
}

// An instance whose processing a host thread may hold back, and its audio
// thread's tally.
struct Controlled {
    Instance fx;
    std::mutex processing;  // the host's engine lock, held for each block
    std::atomic<int> nonFinite{0};
    std::atomic<int> blocks{0};
};

}  // namespace

TEST(Concurrency, InstancesOnTheirOwnThreadsShareNothingWhileTheHostControlsThem) {
    constexpr int kScriptBlocks = 600;
    constexpr int kControlledBlocks = 900;
    constexpr std::uint64_t kScriptSeed = 11;

    // The script alone on this thread first: what every copy of it must give.
    int referenceNonFinite = 0;
    std::uint64_t reference;
    {
        Instance alone;
        ASSERT_TRUE(alone);
        reference = runScript(alone, kScriptBlocks, kScriptSeed, &referenceNonFinite);
    }
    EXPECT_EQ(referenceNonFinite, 0);

    Instance twins[2];
    Controlled controlled[2];
    for (const Instance& t : twins) ASSERT_TRUE(t);
    for (Controlled& c : controlled) ASSERT_TRUE(c.fx);

    std::atomic<int> running{4};
    std::uint64_t twinHash[2] = {0, 0};
    int twinNonFinite[2] = {0, 0};
    std::vector<std::thread> audio;
    for (int t = 0; t < 2; ++t) {
        audio.emplace_back([&, t] {
            twinHash[t] = runScript(twins[t], kScriptBlocks, kScriptSeed, &twinNonFinite[t]);
            running.fetch_sub(1);
        });
    }
    for (int c = 0; c < 2; ++c) {
        audio.emplace_back([&, c] {
            Controlled& me = controlled[c];
            Rng rng(100 + static_cast<std::uint64_t>(c));
            robust::Programme programme(200 + static_cast<std::uint64_t>(c));
            std::vector<float> l(kMaxBlock), r(kMaxBlock), ol(kMaxBlock), orr(kMaxBlock);
            for (int b = 0; b < kControlledBlocks; ++b) {
                const int frames = rng.below(10) == 0 ? 0 : 1 + rng.below(kMaxBlock);
                programme.fill(l.data(), r.data(), frames, 48000.0f);
                float* in[2] = {l.data(), r.data()};
                float* out[2] = {ol.data(), orr.data()};
                int bad = 0;
                {
                    std::lock_guard<std::mutex> hold(me.processing);
                    // Automation played back on the audio thread.
                    if (rng.below(4) == 0)
                        me.fx.setParameter(rng.below(kNumParams), robust::interestingValue(rng));
                    me.fx.process(in, out, frames);
                }
                for (int i = 0; i < frames; ++i) bad += !finite(ol[i]) + !finite(orr[i]);
                me.nonFinite.fetch_add(bad);
                me.blocks.fetch_add(1);
            }
            running.fetch_sub(1);
        });
    }

    // The host's user-interface thread, until every audio thread is done.
    int meterReads = 0, badMeters = 0, rateChanges = 0, programChanges = 0, operations = 0;
    {
        Rng rng(7);
        char text[256];
        while (running.load() > 0) {
            Controlled& c = controlled[rng.below(2)];
            const Instance& fx = c.fx;
            ++operations;
            switch (rng.below(12)) {
            case 0:
            case 1:
            case 2: fx.setParameter(rng.below(kNumParams + 6) - 3, robust::interestingValue(rng)); break;
            case 3: (void)fx.getParameter(rng.below(kNumParams)); break;
            case 4:
                fx.dispatch(effSetProgram, 0, rng.below(kNumPrograms + 2) - 1);
                ++programChanges;
                break;
            case 5: fx.dispatch(effGetParamDisplay, rng.below(kNumParams), 0, text); break;
            case 6: fx.dispatch(effGetProgramName, 0, 0, text); break;
            case 7: fx.dispatch(effGetProgramNameIndexed, rng.below(kNumPrograms), 0, text); break;
            case 8: {
                std::strcpy(text, rng.below(2) ? "Loud" : "Init");
                fx.dispatch(effSetProgramName, 0, 0, text);
                break;
            }
            case 9: {
                std::lock_guard<std::mutex> hold(c.processing);
                fx.changeRate(kRates[rng.below(5)], kMaxBlock);
                ++rateChanges;
                break;
            }
            default: {
                // The editor's meter refresh, for all four instances.
                const Instance* all[4] = {&twins[0], &twins[1], &controlled[0].fx, &controlled[1].fx};
                for (const Instance* i : all) {
                    for (int m = 0; m < 2; ++m) badMeters += !finite(i->meter(m));
                    meterReads += 2;
                }
                fx.dispatch(effEditIdle);
                break;
            }
            }
            if (operations % 64 == 0) std::this_thread::yield();
        }
    }
    for (std::thread& t : audio) t.join();

    EXPECT_EQ(twinHash[0], reference) << "an instance's output changed with what the others did";
    EXPECT_EQ(twinHash[1], reference) << "an instance's output changed with what the others did";
    EXPECT_EQ(twinNonFinite[0] + twinNonFinite[1], 0);
    for (Controlled& c : controlled) {
        EXPECT_EQ(c.blocks.load(), kControlledBlocks);
        EXPECT_EQ(c.nonFinite.load(), 0);
    }
    EXPECT_EQ(badMeters, 0);
    EXPECT_GT(meterReads, 0);
    EXPECT_GT(operations, 100) << "the control thread hardly overlapped the processing";
    RecordProperty("rate_changes", rateChanges);
    RecordProperty("program_changes", programChanges);
}

// A program change applies its values one after another while the audio
// thread may be setting one of them (hosts play automation back from there):
// afterwards every parameter and every stored program value is one that was
// really set, never a mixture.
TEST(Concurrency, ProgramChangesRacingAutomationLeaveConsistentValues) {
    Instance fx;
    ASSERT_TRUE(fx);
    // Programs 1 and 2 hold recognisable values: 0.1 and 0.2 everywhere.
    for (int p = 1; p <= 2; ++p) {
        fx.dispatch(effSetProgram, 0, p);
        for (int i = 0; i < kNumParams; ++i) fx.setParameter(i, 0.1f * static_cast<float>(p));
    }
    std::atomic<bool> stop{false};
    std::thread automation([&] {
        Rng rng(3);
        std::vector<float> buf(64, 0.0f);
        float* io[2] = {buf.data(), buf.data() + 32};
        while (!stop.load()) {
            fx.setParameter(rng.below(kNumParams), 0.9f);
            fx.process(io, io, 32);
        }
    });
    for (int k = 0; k < 2000; ++k) fx.dispatch(effSetProgram, 0, 1 + (k & 1));
    stop.store(true);
    automation.join();

    const int current = static_cast<int>(fx.dispatch(effGetProgram));
    ASSERT_TRUE(current == 1 || current == 2);
    for (int i = 0; i < kNumParams; ++i) {
        const float live = fx.getParameter(i);
        EXPECT_TRUE(live == 0.1f || live == 0.2f || live == 0.9f) << "parameter " << i << ": " << live;
        for (int p = 1; p <= 2; ++p) {
            const float stored = fx.object()->program(p).values[i];
            EXPECT_TRUE(stored == 0.1f || stored == 0.2f || stored == 0.9f)
                << "program " << p << ", parameter " << i << ": " << stored;
        }
    }
}
