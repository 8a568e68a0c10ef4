// Cost of the whole signal chain through the effect's processReplacing, with
// both stages active and compressing.
//
// Counters: time_per_frame is the wall time of one stereo frame (shown in ns),
// rt_factor how many seconds of audio one second of processing gets through.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "params/Parameters.h"
#include "shell/Controlsgui.h"

namespace {

vst::intptr host(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

enum Link { kLinked = 0, kIndependent = 1, kMidSide = 2 };

// A drum-like burst every quarter second on a bass tone and a chord, loud
// enough that both stages reduce the gain all the time.
void makeSignal(std::vector<float>& l, std::vector<float>& r, float fs) {
    const double twoPi = 6.283185307179586;
    for (std::size_t i = 0; i < l.size(); ++i) {
        const double t = static_cast<double>(i) / fs;
        const double beat = std::fmod(t, 0.25);
        const double hit = std::exp(-beat * 30.0) * std::sin(twoPi * 70.0 * t);
        const double bass = 0.3 * std::sin(twoPi * 55.0 * t);
        const double chord = 0.1 * (std::sin(twoPi * 440.0 * t) + std::sin(twoPi * 554.4 * t) +
                                    std::sin(twoPi * 659.3 * t));
        l[i] = static_cast<float>(0.5 * hit + bass + chord);
        r[i] = static_cast<float>(0.4 * hit + bass - chord);
    }
}

void BM_ProcessReplacing(benchmark::State& state) {
    const float fs = static_cast<float>(state.range(0));
    const int block = static_cast<int>(state.range(1));
    const Link link = static_cast<Link>(state.range(2));

    Controlsgui effect(host);
    effect.setSampleRate(fs);
    effect.resume();
    // Opt threshold -30 dB with 15 dB make-up, Dis threshold -24 dB with
    // ratio index 4: on this signal both stages reduce all the time (about
    // 16 and 10 dB on average).
    for (int ch = 0; ch < 2; ++ch) {
        const int o = 7 * ch, sw = 3 * ch;
        effect.setParameter(kOptThr1 + o, 0.6f);
        effect.setParameter(kOptGain1 + o, 1.0f);
        effect.setParameter(kDisThr1 + o, 0.4f);
        effect.setParameter(kOptByp1 + sw, 0.0f);
        effect.setParameter(kDisByp1 + sw, 0.0f);
    }
    effect.setParameter(kMeterMode, 1.0f);  // meter 1: Opt, meter 2: Dis, channel 1
    effect.setParameter(kStereoMode, link == kIndependent ? 1.0f : 0.0f);
    effect.setParameter(kMSMode, link == kMidSide ? 0.0f : 1.0f);

    // Ten seconds of signal, processed in blocks round and round.
    const std::size_t length = static_cast<std::size_t>(fs) * 10;
    std::vector<float> l(length), r(length), outL(length), outR(length);
    makeSignal(l, r, fs);

    // One second to let the detectors settle before timing.
    std::size_t pos = 0;
    for (; pos + static_cast<std::size_t>(block) <= static_cast<std::size_t>(fs); pos += static_cast<std::size_t>(block)) {
        float* in[2] = {l.data() + pos, r.data() + pos};
        float* out[2] = {outL.data() + pos, outR.data() + pos};
        effect.processReplacing(in, out, block);
    }
    std::int64_t frames = 0;
    double optSum = 0.0, disSum = 0.0;
    std::int64_t blocks = 0;
    for (auto _ : state) {
        if (pos + static_cast<std::size_t>(block) > length) pos = 0;
        float* in[2] = {l.data() + pos, r.data() + pos};
        float* out[2] = {outL.data() + pos, outR.data() + pos};
        effect.processReplacing(in, out, block);
        benchmark::ClobberMemory();
        pos += static_cast<std::size_t>(block);
        frames += block;
        optSum += effect.getMeter1Address()->load(std::memory_order_relaxed);
        disSum += effect.getMeter2Address()->load(std::memory_order_relaxed);
        ++blocks;
    }
    // Both stages must really be reducing the gain for the figure to count.
    const double optMean = optSum / static_cast<double>(blocks);
    const double disMean = disSum / static_cast<double>(blocks);
    if (optMean < 3.0 || disMean < 3.0) state.SkipWithError("a stage is not compressing");
    state.counters["opt_dB"] = optMean;
    state.counters["dis_dB"] = disMean;

    state.counters["time_per_frame"] = benchmark::Counter(
        static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["rt_factor"] =
        benchmark::Counter(static_cast<double>(frames) / fs, benchmark::Counter::kIsRate);
}

void arguments(benchmark::internal::Benchmark* b) {
    b->ArgNames({"fs", "block", "link"});
    for (int link : {kLinked, kIndependent, kMidSide})
        for (int fs : {44100, 48000, 96000})
            for (int block : {64, 512}) b->Args({fs, block, link});
}

}  // namespace

BENCHMARK(BM_ProcessReplacing)->Apply(arguments)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
