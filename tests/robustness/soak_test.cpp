// A long run, much faster than real time: programme material at 44.1, 48, 96
// and 192 kHz, the rate changed between stretches the way a host changes it,
// parameters automated and programs switched between blocks, block sizes from
// 1 to 1024. Throughout:
//
// - every output sample is finite and below +54 dBFS. Inputs never exceed
//   0 dBFS and every parameter stays within 0 to 1, so the most the chain can
//   add is 6 dB for the mid/side sum, 15 dB of make-up in each of the two
//   stages (their gain reduction is never negative) and the overshoot of the
//   interpolation and decimation filters and of the DC blocker on the worst
//   edges, which together stay well below the remaining 18 dB. A chain that
//   goes unstable or loses its state blows through that at once;
// - no output sample and no published meter value is subnormal: a recursive
//   state decaying toward zero in single precision would show there first;
// - the processing time per sample does not creep upward: the median of the
//   last tenth of the run stays within twice the median of the first tenth.
//   Time is the thread's own CPU time, so a busy machine does not count, and
//   subnormal arithmetic (the usual cause of a slow creep) costs ten times or
//   more.
//
// KVB_SOAK_SECONDS sets the amount of audio (default 900 s, CI's share; 20 s
// at least); KVB_SOAK_SECONDS=3600 is the full hour.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "RobustSupport.h"

using namespace vst;
using robust::Instance;
using robust::Rng;

namespace {

constexpr int kMaxBlock = 1024;
constexpr float kCeilingDb = 54.0f;
const float kRates[] = {44100.0f, 48000.0f, 96000.0f, 192000.0f};

double soakSeconds() {
    const char* env = std::getenv("KVB_SOAK_SECONDS");
    if (env && *env) {
        const double s = std::atof(env);
        if (s > 0.0) return s;
    }
    return 900.0;
}

// CPU time this thread has used, in nanoseconds.
double threadCpuNs() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& f) {
        return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 100.0;  // 100 ns units
#else
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
#endif
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

bool subnormal(float v) { return std::fpclassify(v) == FP_SUBNORMAL; }

}  // namespace

TEST(Soak, LongRunStaysFiniteBoundedFreeOfSubnormalsAndDoesNotSlowDown) {
    const double target = soakSeconds();
    const float ceiling = std::pow(10.0f, kCeilingDb / 20.0f);

    Instance fx;
    ASSERT_TRUE(fx);
    Rng rng(2024);
    robust::Programme programme(99);
    std::vector<float> l(kMaxBlock), r(kMaxBlock), ol(kMaxBlock), orr(kMaxBlock);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};

    double audioSeconds = 0.0;
    double secondsAt[4] = {0, 0, 0, 0};
    long blocks = 0, parameterChanges = 0, programChanges = 0, rateChanges = 0;
    long nonFinite = 0, overCeiling = 0, subnormalOut = 0, badMeters = 0;
    float loudest = 0.0f, deepestReduction = 0.0f;
    // CPU time per frame over stretches of two seconds of audio each.
    std::vector<double> nsPerFrame;
    double chunkNs = 0.0, chunkSeconds = 0.0;
    long chunkFrames = 0;

    int rateIndex = 0;
    while (audioSeconds < target) {
        // A stretch at one rate: the host stops processing and changes it.
        const float rate = kRates[rateIndex];
        fx.changeRate(rate, kMaxBlock);
        ++rateChanges;
        const double stretch = std::min(target - audioSeconds, 5.0 + 25.0 * rng.unit());
        double done = 0.0;
        while (done < stretch) {
            // Between blocks: automation and now and then a program change.
            if (rng.below(4) == 0) {
                for (int k = 1 + rng.below(3); k > 0; --k) {
                    fx.setParameter(rng.below(28), robust::interestingValue(rng));
                    ++parameterChanges;
                }
            }
            if (rng.below(400) == 0) {
                fx.dispatch(effSetProgram, 0, rng.below(kNumPrograms));
                ++programChanges;
            }
            const int frames = rng.below(16) == 0 ? 1 + rng.below(8) : 1 + rng.below(kMaxBlock);
            programme.fill(l.data(), r.data(), frames, rate);

            const double t0 = threadCpuNs();
            fx.process(in, out, frames);
            const double t1 = threadCpuNs();
            chunkNs += t1 - t0;
            chunkFrames += frames;
            chunkSeconds += frames / static_cast<double>(rate);
            if (chunkSeconds >= 2.0) {
                nsPerFrame.push_back(chunkNs / static_cast<double>(chunkFrames));
                chunkNs = chunkSeconds = 0.0;
                chunkFrames = 0;
            }

            for (int i = 0; i < frames; ++i) {
                for (float v : {ol[i], orr[i]}) {
                    if (!std::isfinite(v)) {
                        ++nonFinite;
                        continue;
                    }
                    const float a = std::fabs(v);
                    loudest = std::max(loudest, a);
                    overCeiling += a > ceiling;
                    subnormalOut += subnormal(v);
                }
            }
            for (int m = 0; m < 2; ++m) {
                const float g = fx.meter(m);
                badMeters += !std::isfinite(g) || subnormal(g);
                if (std::isfinite(g)) deepestReduction = std::max(deepestReduction, g);
            }
            ++blocks;
            done += frames / static_cast<double>(rate);
        }
        audioSeconds += done;
        secondsAt[rateIndex] += done;
        rateIndex = (rateIndex + 1) % 4;
    }

    // The first and last tenths of the run.
    const std::size_t tenth = nsPerFrame.size() / 10;
    ASSERT_GE(tenth, 2u) << "too short a run to compare its start and end (20 s of audio at least)";
    const double early = median({nsPerFrame.begin(), nsPerFrame.begin() + static_cast<long>(tenth)});
    const double late = median({nsPerFrame.end() - static_cast<long>(tenth), nsPerFrame.end()});

    std::printf(
        "soak: %.0f s of audio (44.1k %.0f s, 48k %.0f s, 96k %.0f s, 192k %.0f s), %ld blocks, "
        "%ld parameter changes, %ld program changes, %ld rate changes; loudest output %.2f dBFS "
        "(ceiling %.0f dBFS), deepest metered reduction %.2f dB; CPU per frame: first tenth "
        "%.1f ns, last tenth %.1f ns\n",
        audioSeconds, secondsAt[0], secondsAt[1], secondsAt[2], secondsAt[3], blocks,
        parameterChanges, programChanges, rateChanges,
        20.0 * std::log10(std::max(1e-30, static_cast<double>(loudest))), static_cast<double>(kCeilingDb),
        static_cast<double>(deepestReduction), early, late);
    RecordProperty("audio_seconds", std::to_string(audioSeconds));
    RecordProperty("loudest_dbfs",
                   std::to_string(20.0 * std::log10(std::max(1e-30, static_cast<double>(loudest)))));

    EXPECT_GE(audioSeconds, target);
    EXPECT_EQ(nonFinite, 0);
    EXPECT_EQ(overCeiling, 0) << "loudest output " << loudest;
    EXPECT_EQ(subnormalOut, 0);
    EXPECT_EQ(badMeters, 0) << "non-finite or subnormal meter values";
    EXPECT_GT(deepestReduction, 3.0f) << "the run never drove a stage into real gain reduction";
    EXPECT_LE(late, 2.0 * early) << "processing got slower over the run";
}
