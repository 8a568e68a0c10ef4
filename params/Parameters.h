// The 51 parameters: names, defaults and the helpers that turn a normalised
// value into the display text. How the processing reads each value lives with
// the processing (dsp/BlockSettings).
#pragma once

#include <cstddef>

constexpr int kNumParams = 51;
constexpr int kNumPrograms = 50;

enum ParamIndex : int {
    kOptThr1 = 0,
    kOptGain1,
    kDisThr1,
    kDisAtk1,
    kDisRat1,
    kDisRls1,
    kDisGain1,
    kOptThr2,
    kOptGain2,
    kDisThr2,
    kDisAtk2,
    kDisRat2,
    kDisRls2,
    kDisGain2,
    kOptMode,
    kMeterMode,
    kTrafo1,
    kTrafo2,
    kOptByp1,
    kSCFilt1,
    kDisByp1,
    kOptByp2,
    kSCFilt2,
    kDisByp2,
    kStereoMode,
    kMSMode,
    kMeter1Param,
    kMeter2Param,
};

// Number of parameters that have a name of their own; the rest are "-".
constexpr int kNumNamedParams = 26;

struct ParameterInfo {
    const char* name;
    float defaultValue;
};

// Entries 0 to 25; every later parameter is "-" with default 0.5.
constexpr ParameterInfo kParameterTable[kNumNamedParams] = {
    {"OptThr1", 1.0f},    {"OptGain1", 0.0f}, {"DisThr1", 1.0f},   {"DisAtk1", 0.4f},
    {"DisRat1", 0.8f},    {"DisRls1", 0.6f},  {"DisGain1", 0.0f},  {"OptThr2", 1.0f},
    {"OptGain2", 0.0f},   {"DisThr2", 1.0f},  {"DisAtk2", 0.4f},   {"DisRat2", 0.8f},
    {"DisRls2", 0.6f},    {"DisGain2", 0.0f}, {"OptMode", 0.0f},   {"MeterMode", 1.0f},
    {"Trafo1", 1.0f},     {"Trafo2", 1.0f},   {"OptByp1", 0.0f},   {"SCFilt1", 1.0f},
    {"DisByp1", 1.0f},    {"OptByp2", 0.0f},  {"SCFilt2", 1.0f},   {"DisByp2", 1.0f},
    {"StereoMode", 0.0f}, {"MSMode", 1.0f},
};

constexpr bool isParameterIndex(int index) { return index >= 0 && index < kNumParams; }

// Name of a parameter; "-" for every index outside 0 to 25.
const char* parameterName(int index);
float parameterDefault(int index);

// Longest display written into a host buffer, terminator included: the
// published parameter-text length, which hosts cannot enlarge.
constexpr std::size_t kDisplayBytes = 8;

// Formats a value as "%.3f" when that fits in kDisplayBytes; a value too large
// for that gets as many significant digits as fit ("1234.5", "1e+30").
void formatParameterDisplay(float value, char* text);
