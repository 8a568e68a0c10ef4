// The body of the chain's rounds (the plan is in Processor.cpp, at
// Processor::runChain), written once for every compiled form. A form is a
// small type that names its four-double lanes and says how its registers are
// best filled:
//
//   struct Form {
//       using D4 = D4Pair;                                // or D4Ymm (WideLanes.h)
//       static constexpr bool kFiltersSideBySide = false;  // see FilterPair
//   };
//
// Every stage's arithmetic is its own header's (each named where it is
// called); this file only says which step runs on which chunk, in which
// loop. Included by Processor.cpp alone.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "dsp/LevelMath.h"
#include "dsp/Metering.h"
#include "dsp/Processor.h"

namespace chain {

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

// The stage inputs of one frame: sum and difference or left and right, plus
// the input offset (negated once per frame) and the noise, summed in double
// in this order and rounded once.
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

// After decimation: the DC blocker, the meters, the transformer and output
// forming of one frame. The meters show the states after the frame's last
// oversampled step. g is the guard offset.
KVB_ALWAYS_INLINE inline void outputFrame(DcBlocker& dc, Transformer& trafo, const BlockSettings& b, F2 dcPole,
                                          F2 stageOut, F2 optReduction, F2 disSmooth, std::atomic<float>* meter,
                                          D2 g, float& out1, float& out2) {
    const F2 y = trafo.step(dc.step(stageOut, dcPole, g), b.trafoLanes, g);
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

// Every fourth pair (the last step of each frame) into a per-frame array.
KVB_ALWAYS_INLINE inline void frameEnds(const float* steps, float* frames, int n) {
    for (int i = 0; i < n; ++i) storePair(&frames[2 * i], loadPair(&steps[8 * i + 6]));
}

}  // namespace chain

// The interpolator and the decimator of a round, stepped where their chunks
// run. Side by side (kSideBySide) they share one set of four lanes, the
// interpolator's in lanes 0 and 1: one step of FilterLanes advances both, on
// every frame of the round, and where a filter's chunk ends earlier its
// lanes are taken from there (ended). Otherwise each has two lanes of its
// own and steps only on its chunk's frames, the interpolator leaving out the
// terms of its zero-stuffed inputs.
template <class D4, bool kSideBySide>
class FilterPair;

template <class D4>
class FilterPair<D4, true> {
public:
    FilterPair(const ChainState& s, D2 g, D2 gNegated) : guard{D4::of(gNegated, g), D4::of(g, g)} {
        for (int m = 0; m < 8; ++m) {
            lanes.x[m] = f4(s.interp.x[m], s.decim.x[m]);
            lanes.y[m] = D4::of(s.interp.y[m], s.decim.y[m]);
        }
        interpEnd = decimEnd = lanes;
    }
    // Step K of a frame: the interpolator on its zero-stuffed input, the
    // decimator on z. The guard offset changes sign before each
    // interpolation step and is back where it was after every frame: the
    // interpolator's lanes take -g at steps 0 and 2, every other sum g.
    template <int K>
    KVB_ALWAYS_INLINE void step(bool, bool, F2 stuffed, F2 z, F2& interpOut, F2& decimOut) {
        const F4 out = lanes.step(f4(stuffed, z), guard[K & 1]);
        interpOut = low(out);
        decimOut = high(out);
    }
    // After `done` frames of the round.
    void ended(int done, int nIn, int nOut) {
        if (done == nIn) interpEnd = lanes;
        if (done == nOut) decimEnd = lanes;
    }
    void store(ChainState& s) const {
        for (int m = 0; m < 8; ++m) {
            s.interp.x[m] = low(interpEnd.x[m]);
            s.interp.y[m] = low(interpEnd.y[m]);
            s.decim.x[m] = high(decimEnd.x[m]);
            s.decim.y[m] = high(decimEnd.y[m]);
        }
    }

private:
    const D4 guard[2];
    FilterLanes<F4, D4> lanes, interpEnd, decimEnd;
};

template <class D4>
class FilterPair<D4, false> {
public:
    FilterPair(const ChainState& s, D2 g, D2 gNegated) : interp(s.interp), decim(s.decim), guard{gNegated, g} {}
    template <int K>
    KVB_ALWAYS_INLINE void step(bool doIn, bool doOut, F2 stuffed, F2 z, F2& interpOut, F2& decimOut) {
        if (doIn) interpOut = interp.template step<kStuffedZeros<K>>(stuffed, guard[K & 1]);
        if (doOut) decimOut = decim.step(z, guard[1]);
    }
    void ended(int, int, int) {}
    void store(ChainState& s) const {
        s.interp = interp;
        s.decim = decim;
    }

private:
    OversamplingFilter interp, decim;
    const D2 guard[2];
};

// The compiled form every processor runs: four doubles as two SSE2 pairs (or
// plain arrays), the filters each in two lanes of their own.
struct PortableForm {
    using D4 = D4Pair;
    static constexpr bool kFiltersSideBySide = false;
};

template <class Form>
class ChainRounds {
public:
    explicit ChainRounds(Processor& p)
        : p_(p), s(p.chain), band1(p.scSection[0]->core()), band2(p.scSection[1]->core()),
          band3(p.scSection[2]->core()), b(p.settings), ko(b.optStep), kd(b.disStep), t(p.scratch),
          g(d2(s.denormalOffset)), gNegated(d2(-s.denormalOffset)) {}

