// kvb curve and kvb step: what the plug-in does to a steady tone and to a
// tone that steps up and down, measured through the binary and drawn.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "host/Commands.h"
#include "host/DemoSignal.h"
#include "host/OutputFile.h"
#include "host/ParamOptions.h"
#include "host/Plot.h"
#include "host/PluginHost.h"
#include "host/Progress.h"
#include "host/ToneMeasure.h"

namespace kvbhost {

namespace {

constexpr int kCurveFromDb = -60;
constexpr int kCurveToDb = 6;

std::string format(const char* f, double a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, f, a);
    return buf;
}

std::string rateText(long rate) {
    return rate % 1000 == 0 ? format("%.0f kHz", rate / 1000.0) : format("%.1f kHz", rate / 1000.0);
}

// What curve and step share on their command lines: OUT.png, the plug-in's
// setup (--demo first, then --program and --set) and --rate.
struct MeasureArgs {
    std::string out;
    PluginSetup setup;
    long rate = 44100;
};

int measureArgsOf(const CommandLine& line, MeasureArgs& m) {
    if (int rc = pluginSetupOf(line, m.setup)) return rc;
    const std::string text = line.value("--rate");
    if (line.has("--rate") && !parseWhole(text, 8000, 384000, m.rate)) {
        std::fprintf(stderr, "%s: --rate takes a sample rate from 8000 to 384000 Hz, not '%s'\n",
                     commandPrefix(), text.c_str());
        return 2;
    }
    m.out = line.arguments()[0];
    if (int rc = checkPictureName(m.out, "OUT")) return rc;
    return checkOutputs({}, {{m.out, "OUT"}, {line.value("--csv"), "--csv"}});
}

// Axis limits that hold [lo, hi] with a margin, on multiples of a round step.
void fitAxis(double lo, double hi, double minSpan, double& from, double& to) {
    const double span = std::max(minSpan, hi - lo);
    const double step = niceStep(span / 5.0);
    from = floorTo(lo - 0.04 * span, step);
    to = ceilTo(hi + 0.04 * span, step);
}

Chart curveChart(const std::vector<CurvePoint>& points, const std::string& settings, long rate) {
    Series out[2], gain[2], unity;
    double lo = 0.0, hi = -INFINITY, gainLo = 0.0, gainHi = 0.0, apart = 0.0;
    for (const CurvePoint& p : points) {
        for (int c = 0; c < 2; ++c) {
            out[c].x.push_back(p.inputDb);
            out[c].y.push_back(p.outputDb[c]);
            gain[c].x.push_back(p.inputDb);
            gain[c].y.push_back(p.outputDb[c] - p.inputDb);
            if (std::isfinite(p.outputDb[c])) {
                lo = std::min(lo, p.outputDb[c]);
                hi = std::max(hi, p.outputDb[c]);
                gainLo = std::min(gainLo, p.outputDb[c] - p.inputDb);
                gainHi = std::max(gainHi, p.outputDb[c] - p.inputDb);
            }
        }
        apart = std::max(apart, std::fabs(p.outputDb[0] - p.outputDb[1]));
    }
    lo = std::min(lo, static_cast<double>(kCurveFromDb));
    hi = std::max(hi, static_cast<double>(kCurveToDb));
    unity.x = {static_cast<double>(kCurveFromDb), static_cast<double>(kCurveToDb)};
    unity.y = unity.x;
    unity.colour = kGreyColour;
    unity.width = 1.5;
    unity.dashed = true;
    unity.label = "1:1 (no change)";
    const bool oneLine = apart < 0.01;
    for (int c = 0; c < 2; ++c) {
        out[c].colour = gain[c].colour = kSeriesColours[c == 0 ? 0 : 1];
        out[c].width = gain[c].width = c == 0 ? 2.5 : 1.5;
        out[c].dashed = gain[c].dashed = c == 1;
        out[c].label = gain[c].label = oneLine ? "left and right output" : c == 0 ? "left output" : "right output";
    }

    Chart chart;
    chart.width = 1300;
    chart.height = 680;
    chart.title = "Static curve: a steady 1 kHz tone on both inputs, " + rateText(rate);
    chart.subtitle = settings;

    Panel levels;
    levels.left = 0.075;
    levels.right = 0.475;
    levels.bottom = 0.1;
    levels.top = 0.84;
    levels.xmin = kCurveFromDb;
    levels.xmax = kCurveToDb;
    fitAxis(lo, hi, 30.0, levels.ymin, levels.ymax);
    levels.title = "Output level against input level";
    levels.xlabel = "input (dBFS)";
    levels.ylabel = "output (dBFS)";
    levels.series = {unity, out[0]};
    if (!oneLine) levels.series.push_back(out[1]);
    levels.legendAt = "top-left";

    Panel change = levels;
    change.left = 0.575;
    change.right = 0.975;
    fitAxis(gainLo, gainHi, 6.0, change.ymin, change.ymax);
    change.title = "Gain change: output level - input level";
    change.ylabel = "gain (dB)";
    Series zero;
    zero.x = unity.x;
    zero.y = {0.0, 0.0};
    zero.colour = kGreyColour;
    zero.width = 1.5;
    zero.dashed = true;
    change.series = {zero, gain[0]};
    if (!oneLine) change.series.push_back(gain[1]);
    change.legendAt = "bottom-left";

    chart.panels = {levels, change};
    return chart;
}

std::string curveCsv(const std::vector<CurvePoint>& points) {
    std::string text = "input_dBFS,output_left_dBFS,output_right_dBFS,gain_left_dB,gain_right_dB,"
                       "held_s,settled\n";
    char line[160];
    for (const CurvePoint& p : points) {
        std::snprintf(line, sizeof line, "%.0f,%.4f,%.4f,%.4f,%.4f,%.1f,%d\n", p.inputDb, p.outputDb[0],
                      p.outputDb[1], p.outputDb[0] - p.inputDb, p.outputDb[1] - p.inputDb, p.heldSeconds,
                      p.settled ? 1 : 0);
        text += line;
    }
    return text;
}

// The values --compare steps through for a parameter, by its name: one per
// position of a three-position control or a switch, and 0, 0.2, ..., 1 for
// any other, which is one value per position of the six-position ones
// (DisAtk1, DisRat1, DisRls1 and their channel 2 twins).
std::vector<float> positionsOf(const std::string& name) {
    static const char* const threePositions[] = {"OptMode", "MeterMode", "Trafo"};
    static const char* const switches[] = {"OptByp", "SCFilt", "DisByp", "StereoMode", "MSMode"};
    for (const char* p : threePositions)
        if (name.rfind(p, 0) == 0) return {0.0f, 0.5f, 1.0f};
    for (const char* p : switches)
        if (name.rfind(p, 0) == 0) return {0.0f, 1.0f};
    return {0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f};
}

std::string msText(double ms) {
    if (!std::isfinite(ms)) return "-";
    if (ms < 1.0) return format("%.3f ms", ms);
    return ms < 10.0 ? format("%.2f ms", ms) : format("%.0f ms", ms);
}

// "0.58 / 1.9 ms": the times to half and to 90% of a change.
std::string msText(double half, double most) {
    if (!std::isfinite(half) || !std::isfinite(most)) return "-";
    auto number = [](double ms) {
        return ms < 1.0 ? format("%.3g", ms) : ms < 10.0 ? format("%.2g", ms) : format("%.0f", ms);
    };
    return number(half) + " / " + number(most) + " ms";
}

Chart stepChart(const std::vector<StepTrace>& traces, const std::vector<std::string>& labels,
                const StepPlan& plan, const std::string& settings, long rate) {
    Chart chart;
    chart.width = 1300;
    chart.height = labels.size() > 1 ? 1050 : 850;
    chart.title = format("Gain change when a 1 kHz tone steps from %.0f", plan.lowDb) +
                  format(" to %.0f dBFS and back, ", plan.highDb) + rateText(rate);
    chart.subtitle = settings;

    Panel whole;
    whole.left = 0.075;
    whole.right = 0.975;
    whole.bottom = labels.size() > 1 ? 0.62 : 0.56;
    whole.top = 0.87;
    whole.title = format("The whole step: up at 0 ms, down at %.0f ms", plan.highSeconds * 1000.0);
    whole.xlabel = "time (ms)";
    whole.ylabel = "gain (dB)";
    Panel attack = whole;
    attack.bottom = labels.size() > 1 ? 0.27 : 0.08;
    attack.top = labels.size() > 1 ? 0.52 : 0.45;
    attack.title = labels.size() > 1
                       ? "The first 50 ms after the step up (below: the times to half and to 90% of each change)"
                       : "The first 50 ms after the step up";

    double lo = 0.0, hi = 0.0;
    for (std::size_t k = 0; k < traces.size(); ++k) {
        const StepTrace& t = traces[k];
        Series full, zoom;
        // The whole step at one point per 0.25 ms; the first 50 ms at every frame.
        const std::size_t every = std::max<std::size_t>(1, static_cast<std::size_t>(t.rate / 4000.0));
        for (std::size_t n = 0; n < t.gainDb.size(); ++n) {
            const double ms = t.msAt(n);
            if (n % every == 0) {
                full.x.push_back(ms);
                full.y.push_back(t.gainDb[n]);
            }
            if (ms >= -5.0 && ms <= 50.0) {
                zoom.x.push_back(ms);
                zoom.y.push_back(t.gainDb[n]);
            }
            if (std::isfinite(t.gainDb[n])) {
                lo = std::min(lo, t.gainDb[n]);
                hi = std::max(hi, t.gainDb[n]);
            }
        }
        full.colour = zoom.colour = kSeriesColours[k % std::size(kSeriesColours)];
        full.width = zoom.width = 2.0;
        whole.series.push_back(full);
        attack.series.push_back(zoom);
        // Rings where the line has made half and 90% of each change: the
        // times the table gives.
        Series marks;
        marks.marks = true;
        marks.colour = full.colour;
        marks.width = 1.5;
        const double down = t.msAt(t.stepDown);
        for (const auto& [ms, from, to, part] :
             {std::tuple{t.attack50Ms, t.before, t.held, 0.5}, std::tuple{t.attack90Ms, t.before, t.held, 0.9},
              std::tuple{down + t.release50Ms, t.held, t.after, 0.5},
              std::tuple{down + t.release90Ms, t.held, t.after, 0.9}}) {
            marks.x.push_back(ms);
            marks.y.push_back(from + part * (to - from));
        }
        whole.series.push_back(marks);
        attack.series.push_back(marks);
        zoom.label = labels[k];
        chart.legend.push_back(zoom);
    }
    whole.xmin = traces.empty() ? 0.0 : traces[0].msAt(0);
    whole.xmax = (plan.highSeconds + plan.lowSeconds) * 1000.0;
    attack.xmin = -5.0;
    attack.xmax = 50.0;
    fitAxis(lo, hi, 3.0, whole.ymin, whole.ymax);
    attack.ymin = whole.ymin;
    attack.ymax = whole.ymax;
    if (labels.size() < 2) chart.legend.clear();
    chart.panels = {whole, attack};
    return chart;
}

// The traces as comma-separated values: every frame of the first 50 ms after
// each step, one frame per millisecond elsewhere.
std::string stepCsv(const std::vector<StepTrace>& traces, const std::vector<std::string>& names) {
    std::string text = "time_ms";
    for (const std::string& n : names) text += ",gain_dB" + (n.empty() ? "" : "_" + n);
    text += "\n";
    if (traces.empty()) return text;
    const StepTrace& t0 = traces[0];
    const std::size_t perMs = std::max<std::size_t>(1, static_cast<std::size_t>(t0.rate / 1000.0));
    const std::size_t zoom = static_cast<std::size_t>(0.05 * t0.rate);
    char cell[32];
    for (std::size_t n = 0; n < t0.gainDb.size(); ++n) {
        const bool inZoom = (n >= t0.stepUp && n <= t0.stepUp + zoom) ||
                            (n >= t0.stepDown && n <= t0.stepDown + zoom);
        if (!inZoom && n % perMs != 0) continue;
        std::snprintf(cell, sizeof cell, "%.4f", t0.msAt(n));
        text += cell;
        for (const StepTrace& t : traces) {
            std::snprintf(cell, sizeof cell, ",%.4f", n < t.gainDb.size() ? t.gainDb[n] : NAN);
            text += cell;
        }
        text += "\n";
    }
    return text;
}

}  // namespace

