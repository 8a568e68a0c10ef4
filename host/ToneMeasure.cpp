#include "host/ToneMeasure.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kvbhost {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Samples over which the chain's filters smear a step's edge, and more.
constexpr std::size_t kEdgeFrames = 16;

double sineDb(double meanSquare) { return meanSquare > 0.0 ? 10.0 * std::log10(2.0 * meanSquare) : -INFINITY; }

// The plug-in, resumed at `rate`, with the tone playing into both inputs.
// The tone's phase runs on across level changes; a level change takes effect
// at a sample, as an ideal switch would.
class TonePlayer {
public:
    TonePlayer(const PluginHost& host, float rate) : host_(host), rate_(rate) {
        host_.dispatch(vst::effSetSampleRate, 0, 0, nullptr, rate);
        host_.dispatch(vst::effSetBlockSize, 0, kBlock);
        host_.dispatch(vst::effMainsChanged, 0, 1);
    }
    ~TonePlayer() { host_.dispatch(vst::effMainsChanged, 0, 0); }
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    // Plays `frames` frames at `db` dBFS. Answers the mean square of each
    // output over them; appends input and outputs to the vectors given.
    void play(double db, std::size_t frames, double meanSquare[2], std::vector<float>* in = nullptr,
              std::vector<float>* outL = nullptr, std::vector<float>* outR = nullptr) {
        const double amplitude = std::pow(10.0, db / 20.0);
        double sums[2] = {0.0, 0.0};
        for (std::size_t done = 0; done < frames;) {
            const int n = static_cast<int>(std::min<std::size_t>(kBlock, frames - done));
            for (int i = 0; i < n; ++i, ++phase_) {
                const double t = static_cast<double>(phase_ % period_) / rate_;
                x_[i] = static_cast<float>(amplitude * std::sin(2.0 * kPi * kToneHz * t));
            }
            float* ins[2] = {x_, x_};
            float* outs[2] = {y_[0], y_[1]};
            vst::AEffect* e = host_.effect();
            e->processReplacing(e, ins, outs, n);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < n; ++i) sums[c] += static_cast<double>(y_[c][i]) * y_[c][i];
            if (in) in->insert(in->end(), x_, x_ + n);
            if (outL) outL->insert(outL->end(), y_[0], y_[0] + n);
            if (outR) outR->insert(outR->end(), y_[1], y_[1] + n);
            done += static_cast<std::size_t>(n);
        }
        for (int c = 0; c < 2; ++c) meanSquare[c] = frames ? sums[c] / static_cast<double>(frames) : 0.0;
    }

    std::size_t frames(double seconds) const { return static_cast<std::size_t>(std::lround(seconds * rate_)); }
    // The nearest zero crossing of the tone to `seconds` from the start.
    std::size_t zeroCrossingNear(double seconds) const {
        const double half = rate_ / (2.0 * kToneHz);
        return static_cast<std::size_t>(std::lround(std::round(seconds * rate_ / half) * half));
    }

private:
    static constexpr int kBlock = 512;
    const PluginHost& host_;
    double rate_;
    // The phase restarts after a whole number of seconds, where the 1 kHz
    // tone starts over: no precision is lost however long it plays.
    std::int64_t period_ = static_cast<std::int64_t>(std::llround(rate_ < 1.0 ? 1.0 : rate_));
    std::int64_t phase_ = 0;
    float x_[kBlock];
    float y_[2][kBlock];
};

