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
    for (int i = 0; i < kProcessingParams; ++i) p[i] = params[i].load(std::memory_order_relaxed);
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
// A sample that is not finite is read as silence, so that it cannot poison
// the filter and detector states.
inline float readInput(float v) { return std::isfinite(v) ? v : 0.0f; }
}  // namespace

void Processor::runChain(const float* in1, const float* in2, float* out1, float* out2, int frames) {
    // Work on local copies; written back at the end of the block.
    const BlockSettings& b = settings;
    ChainState s = chain;
    PeakingCore band[3] = {scSection[0]->core(), scSection[1]->core(), scSection[2]->core()};

    for (int i = 0; i < frames; ++i) {
        s.denormalOffset = -s.denormalOffset;
        s.inputOffset = -s.inputOffset;

        // Both inputs are read before either output is written.
        const float l = readInput(in1[i]);
        const float r = readInput(in2[i]);
        float a[2];
        if (b.midSide) {
            a[0] = r + l;
            a[1] = l - r;
        } else {
            a[0] = l;
            a[1] = r;
        }
        for (int c = 0; c < 2; ++c) {
            const float noise = s.noise.next();
            a[c] = static_cast<float>(static_cast<double>(a[c]) + s.inputOffset + static_cast<double>(noise));
        }

        // Four-times interpolation: the input, then three zeros.
        for (int c = 0; c < 2; ++c) s.upsampled[c][0] = s.interp[c].step(a[c], s.denormalOffset);
        for (int k = 1; k < 4; ++k) {
            s.denormalOffset = -s.denormalOffset;
            for (int c = 0; c < 2; ++c) s.upsampled[c][k] = s.interp[c].step(0.0f, s.denormalOffset);
        }

        // Four oversampled steps through both stages into the decimation filter.
        const double g = s.denormalOffset;
        float decimated[2] = {0.0f, 0.0f};
        for (int k = 0; k < 4; ++k) {
            float x[2] = {s.upsampled[0][k] * osfilter::kInterpolationGain,
                          s.upsampled[1][k] * osfilter::kInterpolationGain};
            optStep(s.opt, b.opt, b.optChannel, b.linked, band[0], band[1], x, g);
            disStep(s.dis, b.disChannel, b.linked, band[2], x, g);
            for (int c = 0; c < 2; ++c) decimated[c] = s.decim[c].step(x[c], g);
        }

        float y[2];
        for (int c = 0; c < 2; ++c) {
            y[c] = s.dc[c].step(decimated[c] * osfilter::kDecimationGain, s.dcPole, g);
        }

        float meters[2];
        meterValues(b.meterMode, s.opt, s.dis, b.disChannel, meters);
        meterValue[0].store(meters[0], std::memory_order_relaxed);
        meterValue[1].store(meters[1], std::memory_order_relaxed);

        for (int c = 0; c < 2; ++c) y[c] = s.trafo[c].step(y[c], b.trafo[c], g);

        if (b.midSide) {
            out1[i] = (y[1] + y[0]) * 0.5f;
            out2[i] = (y[0] - y[1]) * 0.5f;
        } else {
            out1[i] = y[0];
            out2[i] = y[1];
        }
    }

    chain = s;
    for (int k = 0; k < 3; ++k) {
        scSection[k]->setCore(band[k]);
        scSectionIn[k][0] = band[k].ch[0].x;
        scSectionIn[k][1] = band[k].ch[1].x;
    }
}
