// The settings the chain runs with, derived from parameters 0 to 25 and the
// rate: at the start of a processing call, and only when one of those values
// has changed since they were last derived (Processor::process); held for the
// whole call. Time constants are written for a 44100 Hz host and scaled to
// the running rate here.
#pragma once

#include "dsp/DcBlocker.h"
#include "dsp/DisStage.h"
#include "dsp/OptStage.h"
#include "dsp/QS_Peaking_1.h"
#include "dsp/TransformerStage.h"

// The parameters the processing reads: 0 to 25.
constexpr int kProcessingParams = 26;

// A parameter value as the processing reads it. Values outside 0 to 1 map by
// the same formulas, but one that is not a number reads as 0 and magnitudes
// beyond 10 are limited to 10: past that the gains and thresholds overflow and
// would leave the filter states not-a-number for good.
inline float processingValue(float v) {
    if (!(v == v)) return 0.0f;
    return v > 10.0f ? 10.0f : (v < -10.0f ? -10.0f : v);
}

// Three-position selector: 0 below 0.33, 1 below 0.66, else 2.
inline int threeBands(float v) { return v < 0.33f ? 0 : (v < 0.66f ? 1 : 2); }

struct BlockSettings {
    int optMode = 0;
    int meterMode = 1;
    OptCoefficients opt;
    PeakingSettings band[3];  // freq and width for side-chain sections 0, 1, 2
    float dcPole = kDcPole44k;
    OptChannelSettings optChannel[2];
    DisChannelSettings disChannel[2];
    int trafoMode[2] = {2, 2};
    TransformerSettings trafo[2];
    TransformerLanes trafoLanes = transformerLanes(TransformerSettings{}, TransformerSettings{});
    // MSMode not above 0.5: the stages work on sum and difference.
    bool midSide = false;
    // StereoMode at or below 0.5 and MSMode not below 0.5: one shared gain.
    bool linked = false;
    // The same settings laid out for the oversampled steps.
    OptStepSettings optStep;
    DisStepSettings disStep;
};

BlockSettings deriveBlockSettings(const float (&p)[kProcessingParams], float rateRatio,
                                  float osRateRatio);
