#include "dsp/Processor.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

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
    // Provisional settings; the first block replaces them before any section runs.
    constexpr PeakingSettings provisional[3] = {
        {0.004535f, 0.5f, 0.0f}, {0.004535f, 0.5f, 0.0f}, {0.4535149931907654f, 0.0f, 0.0f}};
    for (int i = 0; i < 3; ++i) {
        scSettings[i].freq = provisional[i].freq;
        scSettings[i].width = provisional[i].width;
        scSection[i]->updateCoefficients();
    }
    chain = ChainState{};
    settings = BlockSettings{};
    meterValue[0].store(0.0f, std::memory_order_relaxed);
    meterValue[1].store(0.0f, std::memory_order_relaxed);
}

void Processor::setSampleRate(float fs) {
    if (!std::isfinite(fs) || fs <= 0.0f) return;
    const float ratio = 44100.0f / fs;
    if (!std::isfinite(ratio)) return;
    rateRatio_ = ratio;
    osRateRatio_ = static_cast<float>(static_cast<double>(ratio) * 0.25);
}

void Processor::process(const std::atomic<float>* params, float** in, float** out, int frames) {
    float p[kProcessingParams];
    for (int i = 0; i < kProcessingParams; ++i)
        p[i] = processingValue(params[i].load(std::memory_order_relaxed));
    settings = deriveBlockSettings(p, rateRatio_, osRateRatio_);
    chain.dcPole = settings.dcPole;

    if (!scSection[0]) {
        // Not set up: nothing to run the side chain with.
        for (int i = 0; i < frames; ++i) out[0][i] = out[1][i] = 0.0f;
        return;
    }
    for (int s = 0; s < 3; ++s) {
        scSettings[s].freq = settings.band[s].freq;
        scSettings[s].width = settings.band[s].width;
        scSection[s]->updateCoefficients();
    }
    if (frames <= 0) return;
    runChain(in[0], in[1], out[0], out[1], frames);
}

namespace {
// A sample that is not finite is read as silence and one beyond ±1e10
// (200 dB over full scale) as ±1e10, so that no sum of the chain can overflow
// and leave the filter and detector states not-a-number for good.
constexpr float kLargestInput = 1e10f;
inline float readInput(float v) {
    if (!std::isfinite(v)) return 0.0f;
    return v > kLargestInput ? kLargestInput : (v < -kLargestInput ? -kLargestInput : v);
}
}  // namespace

