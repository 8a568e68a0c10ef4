// One program of the bank: a full set of parameter values and a name.
#pragma once

#include <atomic>

#include "interface/vst24.h"
#include "params/Parameters.h"

struct ControlsguiProgram {
    ControlsguiProgram();
    // Copies hold the values as they were at the moment of the copy.
    ControlsguiProgram(const ControlsguiProgram& other);
    ControlsguiProgram& operator=(const ControlsguiProgram& other);

    // Stores at most 23 characters of name and the terminator.
    void setName(const char* text);

    // Written by setParameter, which hosts call from any thread (automation
    // from the audio thread while the user interface changes programs).
    std::atomic<float> values[kNumParams];
    char name[vst::kVstMaxProgNameLen];
};

// The text the indexed program-name query gives for a program: "Init" is
// numbered ("Init 7" for index 6); every other name comes back as stored.
// Writes at most kVstMaxProgNameLen bytes.
void indexedProgramName(const ControlsguiProgram& program, int index, char* text);
