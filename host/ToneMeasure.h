// Measurements made through a loaded plug-in with a 1 kHz sine played into
// both of its inputs: the static level curve (kvb curve) and the gain change
// over time when the tone steps up and down (kvb step). Nothing here knows
// how the plug-in works; it only plays tones and reads what comes out.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "host/PluginHost.h"

namespace kvbhost {

constexpr double kToneHz = 1000.0;

// Levels are in dBFS of a sine: 0 dBFS is a sine of peak 1.0 (mean square 0.5).
// A steady output level: held long enough that the last two 100 ms windows
// each moved less than this.
constexpr double kSettledDb = 0.001;
// At most this long per level.
constexpr double kMaxHoldSeconds = 30.0;

struct CurvePoint {
    double inputDb;
    double outputDb[2];  // left and right, measured over the last 100 ms
    double heldSeconds;  // how long the level was held
    bool settled;        // false: still moving after kMaxHoldSeconds
};

// The static curve: the tone at fromDb, fromDb + 1, ..., toDb dBFS, in that
// order, each held until the output level has settled. `progress` is told
// after each level how many are done of how many.
std::vector<CurvePoint> measureCurve(const PluginHost& host, float rate, int fromDb, int toDb,
                                     const std::function<void(int, int)>& progress = {});

struct StepPlan {
    double lowDb = -30.0, highDb = -6.0;
    double leadSeconds = 3.0;  // at lowDb before the step up
    double highSeconds = 2.0;  // at highDb
    double lowSeconds = 3.0;   // at lowDb again
};

struct StepTrace {
    double rate = 0.0;
    // Gain change in dB for every frame from `shownSeconds` before the step
    // up: output level over input level, both over one period of the tone,
    // the output's period taken as much later as the chain delays the tone
    // (found from the tone's phase before the step); then, at every frame,
    // the median of that over one period before and one after, which leaves
    // out the spikes of under a period where a window holds a step's edge.
    // What kvb step draws and reads its numbers from.
    std::vector<double> gainDb;
    std::size_t stepUp = 0, stepDown = 0;  // their frames in gainDb
    // Gain change just before the step up, at the end of the high level and
    // at the end of the low one (means over 50 ms).
    double before = 0.0, held = 0.0, after = 0.0;
    // From each step until the gain has made half and 90% of its change from
    // one level to the next, at least one sample period; NaN when it changed
    // by less than 0.5 dB.
    double attack50Ms = 0.0, attack90Ms = 0.0, release50Ms = 0.0, release90Ms = 0.0;

    double msAt(std::size_t frame) const {
        return (static_cast<double>(frame) - static_cast<double>(stepUp)) * 1000.0 / rate;
    }
};

// Plays the step into a plug-in that has just been loaded and set up.
StepTrace measureStep(const PluginHost& host, float rate, const StepPlan& plan,
                      double shownSeconds = 0.2);

}  // namespace kvbhost