int runCurve(const CommandLine& line) {
    MeasureArgs m;
    if (int rc = measureArgsOf(line, m)) return rc;
    const std::string csvPath = line.value("--csv");
    PluginHost host;
    if (int rc = loadPlugin(host, m.setup)) return rc;

    Progress progress(kCurveToDb - kCurveFromDb + 1, true);
    const std::vector<CurvePoint> points =
        measureCurve(host, static_cast<float>(m.rate), kCurveFromDb, kCurveToDb,
                     [&](int done, int) { progress.update(done); });
    host.unload();

    std::string error;
    if (!csvPath.empty() && !writeTextFile(csvPath, curveCsv(points), error)) {
        std::fprintf(stderr, "%s: %s\n", commandPrefix(), error.c_str());
        return 1;
    }
    const std::string settings = describeSettings(m.setup.settings, m.setup.program);
    if (!writeChart(m.out, curveChart(points, settings, m.rate), error)) {
        std::fprintf(stderr, "%s: %s\n", commandPrefix(), error.c_str());
        return 1;
    }
    std::printf("%s: static curve of a 1 kHz tone at %ld Hz, %s\n", m.out.c_str(), m.rate, settings.c_str());
    for (const CurvePoint& p : points) {
        if (static_cast<int>(p.inputDb) % 6 != 0) continue;
        std::printf("  in %+4.0f dBFS: out %+6.1f dBFS, gain %+5.1f dB\n", p.inputDb, p.outputDb[0],
                    p.outputDb[0] - p.inputDb);
    }
    int unsettled = 0;
    for (const CurvePoint& p : points) unsettled += p.settled ? 0 : 1;
    if (unsettled)
        std::printf("  %d levels still moved after %.0f s (see the settled column of --csv)\n", unsettled,
                    kMaxHoldSeconds);
    return 0;
}

