#include "host/LevelTrace.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kvbhost {

namespace {

double dB(double level) { return level > 0.0 ? 20.0 * std::log10(level) : -INFINITY; }

// Below this input level the gain change is noise over noise: not drawn.
constexpr double kGainFloorDb = -60.0;

}  // namespace

LevelTrace::LevelTrace(double sampleRate, double windowSeconds)
    : rate_(sampleRate), windowFrames_(std::max(1L, std::lround(sampleRate * windowSeconds))) {}

void LevelTrace::add(const float* const* in, const float* const* out, int channels, int frames) {
    for (int i = 0; i < frames; ++i) {
        if (sums_.empty() || framesInWindow_ == windowFrames_) {
            sums_.emplace_back();
            framesInWindow_ = 0;
        }
        Sums& s = sums_.back();
        for (int c = 0; c < channels; ++c) {
            const double x = in[c][i], y = out[c][i];
            s.inSquares += x * x;
            s.outSquares += y * y;
            s.inPeak = std::max(s.inPeak, std::fabs(x));
            s.outPeak = std::max(s.outPeak, std::fabs(y));
        }
        s.samples += channels;
        ++framesInWindow_;
    }
}

std::vector<LevelTrace::Window> LevelTrace::windows() const {
    std::vector<Window> out;
    out.reserve(sums_.size());
    for (std::size_t k = 0; k < sums_.size(); ++k) {
        const Sums& s = sums_[k];
        Window w;
        w.seconds = static_cast<double>(k) * static_cast<double>(windowFrames_) / rate_;
        const double n = s.samples > 0 ? static_cast<double>(s.samples) : 1.0;
        w.inRmsDb = dB(std::sqrt(s.inSquares / n));
        w.outRmsDb = dB(std::sqrt(s.outSquares / n));
        w.inPeakDb = dB(s.inPeak);
        w.outPeakDb = dB(s.outPeak);
        w.gainDb = w.inRmsDb > kGainFloorDb && std::isfinite(w.outRmsDb)
                       ? w.outRmsDb - w.inRmsDb
                       : std::numeric_limits<double>::quiet_NaN();
        out.push_back(w);
    }
    return out;
}

Chart LevelTrace::chart(const std::string& title, const std::string& subtitle) const {
    const std::vector<Window> ws = windows();
    Chart chart;
    chart.width = 1400;
    chart.height = 850;
    chart.title = title;
    chart.subtitle = subtitle;

    // Each window drawn at its middle.
    const double half = 0.5 * static_cast<double>(windowFrames_) / rate_;
    Series inPeak, inRms, outPeak, outRms, gain;
    double loudest = -INFINITY, quietest = INFINITY, gainLow = 0.0, gainHigh = 0.0;
    for (const Window& w : ws) {
        const double t = w.seconds + half;
        for (Series* s : {&inPeak, &inRms, &outPeak, &outRms, &gain}) s->x.push_back(t);
        // Digital silence sits at the bottom edge instead of vanishing.
        auto floorAt = [](double db) { return std::isfinite(db) ? db : -200.0; };
        inPeak.y.push_back(floorAt(w.inPeakDb));
        inRms.y.push_back(floorAt(w.inRmsDb));
        outPeak.y.push_back(floorAt(w.outPeakDb));
        outRms.y.push_back(floorAt(w.outRmsDb));
        gain.y.push_back(w.gainDb);
        loudest = std::max({loudest, w.inPeakDb, w.outPeakDb});
        for (double db : {w.inRmsDb, w.outRmsDb})
            if (std::isfinite(db)) quietest = std::min(quietest, db);
        if (std::isfinite(w.gainDb)) {
            gainLow = std::min(gainLow, w.gainDb);
            gainHigh = std::max(gainHigh, w.gainDb);
        }
    }
    const double seconds = ws.empty() ? 1.0 : ws.back().seconds + 2.0 * half;

    inPeak.colour = kLightGreyColour;
    inPeak.width = 1.2;
    inPeak.label = "input peak";
    inRms.colour = {110, 110, 110};
    inRms.label = "input RMS";
    outPeak.colour = {158, 202, 225};
    outPeak.width = 1.2;
    outPeak.label = "output peak";
    outRms.colour = kSeriesColours[0];
    outRms.label = "output RMS";
    gain.colour = kSeriesColours[3];
    gain.label = "output RMS − input RMS";

    Panel levels;
    levels.left = 0.075;
    levels.right = 0.975;
    levels.bottom = 0.40;
    levels.top = 0.86;
    levels.xmin = 0.0;
    levels.xmax = seconds;
    levels.ymax = std::isfinite(loudest) ? std::max(0.0, ceilTo(loudest + 1.0, 6.0)) : 0.0;
    levels.ymin = std::isfinite(quietest) ? std::max(levels.ymax - 72.0, floorTo(quietest - 3.0, 6.0))
                                          : levels.ymax - 60.0;
    levels.ymin = std::min(levels.ymin, levels.ymax - 24.0);
    levels.title = "Level over 50 ms windows";
    levels.ylabel = "level (dBFS)";
    levels.series = {inPeak, outPeak, inRms, outRms};
    levels.legendAt = "above";

    Panel change;
    change.left = levels.left;
    change.right = levels.right;
    change.bottom = 0.08;
    change.top = 0.31;
    change.xmin = 0.0;
    change.xmax = seconds;
    const double span = std::max(6.0, gainHigh - gainLow);
    const double step = niceStep(span / 4.0);
    change.ymin = floorTo(gainLow - 0.1 * span, step);
    change.ymax = ceilTo(gainHigh + 0.1 * span, step);
    change.title = "Gain change (where the input is above −60 dBFS)";
    change.xlabel = "time (s)";
    change.ylabel = "gain (dB)";
    Series zero;
    zero.x = {0.0, seconds};
    zero.y = {0.0, 0.0};
    zero.colour = kGreyColour;
    zero.width = 1.0;
    change.series = {zero, gain};
    change.legendAt = "above";

    chart.panels = {levels, change};
    return chart;
}

}  // namespace kvbhost
