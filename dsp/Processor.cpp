#include "dsp/Processor.h"

#include <cmath>

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

// The block runs in chunks of up to kChunk frames, one pass per stage over
// each chunk. Every pass takes the chunk's oversampled steps in order and every
// state sees exactly the inputs it would see sample by sample, so the output
// is the same bits; but within a pass the steps depend on each other only
// through short recursions, which lets the processor overlap them. The
// decimation of one chunk runs in the same loop as the interpolation of the
// next: two independent recursions side by side.
void Processor::runChain(const float* in1, const float* in2, float* out1, float* out2, int frames) {
    // Work on local copies; written back at the end of the block.
    ChainState s = chain;
    PeakingCore band[3] = {scSection[0]->core(), scSection[1]->core(), scSection[2]->core()};

    int n = frames < kChunk ? frames : kChunk;
    inputPass(s, in1, in2, n);
    for (int start = 0; start < frames; start += kChunk) {
        stagePasses(s, band, n);
        const int next = start + kChunk;
        const int nextN = frames - next < kChunk ? frames - next : kChunk;
        if (nextN > 0) {
            outputAndInputPass(s, out1 + start, out2 + start, n, in1 + next, in2 + next, nextN);
        } else {
            outputPass(s, out1 + start, out2 + start, n);
        }
        n = nextN;
    }

    chain = s;
    for (int k = 0; k < 3; ++k) {
        scSection[k]->setCore(band[k]);
        scSectionIn[k][0] = lane0(band[k].x1);
        scSectionIn[k][1] = lane1(band[k].x1);
    }
}

namespace {

// Input forming and four-times interpolation of one frame: the stage inputs
// (sum and difference or left and right, plus input offset and noise), then
// the filter on the input and three zeros, the guard offset changing sign
// before each zero step. Writes the four oversampled stage inputs.
inline void interpolateFrame(ChainState& s, const BlockSettings& b, float in1, float in2, F2* x) {
    s.denormalOffset = -s.denormalOffset;
    s.inputOffset = -s.inputOffset;
    const float l = readInput(in1);
    const float r = readInput(in2);
    const float a1 = b.midSide ? r + l : l;
    const float a2 = b.midSide ? l - r : r;
    const float noise1 = s.noise.next();
    const float noise2 = s.noise.next();
    const double offset = s.inputOffset;
    const F2 stageIn = f2(static_cast<float>(static_cast<double>(a1) + offset + static_cast<double>(noise1)),
                          static_cast<float>(static_cast<double>(a2) + offset + static_cast<double>(noise2)));
    const double d0 = s.denormalOffset;
    const D2 guard[4] = {d2(d0), d2(-d0), d2(d0), d2(-d0)};
    s.denormalOffset = -d0;
    const D2 stuffed[4] = {widen(stageIn), zeroD2(), zeroD2(), zeroD2()};
    D2 up[4];
    s.interp.run<4>(stuffed, guard, up);
    for (int k = 0; k < 4; ++k) {
        s.upsampled[k] = narrow(up[k]);
        x[k] = s.upsampled[k] * f2(osfilter::kInterpolationGain);
    }
}

// Decimation of one frame's four stage outputs, DC blocker, meters,
// transformer and output forming.
inline void finishFrame(ChainState& s, const BlockSettings& b, const F2* z, F2 reduction, F2 disSmooth,
                        std::atomic<float>* meter, float& out1, float& out2) {
    const D2 g = d2(s.denormalOffset);
    const D2 staged[4] = {widen(z[0]), widen(z[1]), widen(z[2]), widen(z[3])};
    const D2 guard[4] = {g, g, g, g};
    D2 decimated[4];
    s.decim.run<4>(staged, guard, decimated);
    const F2 stageOut = narrow(decimated[3]) * f2(osfilter::kDecimationGain);
    const double gs = s.denormalOffset;
    float y1 = s.dc[0].step(lane0(stageOut), s.dcPole, gs);
    float y2 = s.dc[1].step(lane1(stageOut), s.dcPole, gs);

    // The meters show the states after the frame's last oversampled step.
    OptState opt;
    opt.reduction = reduction;
    DisState dis;
    dis.smooth = disSmooth;
    float meters[2];
    meterValues(b.meterMode, opt, dis, b.disStep.ratio, meters);
    meter[0].store(meters[0], std::memory_order_relaxed);
    meter[1].store(meters[1], std::memory_order_relaxed);

    y1 = s.trafo[0].step(y1, b.trafo[0], gs);
    y2 = s.trafo[1].step(y2, b.trafo[1], gs);
    if (b.midSide) {
        out1 = (y2 + y1) * 0.5f;
        out2 = (y1 - y2) * 0.5f;
    } else {
        out1 = y1;
        out2 = y2;
    }
}

}  // namespace

