#include "dsp/BlockSettings.h"

#include "dsp/DcBlocker.h"
#include "params/Parameters.h"

BlockSettings deriveBlockSettings(const float (&p)[kProcessingParams], float rateRatio,
                                  float osRateRatio) {
    BlockSettings b;
    b.optMode = threeBands(p[kOptMode]);
    const OptModeConstants& mode = kOptModes[b.optMode];
    for (int s = 0; s < 3; ++s) b.band[s] = mode.band[s];
    b.opt = optCoefficients(b.optMode, osRateRatio);
    b.dcPole = dcBlockerPole(rateRatio);
    b.meterMode = threeBands(p[kMeterMode]);

    // Parameter indices of channel 1; channel 2's are 7 further on (16/17 and
    // 18..20/21..23 for the others).
    for (int ch = 0; ch < 2; ++ch) {
        const int o = ch * 7;
        const int sw = ch * 3;
        b.optChannel[ch] = optChannelSettings(p[kOptThr1 + o], p[kOptGain1 + o], p[kOptByp1 + sw]);
        b.disChannel[ch] = disChannelSettings(p[kDisThr1 + o], p[kDisAtk1 + o], p[kDisRat1 + o],
                                              p[kDisRls1 + o], p[kDisGain1 + o], p[kDisByp1 + sw],
                                              p[kSCFilt1 + sw], osRateRatio);
        b.trafoMode[ch] = threeBands(p[kTrafo1 + ch]);
        b.trafo[ch] = transformerSettings(b.trafoMode[ch]);
    }

    const float ms = p[kMSMode];
    const float stereo = p[kStereoMode];
    if (ms > 0.5f) {
        // Left/right: channel 2 follows every setting of channel 1.
        b.optChannel[1] = b.optChannel[0];
        b.disChannel[1] = b.disChannel[0];
        b.trafoMode[1] = b.trafoMode[0];
        b.trafo[1] = b.trafo[0];
    }
    b.midSide = !(ms > 0.5f);
    b.linked = !(stereo > 0.5f || ms < 0.5f);
    b.optStep = optStepSettings(b.opt, b.optChannel, b.linked);
    b.disStep = disStepSettings(b.disChannel, b.linked);
    return b;
}
