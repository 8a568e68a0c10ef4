// kvb curve, kvb step and render --plot, run as separate processes: what
// they measure through a plug-in binary, checked against a plug-in whose gain
// is known exactly and against kvb render.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/RunCommand.h"
#include "tests/SoundFile.h"

namespace {

CommandResult kvb(const std::string& args) { return runCommand(std::string(KVB_HOST_PATH) + " " + args); }

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "/kvb-measure-" + name; }

// Rows of a comma-separated file, the header first.
std::vector<std::vector<std::string>> readCsv(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) {
        std::vector<std::string> cells;
        std::stringstream s(line);
        std::string cell;
        while (std::getline(s, cell, ',')) cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

// Width and height from a PNG file's header; 0, 0 when it is none.
std::pair<int, int> pngSize(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    unsigned char h[24] = {};
    f.read(reinterpret_cast<char*>(h), sizeof h);
    if (!f || h[1] != 'P' || h[2] != 'N' || h[3] != 'G' || std::string(reinterpret_cast<char*>(h + 12), 4) != "IHDR")
        return {0, 0};
    auto be = [&](int at) { return (h[at] << 24) | (h[at + 1] << 16) | (h[at + 2] << 8) | h[at + 3]; };
    return {be(16), be(20)};
}

// The demo settings as kvb help demo lists them, as --set options.
std::string demoSetOptions() {
    const CommandResult r = kvb("help demo");
    std::string options;
    const auto at = r.out.find("The demo settings:");
    std::stringstream s(r.out.substr(at == std::string::npos ? r.out.size() : at + 18));
    std::string word;
    while (s >> word) options += " --set " + word;
    return options;
}

// A float WAV of a 1 kHz sine at `db` dBFS on both channels.
void writeTone(const std::string& path, double db, double seconds, int rate = 44100) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(seconds * rate);
    std::vector<float> x(static_cast<std::size_t>(frames) * 2);
    const double a = std::pow(10.0, db / 20.0);
    for (sf_count_t i = 0; i < frames; ++i)
        x[2 * i] = x[2 * i + 1] = static_cast<float>(a * std::sin(2.0 * M_PI * 1000.0 * i / rate));
    sf_writef_float(f, x.data(), frames);
    sf_close(f);
}

// Level in dBFS of a sine with the mean square of the last `seconds` of a file.
double lastLevelDb(const std::string& path, double seconds, int rate = 44100) {
    const std::vector<float> x = readAudio(path).samples;
    const auto n = static_cast<std::size_t>(seconds * rate) * 2;
    if (x.size() < n) return NAN;
    double sum = 0.0;
    for (std::size_t i = x.size() - n; i < x.size(); ++i) sum += static_cast<double>(x[i]) * x[i];
    return 10.0 * std::log10(2.0 * sum / static_cast<double>(n));
}

// One line of kvb step's table: the times in ms (NaN for "-").
struct StepTimes {
    std::string setting;
    double attack50, attack90, release50, release90;
};

// The table's lines whose setting starts with `prefix` (all of them for "").
std::vector<StepTimes> stepTable(const std::string& out, const std::string& prefix) {
    std::vector<StepTimes> rows;
    std::stringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find(" dB ") == std::string::npos || line.find("->") != std::string::npos) continue;
        std::stringstream s(line);
        StepTimes t;
        if (!prefix.empty()) {
            s >> t.setting;
            if (t.setting.rfind(prefix, 0) != 0) continue;
        }
        std::string word;
        for (int i = 0; i < 6; ++i) s >> word;  // before, held, after with their units
        double* times[] = {&t.attack50, &t.attack90, &t.release50, &t.release90};
        for (double* v : times) {
            s >> word;
            *v = word == "-" ? NAN : std::stod(word);
            if (word != "-") s >> word;  // "ms"
        }
        rows.push_back(t);
    }
    return rows;
}

}  // namespace