// The delay in whole frames from input to output at the tone's frequency,
// from the phase of the tone in both over frames [from, to): less than one
// period of the tone.
std::size_t toneDelay(const std::vector<float>& in, const std::vector<float>& outL,
                      const std::vector<float>& outR, std::size_t from, std::size_t to, double rate) {
    const double w = 2.0 * kPi * kToneHz / rate;
    double xr = 0, xi = 0, yr = 0, yi = 0;
    for (std::size_t n = from; n < to; ++n) {
        const double c = std::cos(w * static_cast<double>(n)), s = std::sin(w * static_cast<double>(n));
        const double y = 0.5 * (static_cast<double>(outL[n]) + outR[n]);
        xr += in[n] * c;
        xi -= in[n] * s;
        yr += y * c;
        yi -= y * s;
    }
    // Input phase minus output phase: the lag, taken in [-pi / 2, 3 pi / 2)
    // so that a chain without delay, a hair early or late, reads as 0.
    double lag = std::atan2(xi, xr) - std::atan2(yi, yr);
    while (lag < -0.5 * kPi) lag += 2.0 * kPi;
    while (lag >= 1.5 * kPi) lag -= 2.0 * kPi;
    return static_cast<std::size_t>(std::max(0L, std::lround(lag / w)));
}

// The median of x over the frames from n - half to n + half (those of them
// that exist), for every n; not-a-number values left out, and not-a-number
// where the window holds nothing else. A change that lasts no more than
// `half` frames cannot move a median of 2 half + 1 frames, while a stretch
// that only rises or only falls comes out unchanged.
std::vector<double> runningMedian(const std::vector<double>& x, std::size_t half) {
    std::vector<double> out(x.size(), kNaN);
    std::vector<double> window;  // sorted
    window.reserve(2 * half + 1);
    auto add = [&](double v) {
        if (std::isfinite(v)) window.insert(std::lower_bound(window.begin(), window.end(), v), v);
    };
    auto drop = [&](double v) {
        if (std::isfinite(v)) window.erase(std::lower_bound(window.begin(), window.end(), v));
    };
    for (std::size_t i = 0; i < std::min(half, x.size()); ++i) add(x[i]);
    for (std::size_t n = 0; n < x.size(); ++n) {
        if (n + half < x.size()) add(x[n + half]);
        if (n > half) drop(x[n - half - 1]);
        const std::size_t k = window.size();
        if (k) out[n] = k % 2 ? window[k / 2] : 0.5 * (window[k / 2 - 1] + window[k / 2]);
    }
    return out;
}

}  // namespace

std::vector<CurvePoint> measureCurve(const PluginHost& host, float rate, int fromDb, int toDb,
                                     const std::function<void(int, int)>& progress) {
    TonePlayer player(host, rate);
    // 100 ms: a whole number of periods of the tone at the usual rates.
    const std::size_t window = player.frames(0.1);
    std::vector<CurvePoint> points;
    const int total = toDb - fromDb + 1;
    for (int level = fromDb; level <= toDb; ++level) {
        CurvePoint p{};
        p.inputDb = level;
        double last[2] = {kNaN, kNaN};
        int calm = 0;
        for (;;) {
            double ms[2];
            player.play(level, window, ms);
            p.heldSeconds += 0.1;
            double moved = 0.0;
            for (int c = 0; c < 2; ++c) {
                const double db = sineDb(ms[c]);
                moved = std::max(moved, db == last[c] ? 0.0 : std::fabs(db - last[c]));
                if (std::isnan(moved)) moved = INFINITY;
                last[c] = db;
                p.outputDb[c] = db;
            }
            calm = moved < kSettledDb ? calm + 1 : 0;
            if (calm >= 2 && p.heldSeconds >= 0.3) {
                p.settled = true;
                break;
            }
            if (p.heldSeconds >= kMaxHoldSeconds) break;
        }
        points.push_back(p);
        if (progress) progress(static_cast<int>(points.size()), total);
    }
    return points;
}