namespace {

// The stage inputs of one frame: sum and difference or left and right, plus
// the input offset (negated once per frame) and the noise.
inline F2 stageInputs(ChainState& s, const BlockSettings& b, float in1, float in2) {
    s.inputOffset = -s.inputOffset;
    const float l = readInput(in1);
    const float r = readInput(in2);
    const float a1 = b.midSide ? r + l : l;
    const float a2 = b.midSide ? l - r : r;
    const float noise1 = s.noise.next();
    const float noise2 = s.noise.next();
    const double offset = s.inputOffset;
    return f2(static_cast<float>(static_cast<double>(a1) + offset + static_cast<double>(noise1)),
              static_cast<float>(static_cast<double>(a2) + offset + static_cast<double>(noise2)));
}

// After decimation: DC blocker, meters, transformer and output forming of one
// frame. g is the guard offset.
inline void outputFrame(ChainState& s, const BlockSettings& b, F2 stageOut, F2 optReduction, F2 disSmooth,
                        std::atomic<float>* meter, double g, float& out1, float& out2) {
    float y1 = s.dc[0].step(lane0(stageOut), s.dcPole, g);
    float y2 = s.dc[1].step(lane1(stageOut), s.dcPole, g);

    // The meters show the states after the frame's last oversampled step.
    float meters[2];
    meterValues(b.meterMode, optReduction, b.disStep.ratio * disSmooth, meters);
    meter[0].store(meters[0], std::memory_order_relaxed);
    meter[1].store(meters[1], std::memory_order_relaxed);

    y1 = s.trafo[0].step(y1, b.trafo[0], g);
    y2 = s.trafo[1].step(y2, b.trafo[1], g);
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
// The logarithms are taken over the whole array at once.
void decibelsOverArray(const float* level, float* over, int n, F2 threshold, F2 thresholdDb) {
    log10Array(level, over, n);
    const F4 thr = f4(threshold), thrDb = f4(thresholdDb);
    for (int i = 0; i < n; i += 4) {
        const F4 l = load4(&level[i]);
        const F4 dB = f4(20.0f) * load4(&over[i]) - thrDb;
        store4(&over[i], select(l > thr, dB, zero4()));
    }
}

// Gains in dB (pairs) to linear gains applied to the pairs of x: out = x · 10^(dB·0.05).
void applyGains(float* gain, const float* x, float* out, int n) {
    for (int i = 0; i < n; i += 4) store4(&gain[i], load4(&gain[i]) * f4(0.05f));
    exp10Array(gain, gain, n);
    for (int i = 0; i < n; i += 4) store4(&out[i], load4(&x[i]) * load4(&gain[i]));
}

// In linked operation one gain in dB per step (steps a multiple of four)
// goes to both channels: the powers are taken once per step, then spread
// over the pairs.
void applySharedGains(float* gain, const float* x, float* out, int steps) {
    exp10Array(gain, gain, steps);
    for (int i = 0; i < steps; i += 4) {
        const F4 g = load4(&gain[i]);
        store4(&out[2 * i], load4(&x[2 * i]) * pairsOfLow(g));
        store4(&out[2 * i + 4], load4(&x[2 * i + 4]) * pairsOfHigh(g));
    }
}

// The mean of both channels' values for four steps: (channel 2 + channel 1)·0.5.
inline F4 meanOfChannels(const float* pairs) {
    const F4 a = load4(pairs), b = load4(pairs + 4);
    return (channel2Of(a, b) + channel1Of(a, b)) * f4(0.5f);
}

// The Opt stage's gain on x: make-up less reduction, times the active flag;
// linked, channel 1's make-up and flag with the mean reduction.
void optGains(const OptStepSettings& k, const float* reduction, const float* x, float* gain, float* y,
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
void disOverArray(const DisStepSettings& k, const float* level, float* over, int steps) {
    decibelsOverArray(level, over, 2 * steps, k.threshold, k.thresholdDb);
    for (int i = 0; i < 2 * steps; i += 4) {
        const F4 o = load4(&over[i]);
        const F4 r = o * f4(0.05f);
        store4(&over[i], select(o < f4(20.0f), r * r * r * f4(20.0f), o));
    }
}

// The Dis stage's gain on y: make-up less ratio times the smoothed dB over,
// times the active flag; linked, channel 1's settings with the mean of both.
void disGains(const DisStepSettings& k, const float* smooth, const float* y, float* gain, float* z,
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
void frameEnds(const float* steps, float* frames, int n) {
    for (int i = 0; i < n; ++i) storePair(&frames[2 * i], loadPair(&steps[8 * i + 6]));
}

}  // namespace

// The block runs in chunks of up to kChunk frames, one pass per stage over
// each chunk, and every state sees exactly the inputs it would see sample by
// sample, so the output is the same bits. The recursions of the chain (each
// step waits for the one before) are latency-bound, so five chunks at
// different places of the chain are in flight at once, and the recursions of
// one round that fit together run in one loop for the processor to overlap.
// Round r:
//
//   frame by frame,    chunk r      input forming, interpolation (x)
//   step by step       chunk r - 1  Opt smoothers (optOver -> reduction)
//                      chunk r - 3  Dis smoother (disOver -> disSmooth)
//                      chunk r - 4  decimation (z), DC blocker, meters,
//                                   transformer, outputs
//   step by step       chunk r      Opt detector (x -> optLevel)
//   step by step       chunk r - 2  Dis side chain (y -> disLevel)
//   over whole arrays  chunk r      Opt dB over (optLevel -> optOver)
//                      chunk r - 1  Opt gain (reduction, x -> y)
//                      chunk r - 2  Dis dB over, knee (disLevel -> disOver)
//                      chunk r - 3  Dis gain (disSmooth, y -> z)
//
// The first loop holds the long recursions of the two filters (the floor of
// the chain's cost: about 50 cycles a step, summed in their fixed order) with
// the short ones beside them. x, y and the meter states outlive a round and
// take their chunk's slot; the other arrays are written and read within one
// round, or by one round's array passes and the next round's loops. A chunk's
// inputs are all read before any output at or after its first frame is
// written, so inputs and outputs may share memory.
void Processor::runChain(const float* in1, const float* in2, float* out1, float* out2, int frames) {
    // Work on local copies; written back at the end of the block.
    ChainState s = chain;
    PeakingCore band1 = scSection[0]->core(), band2 = scSection[1]->core(), band3 = scSection[2]->core();
    const BlockSettings& b = settings;
    const OptStepSettings& ko = b.optStep;
    const DisStepSettings& kd = b.disStep;
    Scratch& t = scratch;
    // The guard offset changes sign before each interpolation step and is
    // back where it was after every frame: every other sum sees this value.
    const double guard = s.denormalOffset;
    const D2 g = d2(guard), gNegated = d2(-guard);
    const F2 interpolationGain = f2(osfilter::kInterpolationGain);

    const int chunks = (frames + kChunk - 1) / kChunk;
    auto framesOf = [&](int c) { return c < 0 || c >= chunks ? 0 : std::min(kChunk, frames - c * kChunk); };
    for (int round = 0; round < chunks + 4; ++round) {
        const int cIn = round, cSmooth = round - 1, cSide = round - 2, cDis = round - 3, cOut = round - 4;
        const int nIn = framesOf(cIn), nSmooth = framesOf(cSmooth), nSide = framesOf(cSide),
                  nDis = framesOf(cDis), nOut = framesOf(cOut);
        // Pointers into the host's buffers only for chunks that exist.
        const int inAt = nIn > 0 ? cIn * kChunk : 0, outAt = nOut > 0 ? cOut * kChunk : 0;
        const float* const inL = in1 + inAt;
        const float* const inR = in2 + inAt;
        float* const outL = out1 + outAt;
        float* const outR = out2 + outAt;
        float* const xIn = t.x[cIn & 3];
        const float* const ySide = t.y[cSide & 3];
        const float* const optMeter = t.optMeter[cOut & 3];
        const float* const disMeter = t.disMeter[cOut & 3];

        FilterWindow<kSteps> interp(s.interp), decim(s.decim);
        SkewedOptSmoothers smoothers(s.opt, ko);
        smoothers.setSteps(4 * nSmooth);
        OptState opt = s.opt;
        DisState dis = s.dis;
        // One frame of the round; all five parts when every chunk has it.
        // First loop, frame by frame: the long recursions of the filters,
        // with the smoothers beside them.
        auto frame = [&](auto everyPart, int i) KVB_ALWAYS_INLINE {
            constexpr bool all = decltype(everyPart)::value;
            const bool doIn = all || i < nIn, doSmooth = all || i < nSmooth, doDis = all || i < nDis,
                       doOut = all || i < nOut;
            const F2 stageIn = doIn ? stageInputs(s, b, inL[i], inR[i]) : zero2();
            D2 decimated = zeroD2();
            auto step = [&](auto phase) KVB_ALWAYS_INLINE {
                constexpr int k = decltype(phase)::value;
                const int j = 8 * i + 2 * k;  // the step's pair
                if (doOut) decimated = decim.step(widen(loadPair(&t.z[j])), g);
                if (doIn) {
                    // Zero-stuffed: the frame's input, then three zeros.
                    const D2 stuffed = k == 0 ? widen(stageIn) : zeroD2();
                    storePair(&xIn[j], narrow(interp.stuffedStep<k>(stuffed, k % 2 == 0 ? gNegated : g)) *
                                           interpolationGain);
                }
                if (doSmooth) {
                    // The smoothers run three steps behind their input.
                    const F2 reduction = smoothers.step(loadPair(&t.optOver[j]), g);
                    if (j >= 6) storePair(&t.reduction[j - 6], reduction);
                }
                if (doDis) {
                    dis.smooth = riseFallStep(loadPair(&t.disOver[j]), dis.smooth, kd.smoother, g);
                    storePair(&t.disSmooth[j], dis.smooth);
                }
            };
            step(std::integral_constant<int, 0>{});
            step(std::integral_constant<int, 1>{});
            step(std::integral_constant<int, 2>{});
            step(std::integral_constant<int, 3>{});
            if (doOut) {
                outputFrame(s, b, narrow(decimated) * f2(osfilter::kDecimationGain), loadPair(&optMeter[2 * i]),
                            loadPair(&disMeter[2 * i]), meterValue, guard, outL[i], outR[i]);
            }
        };
        const int every = std::min(std::min(nIn, nSmooth), std::min(nDis, nOut));
        const int any = std::max(std::max(nIn, nSmooth), std::max(nDis, nOut));
        int i = 0;
        for (; i < every; ++i) frame(std::true_type{}, i);
        for (; i < any; ++i) frame(std::false_type{}, i);

        // Then the side chains' sections, step by step, each in a loop of its
        // own: the Opt detector's steps are long, and the window of the
        // processor holds more of them alone.
        for (int j = 0; j < 4 * nIn; ++j)
            storePair(&t.optLevel[2 * j], optLevel(opt, ko, band1, band2, loadPair(&xIn[2 * j]), g));
        for (int j = 0; j < 4 * nSide; ++j)
            storePair(&t.disLevel[2 * j], disLevel(kd, band3, loadPair(&ySide[2 * j])));
        if (nIn > 0) interp.store(s.interp);
        if (nOut > 0) decim.store(s.decim);
        if (nSmooth > 0) {
            F2 last[3];
            smoothers.finish(opt, g, last);
            for (int k = 0; k < 3; ++k) storePair(&t.reduction[8 * nSmooth - 6 + 2 * k], last[k]);
        }
        s.opt = opt;
        s.dis = dis;

        if (nIn > 0) {
            decibelsOverArray(t.optLevel, t.optOver, 8 * nIn, ko.threshold, ko.thresholdDb);
            s.opt.over = loadPair(&t.optOver[8 * nIn - 2]);
        }
        if (nSmooth > 0) {
            frameEnds(t.reduction, t.optMeter[cSmooth & 3], nSmooth);
            optGains(ko, t.reduction, t.x[cSmooth & 3], t.gain, t.y[cSmooth & 3], 4 * nSmooth);
        }
        if (nSide > 0) disOverArray(kd, t.disLevel, t.disOver, 4 * nSide);
        if (nDis > 0) {
            frameEnds(t.disSmooth, t.disMeter[cDis & 3], nDis);
            disGains(kd, t.disSmooth, t.y[cDis & 3], t.gain, t.z, 4 * nDis);
        }
    }

    chain = s;
    const PeakingCore cores[3] = {band1, band2, band3};
    for (int k = 0; k < 3; ++k) {
        scSection[k]->setCore(cores[k]);
        scSectionIn[k][0] = lane0(cores[k].x1);
        scSectionIn[k][1] = lane1(cores[k].x1);
    }
}