    void run(const float* in1, const float* in2, float* out1, float* out2, int frames) {
        total = frames;
        chunk = Processor::chunkFrames(frames);
        chunks = (frames + chunk - 1) / chunk;
        for (int round = 0; round < chunks + 4; ++round) {
            cIn = round, cSmooth = round - 1, cSide = round - 2, cDis = round - 3, cOut = round - 4;
            nIn = framesOf(cIn), nSmooth = framesOf(cSmooth), nSide = framesOf(cSide), nDis = framesOf(cDis),
            nOut = framesOf(cOut);
            // Pointers into the host's buffers only for chunks that exist.
            if (nIn > 0) formStageInputs(in1 + cIn * chunk, in2 + cIn * chunk);
            stepFrames();
            if (nOut > 0) outputFrames(out1 + cOut * chunk, out2 + cOut * chunk);
            detectOpt();
            arrayPasses();
        }
        p_.chain = s;
        const PeakingCore cores[3] = {band1, band2, band3};
        for (int k = 0; k < 3; ++k) {
            p_.scSection[k]->setCore(cores[k]);
            p_.scSectionIn[k][0] = lane0(cores[k].x1);
            p_.scSectionIn[k][1] = lane1(cores[k].x1);
        }
    }

private:
    using D4 = typename Form::D4;

    // The frames of chunk c: none before the first and after the last.
    int framesOf(int c) const { return c < 0 || c >= chunks ? 0 : std::min(chunk, total - c * chunk); }

    // 1. The stage inputs of chunk r, first: the frame loop then does not
    //    wait for the noise generator's recursion.
    void formStageInputs(const float* inL, const float* inR) {
        for (int i = 0; i < nIn; ++i) storePair(&t.stageIn[2 * i], chain::stageInputs(s, b, inL[i], inR[i]));
    }

