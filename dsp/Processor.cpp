#include "dsp/Processor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#if KVB_HAVE_AVX2_ROUNDS
#include <immintrin.h>
#endif

#include "dsp/LevelMath.h"
#include "dsp/Metering.h"

void Processor::setUp() {
    for (int i = 0; i < 3; ++i) {
        scSection[i] = std::make_unique<QS_Peaking_1>(&scSectionIn[i][0], &scSectionIn[i][1],
                                                      &scSettings[i], &osRateRatio_);
    }
    for (int i = 0; i < 3; ++i) {
        scOutput[i][0] = scSection[i]->leftOutput();
        scOutput[i][1] = scSection[i]->rightOutput();
    }
    if (useRounds(Rounds::Avx512) != Rounds::Avx512) useRounds(Rounds::Avx2);
    reset();
}

void Processor::reset() {
    // Provisional settings; the first block replaces them before any section runs.
    constexpr PeakingSettings provisional[3] = {
        {0.004535f, 0.5f, 0.0f}, {0.004535f, 0.5f, 0.0f}, {0.4535149931907654f, 0.0f, 0.0f}};
    for (int i = 0; i < 3; ++i) {
        scSectionIn[i][0] = scSectionIn[i][1] = 0.0f;
        scSettings[i].freq = provisional[i].freq;
        scSettings[i].width = provisional[i].width;
        if (!scSection[i]) continue;
        scSection[i]->setCore(PeakingCore{});
        scSection[i]->updateCoefficients();
    }
    chain = ChainState{};
    settings = BlockSettings{};
    settingsCurrent_ = false;
    scratch = Scratch{};
    meterValue[0].store(0.0f, std::memory_order_relaxed);
    meterValue[1].store(0.0f, std::memory_order_relaxed);
}

Processor::Rounds Processor::useRounds(Rounds form) {
#if KVB_HAVE_AVX2_ROUNDS
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2");
    const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    if (form == Rounds::Portable || (form == Rounds::Avx2 && avx2) || (form == Rounds::Avx512 && avx512))
        rounds_ = form;
#else
    (void)form;
#endif
    return rounds_;
}

void Processor::setSampleRate(float fs) {
    if (!std::isfinite(fs) || fs <= 0.0f) return;
    const float ratio = 44100.0f / fs;
    if (!std::isfinite(ratio)) return;
    rateRatio_ = ratio;
    osRateRatio_ = static_cast<float>(static_cast<double>(ratio) * 0.25);
}

void Processor::process(const std::atomic<float>* params, float** in, float** out, int frames) {
    SettingsKey key;
    for (int i = 0; i < kProcessingParams; ++i)
        key.values[i] = processingValue(params[i].load(std::memory_order_relaxed));
    key.rateRatio = rateRatio_;
    key.osRateRatio = osRateRatio_;
    // The settings and the sections' coefficients follow from these values
    // alone: they are derived again only when one of them has changed (as
    // bits) since the call that derived them. Most calls change nothing, and
    // the derivation costs as much as a few frames of the chain.
    const bool changed = !settingsCurrent_ || std::memcmp(&key, &settingsKey_, sizeof key) != 0;
    if (changed) {
        settings = deriveBlockSettings(key.values, rateRatio_, osRateRatio_);
        chain.dcPole = settings.dcPole;
    }

    if (!scSection[0]) {
        // Not set up: nothing to run the side chain with.
        for (int i = 0; i < frames; ++i) out[0][i] = out[1][i] = 0.0f;
        return;
    }
    if (changed) {
        for (int s = 0; s < 3; ++s) {
            scSettings[s].freq = settings.band[s].freq;
            scSettings[s].width = settings.band[s].width;
            scSection[s]->updateCoefficients();
        }
        settingsKey_ = key;
        settingsCurrent_ = true;
    }
    if (frames <= 0) return;
    runChain(in[0], in[1], out[0], out[1], frames);
}

