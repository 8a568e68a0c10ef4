#include "params/Programs.h"

#include <cstdio>
#include <cstring>

ControlsguiProgram::ControlsguiProgram() : values{}, name{} {
    for (int i = 0; i < kNumParams; ++i) values[i].store(parameterDefault(i), std::memory_order_relaxed);
    setName("Default");
}

ControlsguiProgram::ControlsguiProgram(const ControlsguiProgram& other) : values{}, name{} {
    *this = other;
}

ControlsguiProgram& ControlsguiProgram::operator=(const ControlsguiProgram& other) {
    for (int i = 0; i < kNumParams; ++i)
        values[i].store(other.values[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
    std::memcpy(name, other.name, sizeof name);
    return *this;
}

void ControlsguiProgram::setName(const char* text) {
    std::size_t n = 0;
    while (n < sizeof name - 1 && text[n] != 0) ++n;
    std::memcpy(name, text, n);
    name[n] = 0;
}

void indexedProgramName(const ControlsguiProgram& program, int index, char* text) {
    if (std::strcmp(program.name, "Init") == 0)
        std::snprintf(text, vst::kVstMaxProgNameLen, "%s %d", program.name, index + 1);
    else
        std::memcpy(text, program.name, std::strlen(program.name) + 1);
}
