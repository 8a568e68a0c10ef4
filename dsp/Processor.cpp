#include "dsp/Processor.h"

#include <cmath>
#include <cstring>

#include "dsp/ChainRounds.h"
#if KVB_HAVE_AVX2_ROUNDS
#include "dsp/WideLanes.h"
#endif

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
    if (changed) settings = deriveBlockSettings(key.values, rateRatio_, osRateRatio_);

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

// One sample's road. A host's processing call reaches the chain through its
// format's glue (VST 2.4: processReplacing in shell/Controlsgui.cpp; LV2,
// VST3 and CLAP likewise), Engine::process and Processor::process, which
// derives the settings where a value has changed, and runChain. The block
// runs in chunks of chunkFrames frames, one pass per part over each chunk, in
// rounds: in round r the parts work on different chunks, five chunks in
// flight, so that the processor overlaps the recursions of several parts
// (each step of a recursion waits for the one before; overlapped so, the
// loops are bound by how fast the processor issues their instructions, the
// filters' loop above all). Every state still sees exactly the
// inputs it would see sample by sample, in order: the output is the same
// bits. A frame of chunk c takes this road; ChainRounds.h runs the parts,
// each row's function does the stage's arithmetic:
//
//   round  part of ChainRounds     runs per   the stage's own step (header)
//   c      1 formStageInputs       frame      chain::stageInputs: readInput, NoiseGenerator::nextPair
//   c      2 stepFrames            step       FilterLanes::step, interpolator's lanes (OversamplingFilter.h)
//   c      4 detectOpt             step       optLevel: emphasisStep, peakingStep twice,
//                                             emphasisTarget (OptStage.h, QS_Peaking_1.h)
//   c      6 arrayPasses           chunk      optOverRun: decibelsOverRun, log10Array (OptStage.h)
//   c+1    2 stepFrames            step       SkewedOptSmoothers::step: riseFallStep, optCurve (OptStage.h)
//   c+1    6 arrayPasses           chunk      optGainRun: exp10Array (OptStage.h)
//   c+2    4 detectOpt (beside the  step       disBandOf, peakingStep (DisStage.h, QS_Peaking_1.h)
//            first band), at the
//            block's ends 5 runSideChainBand
//   c+2    6 arrayPasses           chunk      disOverRun: disLevelCurve, decibelsOverRun, disKnee
//                                             (DisStage.h)
//   c+3    2 stepFrames            step       disSmoothStep: riseFallStep (DisStage.h)
//   c+3    6 arrayPasses           chunk      disGainRun: exp10Array (DisStage.h)
//   c+4    2 stepFrames            step       FilterLanes::step, decimator's lanes (OversamplingFilter.h)
//   c+4    3 outputFrames          frame      DcBlocker::step, meterValues, Transformer::step, output
//                                             forming (DcBlocker.h, Metering.h, TransformerStage.h)
//
// A frame is four oversampled steps: the interpolator's output, times its
// gain, is the Opt stage's input x (Scratch::x), the Opt stage's output y
// (Scratch::y) the Dis stage's input, and the Dis stage's output z
// (Scratch::z) the decimator's input; every fourth decimated step, times its
// gain, is the frame's stage output. Within a round the parts run in the
// order of their numbers; the arrays a part leaves for a later round (x, y
// and the meters' states) have a slot per chunk in flight. A chunk's inputs
// are all read before any output at or after its first frame is written, so
// inputs and outputs may share memory.
//
// The compiled forms are one body (ChainRounds) over a form type that differs
// only in the width of its four-double lanes: the portable form holds them as
// two SSE2 pairs (or plain arrays), the AVX forms in one AVX register. Each
// form below is one call, compiled for its instruction set with everything it
// calls compiled into it (flatten): the same IEEE operations in the same
// order, so the same bits.
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

#if defined(__GNUC__)
#define KVB_FORM_FLATTEN __attribute__((flatten))
#else
#define KVB_FORM_FLATTEN
#endif

KVB_FORM_FLATTEN void Processor::runChainPortable(const float* in1, const float* in2, float* out1, float* out2,
                                                  int frames) {
    ChainRounds<PortableForm>(*this).run(in1, in2, out1, out2, frames);
}

#if KVB_HAVE_AVX2_ROUNDS
// The AVX forms: four doubles in one AVX register, the filters side by side
// in one set of four lanes.
struct WideForm {
    using D4 = D4Ymm;
    static constexpr bool kFiltersSideBySide = true;
};

__attribute__((target("avx2"), flatten)) void Processor::runChainAvx2(const float* in1, const float* in2,
                                                                       float* out1, float* out2, int frames) {
    ChainRounds<WideForm>(*this).run(in1, in2, out1, out2, frames);
}

// The same with AVX-512's 128- and 256-bit instructions: the same operations,
// with 32 registers instead of 16.
__attribute__((target("avx2,avx512f,avx512vl"), flatten)) void Processor::runChainAvx512(
    const float* in1, const float* in2, float* out1, float* out2, int frames) {
    ChainRounds<WideForm>(*this).run(in1, in2, out1, out2, frames);
}
#endif