namespace {
// A sample that is not finite is read as silence and one beyond ±1e10
// (200 dB over full scale) as ±1e10, so that no sum of the chain can overflow
// and leave the filter and detector states not-a-number for good.
//
// A sample below 2^-100 (-602 dBFS: the tail of a fade from a plug-in before
// this one, subnormals included) is read as zero, told by its bits so that no
// arithmetic meets it. That changes no bit: the stage input adds the input
// offset (6.3e-6, last place 2^-70) to it in double precision, which leaves
// nothing below 2^-71 of it; in the mid/side sums such a sample beside one
// of 2^-72 or more changes no bit of the sum, and beside a smaller one the
// sum falls below 2^-71 either way. Read so, the mid/side sums are zero or
// at least 2^-123, never subnormal.
constexpr float kLargestInput = 1e10f;
KVB_ALWAYS_INLINE inline float readInput(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const std::uint32_t exponent = bits & 0x7f800000u;
    if (exponent < (27u << 23) || exponent == 0x7f800000u) return 0.0f;  // below 2^-100; infinite or NaN
    return v > kLargestInput ? kLargestInput : (v < -kLargestInput ? -kLargestInput : v);
}
}  // namespace

namespace {

// The stage inputs of one frame: sum and difference or left and right, plus
// the input offset (negated once per frame) and the noise.
KVB_ALWAYS_INLINE inline F2 stageInputs(ChainState& s, const BlockSettings& b, float in1, float in2) {
    s.inputOffset = -s.inputOffset;
    const float l = readInput(in1);
    const float r = readInput(in2);
    const float a1 = b.midSide ? r + l : l;
    const float a2 = b.midSide ? l - r : r;
    float noise1, noise2;
    s.noise.nextPair(noise1, noise2);
    const double offset = s.inputOffset;
    return f2(static_cast<float>(static_cast<double>(a1) + offset + static_cast<double>(noise1)),
              static_cast<float>(static_cast<double>(a2) + offset + static_cast<double>(noise2)));
}

// The DC blockers and transformers of both channels, held side by side for a
// round: the same operations as DcBlocker::step and TransformerChannel::step,
// lane by lane.
struct OutputLanes {
    F2 dcX1, dcY, level, gain;
    F2 threshold, slope, releaseC, releaseOneMinusC;

    OutputLanes(const ChainState& s, const BlockSettings& b)
        : dcX1(f2(s.dc[0].x1, s.dc[1].x1)), dcY(f2(s.dc[0].y, s.dc[1].y)),
          level(f2(s.trafo[0].level, s.trafo[1].level)), gain(f2(s.trafo[0].gain, s.trafo[1].gain)),
          threshold(f2(b.trafo[0].threshold, b.trafo[1].threshold)), slope(f2(b.trafo[0].slope, b.trafo[1].slope)),
          releaseC(f2(b.trafo[0].release.c, b.trafo[1].release.c)),
          releaseOneMinusC(f2(b.trafo[0].release.oneMinusC, b.trafo[1].release.oneMinusC)) {}

    void store(ChainState& s) const {
        for (int c = 0; c < 2; ++c) {
            s.dc[c].x1 = lane(dcX1, c);
            s.dc[c].y = lane(dcY, c);
            s.trafo[c].level = lane(level, c);
            s.trafo[c].gain = lane(gain, c);
        }
    }

    KVB_ALWAYS_INLINE F2 step(F2 x, F2 pole, D2 g) {
        dcY = narrow(widen(x) + g - widen(dcX1) + widen(pole * dcY));
        dcX1 = x;
        level = (dcY + level) * f2(0.5f);
        const F2 a = abs(level);
        // Lanes not above the threshold divide by 1 (their result is not
        // taken), so that no lane divides zero by zero.
        const Mask2 above = a > threshold;
        F2 c = select(above, ((a - threshold) * slope + threshold) / select(above, a, f2(1.0f)), f2(1.0f));
        c = select(c > gain, narrow(widen(releaseOneMinusC * c) + g + widen(releaseC * gain)), c);
        gain = c;
        return dcY * c;
    }
};

// The interpolator and the decimator of a round, each in its own window,
// stepped where their chunk runs.
class FilterPairNarrow {
public:
    explicit FilterPairNarrow(const ChainState& s) : interp(s.interp), decim(s.decim) {}

