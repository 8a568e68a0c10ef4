// The two published gain reductions in dB, chosen by the meter mode. They are
// the stages' own states: no extra ballistics, no make-up, and neither the
// active flags nor the stereo link enter.
#pragma once

#include "dsp/ChannelPair.h"

enum MeterMode : int {
    kMeterOpt = 0,      // Opt reduction of channel 1 and of channel 2
    kMeterDis = 1,      // Dis reduction of channel 1 and of channel 2
    kMeterChannel1 = 2  // Opt and Dis reduction of channel 1
};

// From the two stages' reductions of both channels: the Opt stage's
// (optReduction) and the Dis stage's (disRatioFactor × disSmooth).
inline void meterValues(int mode, F2 optReduction, F2 disReduction, float (&m)[2]) {
    switch (mode) {
        case kMeterOpt:
            m[0] = lane0(optReduction);
            m[1] = lane1(optReduction);
            break;
        case kMeterDis:
            m[0] = lane0(disReduction);
            m[1] = lane1(disReduction);
            break;
        default:
            m[0] = lane0(optReduction);
            m[1] = lane0(disReduction);
            break;
    }
}