int runStep(const CommandLine& line) {
    MeasureArgs m;
    if (int rc = measureArgsOf(line, m)) return rc;
    const std::string compare = line.value("--compare"), csvPath = line.value("--csv");

    std::vector<std::string> extra{""};
    std::vector<std::string> labels{""};
    if (line.has("--compare")) {
        // The plug-in tells which parameter the name is.
        PluginHost probe;
        if (int rc = loadPlugin(probe, m.setup)) return rc;
        ParamSetting s{};
        std::string error;
        if (!parseSetting(probe, compare + "=0", s, error)) {
            std::fprintf(stderr, "%s: --compare: %s\n", commandPrefix(), error.c_str());
            return 2;
        }
        const std::string name = probe.text(vst::effGetParamName, s.index);
        extra.clear();
        labels.clear();
        for (float v : positionsOf(name)) {
            extra.push_back(compare + "=" + format("%g", v));
            labels.push_back(name + format(" = %.1f", v));
        }
    }

    const StepPlan plan;
    std::vector<StepTrace> traces;
    Progress progress(static_cast<std::int64_t>(extra.size()), true);
    for (std::size_t k = 0; k < extra.size(); ++k) {
        PluginSetup setup = m.setup;
        if (!extra[k].empty()) setup.settings.push_back(extra[k]);
        PluginHost host;
        if (int rc = loadPlugin(host, setup)) return rc;
        traces.push_back(measureStep(host, static_cast<float>(m.rate), plan));
        progress.update(static_cast<std::int64_t>(k + 1));
    }
    for (std::size_t k = 0; k < traces.size(); ++k) {
        if (labels[k].empty()) continue;
        labels[k] += ": attack " + msText(traces[k].attack50Ms, traces[k].attack90Ms) + ", release " +
                     msText(traces[k].release50Ms, traces[k].release90Ms);
    }

    const std::string settings = describeSettings(m.setup.settings, m.setup.program);
    std::string error;
    if (!csvPath.empty() && !writeTextFile(csvPath, stepCsv(traces, extra), error)) {
        std::fprintf(stderr, "%s: %s\n", commandPrefix(), error.c_str());
        return 1;
    }
    if (!writeChart(m.out, stepChart(traces, labels, plan, settings, m.rate), error)) {
        std::fprintf(stderr, "%s: %s\n", commandPrefix(), error.c_str());
        return 1;
    }
    std::printf("%s: 1 kHz tone, %.0f -> %.0f dBFS at 0 ms, back at %.0f ms, %ld Hz, %s\n", m.out.c_str(),
                plan.lowDb, plan.highDb, plan.highSeconds * 1000.0, m.rate, settings.c_str());
    std::printf("  gain change before the step, held at its end and after the release; time from\n"
                "  each step to half and to 90%% of the change:\n");
    std::printf("  %-16s %9s %9s %9s %10s %10s %10s %10s\n", compare.empty() ? "" : "setting", "before",
                "held", "after", "attack 50%", "90%", "release 50%", "90%");
    for (std::size_t k = 0; k < traces.size(); ++k) {
        const StepTrace& t = traces[k];
        std::printf("  %-16s %+6.2f dB %+6.2f dB %+6.2f dB %10s %10s %11s %10s\n",
                    extra[k].empty() ? "" : extra[k].c_str(), t.before, t.held, t.after,
                    msText(t.attack50Ms).c_str(), msText(t.attack90Ms).c_str(),
                    msText(t.release50Ms).c_str(), msText(t.release90Ms).c_str());
    }
    return 0;
}

}  // namespace kvbhost