    // Step K of a frame: the interpolator on its zero-stuffed input (with
    // guard offset gInterp), the decimator on z.
    template <int K>
    KVB_ALWAYS_INLINE void step(bool doIn, bool doOut, F2 stuffed, F2 z, D2 g, D2 gInterp, F2& interpOut,
                                F2& decimOut) {
        if (doOut) decimOut = narrow(decim.step(widen(z), g));
        if (doIn) interpOut = narrow(interp.stuffedStep<K>(widen(stuffed), gInterp));
    }
    // Puts back the histories of the filters that ran (interpSteps and
    // decimSteps steps).
    void store(ChainState& s, int interpSteps, int decimSteps) const {
        if (interpSteps > 0) interp.store(s.interp);
        if (decimSteps > 0) decim.store(s.decim);
    }

private:
    FilterWindow<Processor::kSteps> interp, decim;
};

// After decimation: DC blocker, meters, transformer and output forming of one
// frame. g is the guard offset.
KVB_ALWAYS_INLINE inline void outputFrame(OutputLanes& lanes, F2 dcPole, const BlockSettings& b, F2 stageOut, F2 optReduction, F2 disSmooth,
                        std::atomic<float>* meter, D2 g, float& out1, float& out2) {
    const F2 y = lanes.step(stageOut, dcPole, g);

    // The meters show the states after the frame's last oversampled step.
    float meters[2];
    meterValues(b.meterMode, optReduction, b.disStep.ratio * disSmooth, meters);
    meter[0].store(meters[0], std::memory_order_relaxed);
    meter[1].store(meters[1], std::memory_order_relaxed);

    const float y1 = lane0(y), y2 = lane1(y);
    if (b.midSide) {
        out1 = (y2 + y1) * 0.5f;
        out2 = (y1 - y2) * 0.5f;
    } else {
        out1 = y1;
        out2 = y2;
    }
}

// dB over the threshold for n values (pairs of both channels): 20·log10(level)
// less the threshold in dB where the level lies above the threshold, else 0.
// The logarithms are taken over the whole array at once, or not at all where
// no level lies above (for a stage that waits below its threshold, most
// chunks).
KVB_ALWAYS_INLINE inline void decibelsOverArray(const float* level, float* over, int n, F2 threshold, F2 thresholdDb) {
    const F4 thr = f4(threshold), thrDb = f4(thresholdDb);
    F4 above = zero4();
    for (int i = 0; i < n; i += 4) above = above + select(load4(&level[i]) > thr, f4(1.0f), zero4());
    alignas(16) float counts[4];
    store4(counts, above);
    if (counts[0] + counts[1] + counts[2] + counts[3] == 0.0f) {
        for (int i = 0; i < n; i += 4) store4(&over[i], zero4());
        return;
    }
    log10Array(level, over, n);
    for (int i = 0; i < n; i += 4) {
        const F4 l = load4(&level[i]);
        const F4 dB = f4(20.0f) * load4(&over[i]) - thrDb;
        store4(&over[i], select(l > thr, dB, zero4()));
    }
}

// Gains in dB (pairs) to linear gains applied to the pairs of x: out = x · 10^(dB·0.05).
KVB_ALWAYS_INLINE inline void applyGains(float* gain, const float* x, float* out, int n) {
    for (int i = 0; i < n; i += 4) store4(&gain[i], load4(&gain[i]) * f4(0.05f));
    exp10Array(gain, gain, n);
    for (int i = 0; i < n; i += 4) store4(&out[i], load4(&x[i]) * load4(&gain[i]));
}

// In linked operation one gain in dB per step (steps a multiple of four)
// goes to both channels: the powers are taken once per step, then spread
// over the pairs.
KVB_ALWAYS_INLINE inline void applySharedGains(float* gain, const float* x, float* out, int steps) {
    exp10Array(gain, gain, steps);
    for (int i = 0; i < steps; i += 4) {
        const F4 g = load4(&gain[i]);
        store4(&out[2 * i], load4(&x[2 * i]) * pairsOfLow(g));
        store4(&out[2 * i + 4], load4(&x[2 * i + 4]) * pairsOfHigh(g));
    }
}

// The mean of both channels' values for four steps: (channel 2 + channel 1)·0.5.
KVB_ALWAYS_INLINE inline F4 meanOfChannels(const float* pairs) {
    const F4 a = load4(pairs), b = load4(pairs + 4);
    return (channel2Of(a, b) + channel1Of(a, b)) * f4(0.5f);
}

// The Opt stage's gain on x: make-up less reduction, times the active flag;
// linked, channel 1's make-up and flag with the mean reduction.
KVB_ALWAYS_INLINE inline void optGains(const OptStepSettings& k, const float* reduction, const float* x, float* gain, float* y,
              int steps) {
    if (k.linked) {
        const F4 makeUp = f4(lane0(k.makeUpDb)), active = f4(lane0(k.active));
        for (int i = 0; i < steps; i += 4)
            store4(&gain[i], (makeUp - meanOfChannels(&reduction[2 * i])) * active * f4(0.05f));
        applySharedGains(gain, x, y, steps);
    } else {
        const F4 makeUp = f4(k.makeUpDb), active = f4(k.active);
        for (int i = 0; i < 2 * steps; i += 4) store4(&gain[i], (makeUp - load4(&reduction[i])) * active);
        applyGains(gain, x, y, 2 * steps);
    }
}

// The Dis stage's dB over its threshold through the cubic knee.
KVB_ALWAYS_INLINE inline void disOverArray(const DisStepSettings& k, float* level, float* over, int steps) {
    // The side chain's band outputs become levels here, four at a time.
    for (int i = 0; i < 2 * steps; i += 4) store4(&level[i], disLevelCurve(load4(&level[i])));
    decibelsOverArray(level, over, 2 * steps, k.threshold, k.thresholdDb);
    for (int i = 0; i < 2 * steps; i += 4) {
        const F4 o = load4(&over[i]);
        const F4 r = o * f4(0.05f);
        store4(&over[i], select(o < f4(20.0f), r * r * r * f4(20.0f), o));
    }
}

// The Dis stage's gain on y: make-up less ratio times the smoothed dB over,
// times the active flag; linked, channel 1's settings with the mean of both.
KVB_ALWAYS_INLINE inline void disGains(const DisStepSettings& k, const float* smooth, const float* y, float* gain, float* z,
              int steps) {
    if (k.linked) {
        const F4 makeUp = f4(lane0(k.makeUpDb)), ratio = f4(lane0(k.ratio)), active = f4(lane0(k.active));
        for (int i = 0; i < steps; i += 4)
            store4(&gain[i], (makeUp - meanOfChannels(&smooth[2 * i]) * ratio) * active * f4(0.05f));
        applySharedGains(gain, y, z, steps);
    } else {
        const F4 makeUp = f4(k.makeUpDb), ratio = f4(k.ratio), active = f4(k.active);
        for (int i = 0; i < 2 * steps; i += 4)
            store4(&gain[i], (makeUp - ratio * load4(&smooth[i])) * active);
        applyGains(gain, y, z, 2 * steps);
    }
}

// Every fourth pair (the last step of each frame) into a per-frame array.
KVB_ALWAYS_INLINE inline void frameEnds(const float* steps, float* frames, int n) {
    for (int i = 0; i < n; ++i) storePair(&frames[2 * i], loadPair(&steps[8 * i + 6]));
}

}  // namespace

