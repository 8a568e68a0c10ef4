// The short-term levels of a render, for kvb render --plot and kvb demo
// --plot: RMS and peak of the input and of the output over consecutive
// windows of 50 ms, and the gain change between them.
#pragma once

#include <string>
#include <vector>

#include "host/Plot.h"

namespace kvbhost {

class LevelTrace {
public:
    explicit LevelTrace(double sampleRate, double windowSeconds = 0.05);

    // One block of `frames` frames: `channels` input channels and as many
    // output channels, as the plug-in took and gave them.
    void add(const float* const* in, const float* const* out, int channels, int frames);

    struct Window {
        double seconds;               // the window's start
        double inRmsDb, inPeakDb;     // dBFS; -inf for digital silence
        double outRmsDb, outPeakDb;
        double gainDb;                // output RMS - input RMS; NaN below -60 dBFS in
    };
    // Every window so far, the last one possibly shorter.
    std::vector<Window> windows() const;

    // Levels above, gain change below, on one time axis.
    Chart chart(const std::string& title, const std::string& subtitle) const;

private:
    struct Sums {
        double inSquares = 0, outSquares = 0, inPeak = 0, outPeak = 0;
        long samples = 0;
    };
    double rate_;
    long windowFrames_;
    long framesInWindow_ = 0;
    std::vector<Sums> sums_;
};

}  // namespace kvbhost
