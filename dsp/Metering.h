// The two published gain reductions in dB, chosen by the meter mode. They are
// the stages' own states: no extra ballistics, no make-up, and neither the
// active flags nor the stereo link enter.
#pragma once

#include "dsp/DisStage.h"
#include "dsp/OptStage.h"

enum MeterMode : int {
    kMeterOpt = 0,     // Opt reduction of channel 1 and of channel 2
    kMeterDis = 1,     // Dis reduction of channel 1 and of channel 2
    kMeterChannel1 = 2 // Opt and Dis reduction of channel 1
};

inline float disReduction(const DisChannel& d, const DisChannelSettings& s) { return s.ratio * d.smooth; }

inline void meterValues(int mode, const OptChannel (&opt)[2], const DisChannel (&dis)[2],
                        const DisChannelSettings (&ds)[2], float (&m)[2]) {
    switch (mode) {
        case kMeterOpt:
            m[0] = opt[0].reduction;
            m[1] = opt[1].reduction;
            break;
        case kMeterDis:
            m[0] = disReduction(dis[0], ds[0]);
            m[1] = disReduction(dis[1], ds[1]);
            break;
        default:
            m[0] = opt[0].reduction;
            m[1] = disReduction(dis[0], ds[0]);
            break;
    }
}