TEST(KvbCurve, MeasuresAKnownGainAtEveryLevel) {
    const std::string png = tempPath("gain-curve.png"), csv = tempPath("gain-curve.csv");
    const CommandResult r = kvb("curve " + png + " --csv " + csv + " --set Gain=0.25 --plugin " KVB_GAIN_PLUGIN_PATH);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto rows = readCsv(csv);
    ASSERT_EQ(rows.size(), 68u) << "a header and -60 to +6 dBFS in 1 dB steps";
    EXPECT_EQ(rows[0][0], "input_dBFS");
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 7u);
        EXPECT_EQ(std::stoi(rows[i][0]), -61 + static_cast<int>(i));
        // Half the amplitude: -6.02 dB, whatever the level, in both channels.
        EXPECT_NEAR(std::stod(rows[i][3]), -6.0206, 0.001) << rows[i][0] << " dBFS";
        EXPECT_NEAR(std::stod(rows[i][4]), -6.0206, 0.001) << rows[i][0] << " dBFS";
        EXPECT_EQ(rows[i][6], "1") << "settled";
    }
    EXPECT_EQ(pngSize(png), std::make_pair(1300, 680));
}

// The curve's gain change at -6 dBFS is what a render of a steady tone at that
// level gives once it has settled.
TEST(KvbCurve, AgreesWithARenderOfASteadyToneWithTheDemoSettings) {
    const std::string png = tempPath("demo-curve.png"), csv = tempPath("demo-curve.csv");
    CommandResult r = kvb("curve " + png + " --demo --csv " + csv);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto rows = readCsv(csv);
    ASSERT_EQ(rows.size(), 68u);
    std::map<int, double> gain;
    for (std::size_t i = 1; i < rows.size(); ++i) gain[std::stoi(rows[i][0])] = std::stod(rows[i][3]);

    const std::string in = tempPath("tone-6.wav"), out = tempPath("tone-6-out.wav");
    writeTone(in, -6.0, 12.0);
    r = kvb("render " + in + " " + out + demoSetOptions());
    ASSERT_EQ(r.status, 0) << r.out;
    const double rendered = lastLevelDb(out, 1.0) - (-6.0);
    EXPECT_NEAR(gain[-6], rendered, 0.1) << "curve " << gain[-6] << " dB, render " << rendered << " dB";
    // And the demo settings do compress: 12 dB more in gives far less out.
    EXPECT_LT(gain[6] - gain[-6], -6.0);
    EXPECT_NEAR(gain[-60], gain[-40], 0.01) << "below the thresholds only the make-up acts";
}

TEST(KvbStep, ComparingDisAtk1ShowsSixAttacksInTheOrderOfTheirSteps) {
    const std::string png = tempPath("step.png"), csv = tempPath("step.csv");
    const CommandResult r = kvb("step " + png + " --demo --compare DisAtk1 --csv " + csv);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(pngSize(png), std::make_pair(1300, 1050));

    // The printed table: one line per position, the attack's time to half
    // its change in the fifth column.
    std::vector<double> attack;
    std::stringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::stringstream s(line);
        std::string setting, ignore, half;
        s >> setting;
        if (setting.rfind("DisAtk1=", 0) != 0) continue;
        for (int i = 0; i < 6; ++i) s >> ignore;  // before, held, after with their units
        s >> half;
        attack.push_back(std::stod(half));
    }
    ASSERT_EQ(attack.size(), 6u) << r.out;
    for (std::size_t k = 1; k < attack.size(); ++k)
        EXPECT_GT(attack[k], attack[k - 1]) << "position " << k << "\n" << r.out;

    // Visibly apart: neighbours differ by 0.3 dB or more in the first 50 ms.
    const auto rows = readCsv(csv);
    ASSERT_GT(rows.size(), 1u);
    ASSERT_EQ(rows[0].size(), 7u);
    std::vector<double> apart(5, 0.0);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const double ms = std::stod(rows[i][0]);
        if (ms < 0.0 || ms > 50.0) continue;
        for (int k = 0; k < 5; ++k)
            apart[k] = std::max(apart[k], std::fabs(std::stod(rows[i][k + 1]) - std::stod(rows[i][k + 2])));
    }
    for (int k = 0; k < 5; ++k) EXPECT_GE(apart[k], 0.3) << "positions " << k << " and " << k + 1;
}

TEST(KvbStep, AKnownGainHasNoAttackOrRelease) {
    const std::string png = tempPath("gain-step.png"), csv = tempPath("gain-step.csv");
    const CommandResult r = kvb("step " + png + " --csv " + csv + " --set Gain=1 --plugin " KVB_GAIN_PLUGIN_PATH);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto rows = readCsv(csv);
    ASSERT_GT(rows.size(), 1000u);
    for (std::size_t i = 1; i < rows.size(); ++i)
        ASSERT_NEAR(std::stod(rows[i][1]), 6.0206, 0.001) << "at " << rows[i][0] << " ms";
    // The table's line: the gain before, held and after, and no times.
    const auto at = r.out.find("+6.02 dB");
    ASSERT_NE(at, std::string::npos) << r.out;
    std::stringstream s(r.out.substr(at, r.out.find('\n', at) - at));
    std::vector<std::string> cells;
    for (std::string c; s >> c;) cells.push_back(c);
    EXPECT_EQ(cells, (std::vector<std::string>{"+6.02", "dB", "+6.02", "dB", "+6.02", "dB", "-", "-", "-", "-"}));
}