// The block runs in chunks (chunkFrames), one pass per stage over each
// chunk, and every state sees exactly the inputs it would see sample by
// sample, so the output is the same bits. The recursions of the chain (each
// step waits for the one before) are latency-bound, so five chunks at
// different places of the chain are in flight at once, and the recursions of
// one round that fit together run in one loop for the processor to overlap.
// Round r:
//
//   frame by frame     chunk r      input forming (noise and offsets)
//   frame by frame,    chunk r      interpolation (x)
//   step by step       chunk r - 1  Opt smoothers (optOver -> reduction)
//                      chunk r - 3  Dis smoother (disOver -> disSmooth)
//                      chunk r - 4  decimation (z -> decimated)
//                      chunk r - 2  (AVX2 forms) Dis side chain's band
//   frame by frame     chunk r - 4  DC blocker, meters, transformer, outputs
//   step by step       chunk r      Opt detector (x -> optLevel)
//   step by step       chunk r - 2  (first form) Dis side chain's band
//                                   (y -> disLevel)
//   over whole arrays  chunk r      Opt dB over (optLevel -> optOver)
//                      chunk r - 1  Opt gain (reduction, x -> y)
//                      chunk r - 2  Dis level curve, dB over, knee
//                                   (disLevel -> disOver)
//                      chunk r - 3  Dis gain (disSmooth, y -> z)
//
// The main loop holds the long recursions of the two filters (about 40 cycles
// a step, summed in their fixed order) with the short ones beside them; the
// AVX2 forms step both filters in one register, which leaves the loop room
// for the Dis band as well. Input forming and the output stages, whose
// recursions run once a frame, keep loops of their own before and after it:
// in it they made the processor's window hold fewer of the filters' steps.
// The Opt detector keeps a loop of its own too: its branches (see
// emphasisTarget) are sometimes mistaken, and each mistake would cost the
// filters' progress.
//
// x, y and the meter states outlive a round and take their chunk's slot; the
// other arrays are written and read within one round, or by one round's array
// passes and the next round's loops. A chunk's inputs are all read before any
// output at or after its first frame is written, so inputs and outputs may
// share memory.
void Processor::runChain(const float* in1, const float* in2, float* out1, float* out2, int frames) {
#if KVB_HAVE_AVX2_ROUNDS
    if (rounds_ == Rounds::Avx512) {
        runChainAvx512(in1, in2, out1, out2, frames);
        return;
    }
    if (rounds_ == Rounds::Avx2) {
        runChainAvx2(in1, in2, out1, out2, frames);
        return;
    }
#endif
    runChainPortable(in1, in2, out1, out2, frames);
}

