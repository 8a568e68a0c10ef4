// One program of the bank: a full set of parameter values and a name.
#pragma once

#include "interface/vst24.h"
#include "params/Parameters.h"

struct ControlsguiProgram {
    ControlsguiProgram();

    // Stores at most 23 characters of name and the terminator.
    void setName(const char* text);

    float values[kNumParams];
    char name[vst::kVstMaxProgNameLen];
};

// The text the indexed program-name query gives for a program: "Init" is
// numbered ("Init 7" for index 6); every other name comes back as stored.
// Writes at most kVstMaxProgNameLen bytes.
void indexedProgramName(const ControlsguiProgram& program, int index, char* text);