TEST(KvbRenderPlot, DrawsThePictureAndLeavesTheSoundAlone) {
    const std::string in = tempPath("plot-in.wav"), a = tempPath("plot-a.wav"), b = tempPath("plot-b.wav"),
                      png = tempPath("plot.png");
    writeTone(in, -12.0, 2.0, 48000);
    const std::string settings = " --float --set OptThr1=0.2 --set DisByp1=0";
    ASSERT_EQ(kvb("render " + in + " " + a + settings).status, 0);
    const CommandResult r = kvb("render " + in + " " + b + settings + " --plot " + png);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(pngSize(png), std::make_pair(1400, 850));
    const std::vector<float> sa = readAudio(a).samples, sb = readAudio(b).samples;
    EXPECT_TRUE(!sa.empty() && sa == sb) << "the audio is the same with --plot";

    // A picture that cannot be written is an error, named as such.
    const CommandResult bad = kvb("render " + in + " " + b + " --plot /nonexistent-dir/p.png");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("kvb render: cannot write /nonexistent-dir/p.png"), std::string::npos) << bad.out;
}

// The Dis stage alone (Opt stage and transformer out of the way, 10:1 from
// -20 dB) through its six attack and six release steps, at 44.1 and 8 kHz.
// The release is a one-pole decay of the gain in dB: half of it in
// tau ln 2, 90% in tau ln 10, corrected for the 3 s the step leaves it to
// settle. The attack charges the detector only while the tone is near its
// peaks, and the level is taken over one period of the tone: it takes from
// tau ln 2 up to 2 tau plus a period, the same time at every rate where tau
// spans periods, and never less than a sample.
TEST(KvbStep, TheDisStagesStepsFollowTheirTimeConstants) {
    const double attackMs[] = {0.044, 0.22, 0.44, 2.3, 4.5, 11.3};
    const double releaseMs[] = {45, 113, 227, 349, 515, 756};
    const double settleMs = 2975.0;  // from the step down to the middle of the last 50 ms
    const std::string dis = " --set OptByp1=1 --set DisByp1=0 --set DisThr1=0.5 --set DisRat1=1";
    std::vector<StepTimes> attacks[2];
    for (int k = 0; k < 2; ++k) {
        const int rate = k == 0 ? 44100 : 8000;
        const std::string common = " --rate " + std::to_string(rate) + dis;
        const CommandResult a = kvb("step " + tempPath("dis-attack.png") + common + " --compare DisAtk1");
        const CommandResult r = kvb("step " + tempPath("dis-release.png") + common + " --compare DisRls1");
        ASSERT_EQ(a.status, 0) << a.out;
        ASSERT_EQ(r.status, 0) << r.out;
        attacks[k] = stepTable(a.out, "DisAtk1=");
        const std::vector<StepTimes> releases = stepTable(r.out, "DisRls1=");
        ASSERT_EQ(attacks[k].size(), 6u) << a.out;
        ASSERT_EQ(releases.size(), 6u) << r.out;
        const double sampleMs = 1000.0 / rate;
        for (int i = 0; i < 6; ++i) {
            const double tau = releaseMs[i], left = std::exp(-settleMs / tau);
            for (const auto& [part, measured] : {std::pair{0.5, releases[i].release50}, {0.9, releases[i].release90}}) {
                const double expected = -tau * std::log(1.0 - part * (1.0 - left));
                EXPECT_NEAR(measured, expected, 0.02 * expected + 1.5)
                    << rate << " Hz, release " << tau << " ms, " << part * 100 << "%";
            }
            const double t50 = attacks[k][i].attack50;
            EXPECT_GE(t50, std::max(sampleMs, attackMs[i] * std::log(2.0)) - 1e-3) << rate << " Hz, attack " << i;
            EXPECT_LE(t50, 2.0 * attackMs[i] + 1.0) << rate << " Hz, attack " << i;
            if (i > 0) {
                EXPECT_GT(t50, attacks[k][i - 1].attack50) << rate << " Hz, attack " << i;
            }
        }
        // The fastest step is done within the first sample the tone gives it.
        EXPECT_NEAR(attacks[k][0].attack50, rate == 8000 ? 0.125 : 0.25, 0.13) << a.out;
    }
    for (int i = 3; i < 6; ++i)
        EXPECT_NEAR(attacks[1][i].attack50, attacks[0][i].attack50, 0.03 * attacks[0][i].attack50 + 0.13)
            << "attack " << i << " at 8 and 44.1 kHz";
}