void Processor::runChainPortable(const float* in1, const float* in2, float* out1, float* out2, int frames) {
    // The building blocks of this form (see ChainRounds.inc).
    using FilterPair = FilterPairNarrow;
    using Smooth4 = RiseFall4Step;
    constexpr bool kSideChainInFrames = false;
#include "dsp/ChainRounds.inc"
}

#if KVB_HAVE_AVX2_ROUNDS
// The rounds once more for processors with AVX2, compiled for it here alone:
// the small functions they call are compiled into them with its instructions
// (three operands, no copies), the same IEEE operations in the same order.
#pragma GCC push_options
#pragma GCC target("avx2")

#include "dsp/ChainAvx2.h"

void Processor::runChainAvx2(const float* in1, const float* in2, float* out1, float* out2, int frames) {
    using FilterPair = FilterPairWide;
    using Smooth4 = RiseFall4Wide;
    // The frame loop has room for the Dis side chain's band here.
    constexpr bool kSideChainInFrames = true;
#include "dsp/ChainRounds.inc"
}

#pragma GCC pop_options

// The AVX2 form once more with AVX-512's 128- and 256-bit instructions: the
// same operations, with 32 registers instead of 16.
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512vl")

void Processor::runChainAvx512(const float* in1, const float* in2, float* out1, float* out2, int frames) {
    using FilterPair = FilterPairWide;
    using Smooth4 = RiseFall4Wide;
    constexpr bool kSideChainInFrames = true;
#include "dsp/ChainRounds.inc"
}

#pragma GCC pop_options
#endif
