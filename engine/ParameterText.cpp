#include "engine/ParameterText.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dsp/BlockSettings.h"
#include "dsp/DisStage.h"

namespace kvb {

namespace {

constexpr ParameterDescription kSpare = {ParameterKind::Continuous, "-", "Spare: stored, no effect.", "", {}};

// In parameter order.
constexpr ParameterDescription kDescriptions[kNumNamedParams] = {
    {ParameterKind::Continuous, "Opt threshold 1", "Opt stage threshold, channel 1: -60 dB at 0 to -10 dB at 1.", "dB", {}},
    {ParameterKind::Continuous, "Opt make-up 1", "Opt stage make-up gain, channel 1: 0 to 15 dB.", "dB", {}},
    {ParameterKind::Continuous, "Dis threshold 1", "Dis stage threshold, channel 1: -40 dB at 0 to 0 dB at 1.", "dB", {}},
    {ParameterKind::SixPositions, "Dis attack 1", "Dis stage attack time, channel 1.", "", {}},
    {ParameterKind::SixPositions, "Dis ratio 1", "Dis stage ratio, channel 1.", "", {}},
    {ParameterKind::SixPositions, "Dis release 1", "Dis stage release time, channel 1.", "", {}},
    {ParameterKind::Continuous, "Dis make-up 1", "Dis stage make-up gain, channel 1: 0 to 15 dB.", "dB", {}},
    {ParameterKind::Continuous, "Opt threshold 2", "Opt stage threshold, channel 2: -60 dB at 0 to -10 dB at 1.", "dB", {}},
    {ParameterKind::Continuous, "Opt make-up 2", "Opt stage make-up gain, channel 2: 0 to 15 dB.", "dB", {}},
    {ParameterKind::Continuous, "Dis threshold 2", "Dis stage threshold, channel 2: -40 dB at 0 to 0 dB at 1.", "dB", {}},
    {ParameterKind::SixPositions, "Dis attack 2", "Dis stage attack time, channel 2.", "", {}},
    {ParameterKind::SixPositions, "Dis ratio 2", "Dis stage ratio, channel 2.", "", {}},
    {ParameterKind::SixPositions, "Dis release 2", "Dis stage release time, channel 2.", "", {}},
    {ParameterKind::Continuous, "Dis make-up 2", "Dis stage make-up gain, channel 2: 0 to 15 dB.", "dB", {}},
    {ParameterKind::ThreePositions, "Opt mode", "Smoothing and detector bands of the Opt stage, both channels.", "",
     {"SLOW", "MED", "FAST"}},
    {ParameterKind::ThreePositions, "Meter mode", "What the two meters show (meter 1 / meter 2).", "",
     {"OPT 1 / OPT 2", "DIS 1 / DIS 2", "OPT 1 / DIS 1"}},
    {ParameterKind::ThreePositions, "Transformer 1", "Transformer stage, channel 1: how hard it rounds off the peaks.",
     "", {"HEAVY", "MEDIUM", "GENTLE"}},
    {ParameterKind::ThreePositions, "Transformer 2", "Transformer stage, channel 2: how hard it rounds off the peaks.",
     "", {"HEAVY", "MEDIUM", "GENTLE"}},
    {ParameterKind::Switch, "Opt bypass 1", "Bypasses the Opt stage of channel 1 (its meter still moves).", "",
     {"ACTIVE", "BYPASSED"}},
    {ParameterKind::Switch, "Side-chain filter 1",
     "Dis stage side chain of channel 1: full range, or the low band cut by 6 dB.", "", {"LO CUT", "FULL"}},
    {ParameterKind::Switch, "Dis bypass 1", "Bypasses the Dis stage of channel 1 (its meter still moves).", "",
     {"ACTIVE", "BYPASSED"}},
    {ParameterKind::Switch, "Opt bypass 2", "Bypasses the Opt stage of channel 2 (its meter still moves).", "",
     {"ACTIVE", "BYPASSED"}},
    {ParameterKind::Switch, "Side-chain filter 2",
     "Dis stage side chain of channel 2: full range, or the low band cut by 6 dB.", "", {"LO CUT", "FULL"}},
    {ParameterKind::Switch, "Dis bypass 2", "Bypasses the Dis stage of channel 2 (its meter still moves).", "",
     {"ACTIVE", "BYPASSED"}},
    {ParameterKind::Switch, "Stereo mode", "Left/right operation: one gain for both channels, or each its own.", "",
     {"LINKED", "INDEPENDENT"}},
    {ParameterKind::Switch, "Channel mode", "The stages work on mid and side, or on left and right.", "",
     {"MID/SIDE", "LEFT/RIGHT"}},
};

// A continuous value in its unit: dB = scale·v + offset.
struct Linear {
    float scale, offset;
};

Linear linearOf(int index) {
    switch (index) {
    case kOptThr1: case kOptThr2: return {50.0f, -60.0f};
    case kDisThr1: case kDisThr2: return {40.0f, -40.0f};
    case kOptGain1: case kOptGain2: case kDisGain1: case kDisGain2: return {15.0f, 0.0f};
    default: return {1.0f, 0.0f};
    }
}

// What a six-position parameter selects: 0 attack, 1 ratio, 2 release.
int sixPositionRow(int index) { return (index % 7) - kDisAtk1; }

// A time constant of a per-sample coefficient written for 44100 Hz, in ms.
double milliseconds(float coefficient) {
    return -1000.0 / (44100.0 * std::log(static_cast<double>(coefficient)));
}

// The ratio whose slope the factor takes off: 1 / (1 - factor).
double ratioOf(float factor) { return 1.0 / (1.0 - static_cast<double>(factor)); }

// The six positions' names: two significant digits below 10 ms, three above;
// a ratio whole when it is within 1 % of a whole number (0.666 reads as 3:1).
struct SixLabels {
    char text[3][6][16];
    SixLabels() {
        for (int k = 0; k < 6; ++k) {
            const DisTableRow& row = kDisTable[k];
            const double attack = milliseconds(row.attack);
            const double release = milliseconds(row.release);
            std::snprintf(text[0][k], sizeof text[0][k], attack < 10.0 ? "%.2g ms" : "%.3g ms", attack);
            std::snprintf(text[2][k], sizeof text[2][k], release < 10.0 ? "%.2g ms" : "%.3g ms", release);
            const double r = ratioOf(row.ratio);
            if (std::fabs(r - std::round(r)) < 0.01 * r)
                std::snprintf(text[1][k], sizeof text[1][k], "%.0f:1", std::round(r));
            else
                std::snprintf(text[1][k], sizeof text[1][k], "%.3g:1", r);
        }
    }
};

const SixLabels& sixLabels() {
    static const SixLabels labels;
    return labels;
}

// Copies at most size - 1 characters and the terminator.
void copyText(const char* from, char* text, std::size_t size) {
    if (size == 0) return;
    std::size_t n = std::strlen(from);
    if (n > size - 1) n = size - 1;
    std::memcpy(text, from, n);
    text[n] = 0;
}

// Case and spaces aside, a equals b.
bool sameWords(const char* a, const char* b) {
    for (;;) {
        while (*a == ' ') ++a;
        while (*b == ' ') ++b;
        if (!*a || !*b) return !*a && !*b;
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
        ++a;
        ++b;
    }
}

// A number at the start of `text` (after spaces), and what follows it.
bool leadingNumber(const char* text, double& number, const char*& rest) {
    char* end = nullptr;
    number = std::strtod(text, &end);
    if (end == text || !std::isfinite(number)) return false;
    rest = end;
    while (*rest == ' ') ++rest;
    return true;
}

bool trailingSpacesOnly(const char* s) {
    while (*s == ' ') ++s;
    return *s == 0;
}

}  // namespace

const ParameterDescription& describeParameter(int index) {
    return index >= 0 && index < kNumNamedParams ? kDescriptions[index] : kSpare;
}

int positionCount(int index) {
    switch (describeParameter(index).kind) {
    case ParameterKind::Switch: return 2;
    case ParameterKind::ThreePositions: return 3;
    case ParameterKind::SixPositions: return 6;
    case ParameterKind::Continuous: break;
    }
    return 0;
}

int positionOf(int index, float value) {
    const float v = processingValue(value);
    switch (describeParameter(index).kind) {
    case ParameterKind::Continuous: return -1;
    case ParameterKind::ThreePositions: return threeBands(v);
    case ParameterKind::SixPositions: return disIndex(v);
    case ParameterKind::Switch:
        // The stereo and channel switches are on above 0.5, the others from 0.5 up.
        return (index == kStereoMode || index == kMSMode) ? (v > 0.5f ? 1 : 0) : (v < 0.5f ? 0 : 1);
    }
    return -1;
}

float positionValue(int index, int position) {
    const int n = positionCount(index);
    if (n == 0) return 0.0f;
    if (position < 0) position = 0;
    if (position > n - 1) position = n - 1;
    if (n == 6) return static_cast<float>(position) / 5.0f;
    return n == 3 ? 0.5f * static_cast<float>(position) : static_cast<float>(position);
}

const char* positionLabel(int index, int position) {
    const int n = positionCount(index);
    if (position < 0 || position >= n) return "";
    if (n == 6) return sixLabels().text[sixPositionRow(index)][position];
    return describeParameter(index).labels[position];
}

bool positionsAreNumbers(int index) { return positionCount(index) == 6; }

void formatValue(int index, float value, char* text, std::size_t size) {
    if (positionCount(index) > 0) {
        copyText(positionLabel(index, positionOf(index, value)), text, size);
        return;
    }
    if (size == 0) return;
    const Linear l = linearOf(index);
    const double v = static_cast<double>(processingValue(value));
    const double shown = static_cast<double>(l.scale) * v + static_cast<double>(l.offset);
    const char* unit = describeParameter(index).unit;
    // -0.0 reads as 0.0.
    std::snprintf(text, size, *unit ? "%.1f %s" : "%.3f%s", shown == 0.0 ? 0.0 : shown, unit);
}

bool parseValue(int index, const char* text, float& value) {
    if (!text) return false;
    const int n = positionCount(index);
    for (int k = 0; k < n; ++k) {
        if (sameWords(text, positionLabel(index, k))) {
            value = positionValue(index, k);
            return true;
        }
    }
    double number = 0.0;
    const char* rest = nullptr;
    if (!leadingNumber(text, number, rest)) return false;
    if (n == 0) {
        const char* unit = describeParameter(index).unit;
        if (*unit && sameWords(rest, unit)) rest += std::strlen(rest);
        if (!trailingSpacesOnly(rest)) return false;
        const Linear l = linearOf(index);
        double v = (number - static_cast<double>(l.offset)) / static_cast<double>(l.scale);
        v = v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
        value = static_cast<float>(v);
        return true;
    }
    if (!positionsAreNumbers(index)) return false;
    const int row = sixPositionRow(index);
    if (*rest && !sameWords(rest, row == 1 ? ":1" : "ms")) return false;
    // The nearest position, by ratio or by time on a logarithmic scale.
    if (!(number > 0.0)) return false;
    int best = 0;
    double bestDistance = 0.0;
    for (int k = 0; k < 6; ++k) {
        const DisTableRow& r = kDisTable[k];
        const double at = row == 0 ? milliseconds(r.attack) : row == 2 ? milliseconds(r.release) : ratioOf(r.ratio);
        const double distance = std::fabs(std::log(number / at));
        if (k == 0 || distance < bestDistance) {
            best = k;
            bestDistance = distance;
        }
    }
    value = positionValue(index, best);
    return true;
}

float hostValue(int index, double value) {
    if (std::isnan(value)) return parameterDefault(index);
    if (value < 0.0) return 0.0f;
    if (value > 1.0) return 1.0f;
    return static_cast<float>(value);
}

}  // namespace kvb