// With the default settings only the Opt stage acts: its attack and release
// take hundreds of milliseconds at every rate, and the times printed are
// where the line drawn (and written to --csv) crosses half and 90% of the
// change.
TEST(KvbStep, ItsTimesAreThoseOfTheLineItDraws) {
    for (const int rate : {44100, 8000}) {
        const std::string png = tempPath("opt-step.png"), csv = tempPath("opt-step.csv");
        const CommandResult r = kvb("step " + png + " --csv " + csv + " --rate " + std::to_string(rate));
        ASSERT_EQ(r.status, 0) << r.out;
        const std::vector<StepTimes> table = stepTable(r.out, "");
        ASSERT_EQ(table.size(), 1u) << r.out;
        EXPECT_GT(table[0].attack50, 300.0) << r.out;
        EXPECT_GT(table[0].release50, 300.0) << r.out;
        const auto rows = readCsv(csv);
        ASSERT_GT(rows.size(), 5000u);
        std::vector<std::pair<double, double>> line;
        for (std::size_t i = 1; i < rows.size(); ++i) line.emplace_back(std::stod(rows[i][0]), std::stod(rows[i][1]));
        // The gain before the step up, at the end of the high level and at
        // the end: the line's means over 50 ms, as the table takes them.
        auto mean = [&](double from, double to) {
            double sum = 0.0;
            int n = 0;
            for (const auto& [t, g] : line)
                if (t >= from && t < to) sum += g, ++n;
            return sum / n;
        };
        const double before = mean(-50.0, 0.0), held = mean(1950.0, 2000.0),
                     after = mean(line.back().first - 50.0, line.back().first + 1.0);
        // The first time after `from` the line is `part` of the way from a to b.
        auto crossing = [&](double from, double a, double b, double part) {
            const double target = a + part * (b - a);
            for (const auto& [t, g] : line)
                if (t > from && (b < a ? g <= target : g >= target)) return t - from;
            return static_cast<double>(NAN);
        };
        EXPECT_NEAR(crossing(0.0, before, held, 0.5), table[0].attack50, 1.5) << rate;
        EXPECT_NEAR(crossing(0.0, before, held, 0.9), table[0].attack90, 1.5) << rate;
        EXPECT_NEAR(crossing(2000.0, held, after, 0.5), table[0].release50, 1.5) << rate;
        EXPECT_NEAR(crossing(2000.0, held, after, 0.9), table[0].release90, 1.5) << rate;
    }
}

// The README's --compare examples draw lines that differ: every two
// positions apart by 0.3 dB or more somewhere. (Its DisAtk1 picture is the
// first test above.)
TEST(KvbStep, ComparedPositionsDrawLinesThatDiffer) {
    const std::pair<const char*, std::size_t> examples[] = {
        {"--set DisByp1=0 --set DisThr1=0.4 --compare DisRls1", 6},
        {"--set DisByp1=0 --set DisThr1=0.4 --compare DisRat1", 6},
        {"--compare OptMode", 3},
    };
    for (const auto& [example, positions] : examples) {
        const std::string csv = tempPath("compare.csv");
        const CommandResult r = kvb("step " + tempPath("compare.png") + " --csv " + csv + " " + example);
        ASSERT_EQ(r.status, 0) << r.out;
        const auto rows = readCsv(csv);
        ASSERT_GT(rows.size(), 1u);
        const std::size_t lines = rows[0].size() - 1;
        EXPECT_EQ(lines, positions) << example;
        for (std::size_t a = 1; a <= lines; ++a)
            for (std::size_t b = a + 1; b <= lines; ++b) {
                double apart = 0.0;
                for (std::size_t i = 1; i < rows.size(); ++i)
                    apart = std::max(apart, std::fabs(std::stod(rows[i][a]) - std::stod(rows[i][b])));
                EXPECT_GE(apart, 0.3) << example << ": " << rows[0][a] << " and " << rows[0][b];
            }
    }
}
