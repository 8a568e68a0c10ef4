#include "params/Parameters.h"

#include <cstdio>
#include <cstring>

const char* parameterName(int index) {
    return index >= 0 && index < kNumNamedParams ? kParameterTable[index].name : "-";
}

float parameterDefault(int index) {
    return index >= 0 && index < kNumNamedParams ? kParameterTable[index].defaultValue : 0.5f;
}

void formatParameterDisplay(float value, char* text) {
    char wide[64];
    // Fixed point as designed, then ever fewer significant digits.
    static const char* const formats[] = {"%.3f", "%.6g", "%.5g", "%.4g", "%.3g", "%.2g", "%.1g"};
    for (const char* format : formats) {
        const int n = std::snprintf(wide, sizeof wide, format, static_cast<double>(value));
        if (n >= 0 && static_cast<std::size_t>(n) < kDisplayBytes) {
            std::memcpy(text, wide, static_cast<std::size_t>(n) + 1);
            return;
        }
    }
    // Unreachable for any float ("-3e+38" is the longest short form), but
    // never write past the bound.
    std::memcpy(text, wide, kDisplayBytes - 1);
    text[kDisplayBytes - 1] = 0;
}
