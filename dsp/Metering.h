// The two published gain reductions in dB, chosen by the meter mode. They are
// the stages' own states: no extra ballistics, no make-up, and neither the
// active flags nor the stereo link enter.
#pragma once

#include "dsp/DisStage.h"
#include "dsp/OptStage.h"

enum MeterMode : int {
    kMeterOpt = 0,      // Opt reduction of channel 1 and of channel 2
    kMeterDis = 1,      // Dis reduction of channel 1 and of channel 2
    kMeterChannel1 = 2  // Opt and Dis reduction of channel 1
};

inline void meterValues(int mode, const OptState& opt, const DisState& dis, F2 disRatio, float (&m)[2]) {
    const F2 disReduction = disRatio * dis.smooth;
    switch (mode) {
        case kMeterOpt:
            m[0] = lane0(opt.reduction);
            m[1] = lane1(opt.reduction);
            break;
        case kMeterDis:
            m[0] = lane0(disReduction);
            m[1] = lane1(disReduction);
            break;
        default:
            m[0] = lane0(opt.reduction);
            m[1] = lane0(disReduction);
            break;
    }
}