    // 2. Frame by frame, four oversampled steps each: the interpolator on
    //    chunk r and the decimator on chunk r - 4 (the long recursions,
    //    about 40 cycles a step, summed in their fixed order), with the
    //    short ones beside them: the Opt smoothers on chunk r - 1 and the
    //    Dis smoother on chunk r - 3.
    void stepFrames() {
        FilterPair<D4, Form::kFiltersSideBySide> filters(s, g, gNegated);
        SkewedOptSmoothers<D4> smoothers(s.opt, ko, g);
        DisState dis = s.dis;
        float* const xIn = t.x[cIn & 3];
        // One frame; all parts when every chunk has it (a compile-time
        // constant in the loop of whole frames). first: frame 0, so that the
        // smoothers' start tests stay out of the loop of whole frames.
        auto frame = [&](auto everyPart, auto first, int i) KVB_ALWAYS_INLINE {
            constexpr bool all = decltype(everyPart)::value;
            const bool doIn = all || i < nIn, doSmooth = all || i < nSmooth, doDis = all || i < nDis,
                       doOut = all || i < nOut;
            const F2 stageIn = doIn ? loadPair(&t.stageIn[2 * i]) : zero2();
            F2 decimated = zero2();
            auto step = [&](auto phase) KVB_ALWAYS_INLINE {
                constexpr int k = decltype(phase)::value;
                const int j = 8 * i + 2 * k;  // the step's pair
                // Zero-stuffed: the frame's input, then three zeros.
                const F2 stuffed = k == 0 ? stageIn : zero2();
                F2 interpolated = zero2(), decimatedStep = zero2();
                filters.template step<k>(doIn, doOut, stuffed, loadPair(&t.z[j]), interpolated, decimatedStep);
                if (doOut && k == 3) decimated = decimatedStep;
                if (doIn) storePair(&xIn[j], interpolated * f2(osfilter::kInterpolationGain));
                if (doSmooth) {
                    // The smoothers run three steps behind their input.
                    const F2 reduction = smoothers.template step<k>(loadPair(&t.optOver[j]), bool(first));
                    if (j >= 6) storePair(&t.reduction[j - 6], reduction);
                }
                if (doDis) storePair(&t.disSmooth[j], disSmoothStep(dis, kd, loadPair(&t.disOver[j]), g));
            };
            step(std::integral_constant<int, 0>{});
            step(std::integral_constant<int, 1>{});
            step(std::integral_constant<int, 2>{});
            step(std::integral_constant<int, 3>{});
            if (doOut) storePair(&t.decimated[2 * i], decimated * f2(osfilter::kDecimationGain));
        };
        const int every = std::min(std::min(nIn, nSmooth), std::min(nDis, nOut));
        const int any = std::max(std::max(nIn, nSmooth), std::max(nDis, nOut));
        int i = 0;
        if (every > 0) frame(std::true_type{}, std::true_type{}, i++);
        for (; i < every; ++i) frame(std::true_type{}, std::false_type{}, i);
        filters.ended(i, nIn, nOut);
        for (; i < any; ++i) {
            frame(std::false_type{}, i == 0, i);
            filters.ended(i + 1, nIn, nOut);
        }
        filters.store(s);
        if (nSmooth > 0) {
            F2 last[3];
            smoothers.finish(s.opt, last);
            for (int k = 0; k < 3; ++k) storePair(&t.reduction[8 * nSmooth - 6 + 2 * k], last[k]);
        }
        s.dis = dis;
    }

    // 3. The DC blockers, meters, transformers and outputs of chunk r - 4:
    //    their recursions are short, and outside the frame loop they leave
    //    the filters' steps more room.
    void outputFrames(float* outL, float* outR) {
        DcBlocker dc = s.dc;
        Transformer trafo = s.trafo;
        const F2 dcPole = f2(b.dcPole);
        const float* const optMeter = t.optMeter[cOut & 3];
        const float* const disMeter = t.disMeter[cOut & 3];
        for (int f = 0; f < nOut; ++f) {
            chain::outputFrame(dc, trafo, b, dcPole, loadPair(&t.decimated[2 * f]), loadPair(&optMeter[2 * f]),
                               loadPair(&disMeter[2 * f]), p_.meterValue, g, outL[f], outR[f]);
        }
        s.dc = dc;
        s.trafo = trafo;
    }

