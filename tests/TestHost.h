// A host callback for in-process tests: answers like a VST 2.4 host of
// version 2400 and records every call.
#pragma once

#include <vector>

#include "interface/vst24.h"

struct TestHost {
    struct Call {
        vst::AEffect* effect;
        vst::int32 opcode;
        vst::int32 index;
        vst::intptr value;
        float opt;
    };
    static inline std::vector<Call> calls;
    static inline vst::intptr version = 2400;
    static inline vst::intptr pinAnswer = 0;  // 0: connected

    static void reset() {
        calls.clear();
        version = 2400;
        pinAnswer = 0;
    }

    static vst::intptr callback(vst::AEffect* effect, vst::int32 opcode, vst::int32 index,
                                vst::intptr value, void* /*ptr*/, float opt) {
        calls.push_back({effect, opcode, index, value, opt});
        switch (opcode) {
        case vst::audioMasterVersion: return version;
        case vst::audioMasterPinConnected: return pinAnswer;
        case vst::audioMasterBeginEdit:
        case vst::audioMasterEndEdit:
        case vst::audioMasterCanDo: return 1;
        default: return 0;
        }
    }
};
