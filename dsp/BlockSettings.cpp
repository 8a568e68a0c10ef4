#include "dsp/BlockSettings.h"

#include "dsp/DcBlocker.h"
#include "params/Parameters.h"

namespace {

// Which parameter feeds which per-channel setting.
struct ChannelParams {
    int optThr, optGain, optByp;
    int disThr, disAtk, disRat, disRls, disGain, disByp, scFilt;
    int trafo;
};
constexpr ChannelParams kChannelParams[2] = {
    {kOptThr1, kOptGain1, kOptByp1, kDisThr1, kDisAtk1, kDisRat1, kDisRls1, kDisGain1, kDisByp1, kSCFilt1, kTrafo1},
    {kOptThr2, kOptGain2, kOptByp2, kDisThr2, kDisAtk2, kDisRat2, kDisRls2, kDisGain2, kDisByp2, kSCFilt2, kTrafo2},
};

}  // namespace

BlockSettings deriveBlockSettings(const float (&p)[kProcessingParams], float rateRatio,
                                  float osRateRatio) {
    BlockSettings b;
    b.optMode = threeBands(p[kOptMode]);
    const OptModeConstants& mode = kOptModes[b.optMode];
    for (int s = 0; s < 3; ++s) b.band[s] = mode.band[s];
    b.opt = optCoefficients(b.optMode, osRateRatio);
    b.dcPole = dcBlockerPole(rateRatio);
    b.meterMode = threeBands(p[kMeterMode]);

    for (int ch = 0; ch < 2; ++ch) {
        const ChannelParams& c = kChannelParams[ch];
        b.optChannel[ch] = optChannelSettings(p[c.optThr], p[c.optGain], p[c.optByp]);
        b.disChannel[ch] = disChannelSettings(p[c.disThr], p[c.disAtk], p[c.disRat], p[c.disRls], p[c.disGain],
                                              p[c.disByp], p[c.scFilt], osRateRatio);
        b.trafoMode[ch] = threeBands(p[c.trafo]);
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
    b.trafoLanes = transformerLanes(b.trafo[0], b.trafo[1]);
    b.optStep = optStepSettings(b.opt, b.optChannel, b.linked);
    b.disStep = disStepSettings(b.disChannel, b.linked);
    return b;
}