    // 4. The Opt detector on chunk r, step by step in a loop of its own: its
    //    steps are long, and the processor's window holds more of them
    //    alone; its branches (see emphasisTarget) are sometimes mistaken, and
    //    in the frame loop each mistake would cost the filters' progress.
    //    Beside it the Dis side chain's band on chunk r - 2: its section and
    //    the detector's first one share one set of four lanes, both stepped
    //    by one set of instructions (PeakingPair).
    void detectOpt() {
        OptState opt = s.opt;
        PeakingCore first = band1, second = band2;
        const float* const xIn = t.x[cIn & 3];
        int j = 0;
        {
            // The steps both chunks have.
            const float* const ySide = t.y[cSide & 3];
            PeakingPair<D4> pair(first, band3);
            FirstBandBesideDisBand bands{pair, zero2(), zero2()};
            for (const int both = 4 * std::min(nIn, nSide); j < both; ++j) {
                bands.disIn = loadPair(&ySide[2 * j]);
                storePair(&t.optLevel[2 * j], optLevel(opt, ko, bands, second, loadPair(&xIn[2 * j]), g));
                storePair(&t.disLevel[2 * j], disBandOf(kd, bands.disIn, bands.disOut));
            }
            pair.split(first, band3);
        }
        // Then what only one of them has (as the block starts and ends).
        for (; j < 4 * nIn; ++j)
            storePair(&t.optLevel[2 * j], optLevel(opt, ko, first, second, loadPair(&xIn[2 * j]), g));
        s.opt = opt;
        band1 = first;
        band2 = second;
        runSideChainBand(std::min(nIn, nSide));
    }

    // Section 0 as optLevel steps it, with the Dis band's section beside it
    // in the same four lanes: run(x) steps both, on x and on disIn.
    struct FirstBandBesideDisBand {
        PeakingPair<D4>& pair;
        F2 disIn, disOut;
        KVB_ALWAYS_INLINE F2 run(F2 x) {
            const F4 w = pair.run(f4(x, disIn));
            disOut = high(w);
            return low(w);
        }
    };

    // 5. The Dis side chain's band on chunk r - 2 from frame fromFrame on
    //    (the steps detectOpt has not run), on its own.
    void runSideChainBand(int fromFrame) {
        const float* const ySide = t.y[cSide & 3];
        PeakingCore band = band3;
        for (int j = 4 * fromFrame; j < 4 * nSide; ++j)
            storePair(&t.disLevel[2 * j], disBand(kd, band, loadPair(&ySide[2 * j])));
        band3 = band;
    }

    // 6. Over whole arrays: the Opt stage's dB over on chunk r, its gain on
    //    chunk r - 1 (the meters' Opt states first), the Dis stage's level
    //    curve, dB over and knee on chunk r - 2, its gain on chunk r - 3
    //    (the meters' Dis states first).
    void arrayPasses() {
        if (nIn > 0) optOverRun(s.opt, ko, t.optLevel, t.optOver, 8 * nIn);
        if (nSmooth > 0) {
            chain::frameEnds(t.reduction, t.optMeter[cSmooth & 3], nSmooth);
            optGainRun(ko, t.reduction, t.x[cSmooth & 3], t.gain, t.y[cSmooth & 3], 4 * nSmooth);
        }
        if (nSide > 0) disOverRun(kd, t.disLevel, t.disOver, 8 * nSide);
        if (nDis > 0) {
            chain::frameEnds(t.disSmooth, t.disMeter[cDis & 3], nDis);
            disGainRun(kd, t.disSmooth, t.y[cDis & 3], t.gain, t.z, 4 * nDis);
        }
    }

    Processor& p_;
    ChainState s;  // worked on here, written back at the end of the block
    PeakingCore band1, band2, band3;
    const BlockSettings& b;
    const OptStepSettings& ko;
    const DisStepSettings& kd;
    Processor::Scratch& t;
    const D2 g, gNegated;
    int total = 0, chunk = 0, chunks = 0;  // frames of the block, of a chunk; chunks
    int cIn = 0, cSmooth = 0, cSide = 0, cDis = 0, cOut = 0;
    int nIn = 0, nSmooth = 0, nSide = 0, nDis = 0, nOut = 0;
};