void Processor::inputPass(ChainState& s, const float* in1, const float* in2, int frames) {
    // Both inputs of a frame are read before any output is written: a whole
    // chunk is read before its outputs are.
    for (int i = 0; i < frames; ++i) interpolateFrame(s, settings, in1[i], in2[i], &scratch.x[4 * i]);
}

void Processor::stagePasses(ChainState& s, PeakingCore (&band)[3], int frames) {
    const BlockSettings& b = settings;
    Scratch& t = scratch;
    const int steps = 4 * frames;
    // After a frame's interpolation the guard offset stands as it did before
    // it: every later sum of every frame sees this value.
    const D2 g = d2(s.denormalOffset);
    // Each pass keeps its states in locals and writes them back at its end.

    // Opt stage: the detector's recursion, the logarithms, the smoothers, the gain.
    {
        const OptStepSettings k = b.optStep;
        OptState opt = s.opt;
        PeakingCore band1 = band[0], band2 = band[1];
        for (int j = 0; j < steps; ++j) t.level[j] = optLevel(opt, k, band1, band2, t.x[j], g);
        band[0] = band1;
        band[1] = band2;
        for (int j = 0; j < steps; ++j) t.over[j] = decibelsOver(t.level[j], k.threshold, k.thresholdDb);
        if (steps > 0) opt.over = t.over[steps - 1];
        for (int j = 0; j < steps; ++j) t.reduction[j] = optSmooth(opt, k, t.over[j], g);
        s.opt = opt;
        for (int j = 0; j < steps; ++j) t.y[j] = optGain(k, t.reduction[j], t.x[j]);
    }

    // Dis stage: side chain, logarithms, knee and smoother, gain.
    {
        const DisStepSettings k = b.disStep;
        PeakingCore band3 = band[2];
        for (int j = 0; j < steps; ++j) t.level[j] = disLevel(k, band3, t.y[j]);
        band[2] = band3;
        for (int j = 0; j < steps; ++j) t.over[j] = decibelsOver(t.level[j], k.threshold, k.thresholdDb);
        DisState dis = s.dis;
        for (int j = 0; j < steps; ++j) t.disSmooth[j] = disSmooth(dis, k, t.over[j], g);
        s.dis = dis;
        for (int j = 0; j < steps; ++j) t.z[j] = disGain(k, t.disSmooth[j], t.y[j]);
    }
}

void Processor::outputPass(ChainState& s, float* out1, float* out2, int frames) {
    const Scratch& t = scratch;
    for (int i = 0; i < frames; ++i) {
        finishFrame(s, settings, &t.z[4 * i], t.reduction[4 * i + 3], t.disSmooth[4 * i + 3], meterValue,
                    out1[i], out2[i]);
    }
}

void Processor::outputAndInputPass(ChainState& s, float* out1, float* out2, int outFrames,
                                   const float* in1, const float* in2, int inFrames) {
    // The next chunk's stage inputs go to x, which this chunk no longer needs.
    Scratch& t = scratch;
    const int common = outFrames < inFrames ? outFrames : inFrames;
    int i = 0;
    for (; i < common; ++i) {
        finishFrame(s, settings, &t.z[4 * i], t.reduction[4 * i + 3], t.disSmooth[4 * i + 3], meterValue,
                    out1[i], out2[i]);
        interpolateFrame(s, settings, in1[i], in2[i], &t.x[4 * i]);
    }
    for (int k = i; k < outFrames; ++k) {
        finishFrame(s, settings, &t.z[4 * k], t.reduction[4 * k + 3], t.disSmooth[4 * k + 3], meterValue,
                    out1[k], out2[k]);
    }
    for (int k = i; k < inFrames; ++k) interpolateFrame(s, settings, in1[k], in2[k], &t.x[4 * k]);
}