StepTrace measureStep(const PluginHost& host, float rate, const StepPlan& plan, double shownSeconds) {
    TonePlayer player(host, rate);
    const std::size_t up = player.zeroCrossingNear(plan.leadSeconds);
    const std::size_t down = player.zeroCrossingNear(plan.leadSeconds + plan.highSeconds);
    const std::size_t end = down + player.frames(plan.lowSeconds);
    std::vector<float> in, outL, outR;
    in.reserve(end);
    outL.reserve(end);
    outR.reserve(end);
    double ms[2];
    player.play(plan.lowDb, up, ms, &in, &outL, &outR);
    player.play(plan.highDb, down - up, ms, &in, &outL, &outR);
    player.play(plan.lowDb, end - down, ms, &in, &outL, &outR);

    // Levels over one period of the tone, where a sine's mean square is the
    // same wherever the window starts; the output's window lies later by the
    // chain's delay.
    const std::size_t w = std::max<std::size_t>(2, player.frames(1.0 / kToneHz));
    const std::size_t delay = toneDelay(in, outL, outR, up - player.frames(0.5), up, rate);
    std::vector<double> inSum(end + 1, 0.0), outSum(end + 1, 0.0);
    for (std::size_t i = 0; i < end; ++i) {
        inSum[i + 1] = inSum[i] + static_cast<double>(in[i]) * in[i];
        outSum[i + 1] = outSum[i] + 0.5 * (static_cast<double>(outL[i]) * outL[i] +
                                           static_cast<double>(outR[i]) * outR[i]);
    }

    StepTrace t;
    t.rate = rate;
    const std::size_t shown = std::min(up - w, player.frames(shownSeconds));
    const std::size_t first = up - shown;
    const std::size_t last = end - delay;  // the last window that fits
    std::vector<double> gain;
    for (std::size_t n = first; n < last; ++n) {
        // The period up to and including frame n: nothing shows before it happens.
        const std::size_t a = n + 1 - w;
        const double inMs = inSum[a + w] - inSum[a];
        const double outMs = outSum[a + delay + w] - outSum[a + delay];
        gain.push_back(inMs > 0.0 && outMs > 0.0 ? 10.0 * std::log10(outMs / inMs) : kNaN);
    }
    // Where a window holds the step, its part of the tone at the new level
    // lies a fraction of a frame apart in input and output (the chain's
    // delay is not a whole number of frames), and the chain's filters smear
    // the edge over a few samples: the ratio spikes for up to one period of
    // the tone and those samples. The median over one period and 16 samples
    // either side leaves out such spikes (at least every spike shorter than
    // a millisecond) and keeps the gain's own changes.
    t.gainDb = runningMedian(gain, w + kEdgeFrames);
    t.stepUp = up - first;
    t.stepDown = down - first;

    const std::size_t span = player.frames(0.05);
    auto mean = [&](std::size_t from, std::size_t to) {
        double sum = 0.0;
        std::size_t count = 0;
        for (std::size_t i = from; i < to && i < t.gainDb.size(); ++i)
            if (std::isfinite(t.gainDb[i])) {
                sum += t.gainDb[i];
                ++count;
            }
        return count ? sum / static_cast<double>(count) : kNaN;
    };
    t.before = mean(t.stepUp - std::min(t.stepUp, span), t.stepUp);
    t.held = mean(t.stepDown - span, t.stepDown);
    t.after = mean(t.gainDb.size() - span, t.gainDb.size());

    // From `from` on, the first time the gain has gone `part` of the way
    // from a to b, between frames; at least one frame: the output cannot
    // answer a step before the sample after it.
    const double frameMs = 1000.0 / rate;
    auto reached = [&](std::size_t from, double a, double b, double part) {
        if (!(std::fabs(b - a) >= 0.5)) return kNaN;
        const double target = a + part * (b - a);
        for (std::size_t n = from; n < t.gainDb.size(); ++n) {
            const double g = t.gainDb[n];
            if (!std::isfinite(g) || (b > a ? g < target : g > target)) continue;
            double frame = static_cast<double>(n);
            const double previous = n > from ? t.gainDb[n - 1] : kNaN;
            if (std::isfinite(previous) && previous != g) frame -= (g - target) / (g - previous);
            return std::max(frameMs, (frame - static_cast<double>(from)) * frameMs);
        }
        return kNaN;
    };
    t.attack50Ms = reached(t.stepUp, t.before, t.held, 0.5);
    t.attack90Ms = reached(t.stepUp, t.before, t.held, 0.9);
    t.release50Ms = reached(t.stepDown, t.held, t.after, 0.5);
    t.release90Ms = reached(t.stepDown, t.held, t.after, 0.9);
    return t;
}

}  // namespace kvbhost
