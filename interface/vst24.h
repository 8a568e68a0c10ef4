// The VST 2.4 binary interface as hosts and plug-ins exchange it: the effect
// record, the callback signatures, opcodes, flags and published text lengths.
// Written from the published layout; nothing here depends on any other header
// of the interface.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vst {

using int32 = std::int32_t;
using intptr = std::intptr_t;

struct AEffect;

using AudioMasterCallback = intptr (*)(AEffect* effect, int32 opcode, int32 index, intptr value,
                                       void* ptr, float opt);
using DispatcherProc = intptr (*)(AEffect* effect, int32 opcode, int32 index, intptr value,
                                  void* ptr, float opt);
using ProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, int32 sampleFrames);
using ProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs,
                                   int32 sampleFrames);
using SetParameterProc = void (*)(AEffect* effect, int32 index, float value);
using GetParameterProc = float (*)(AEffect* effect, int32 index);

// Four characters packed with the first one in the highest byte.
constexpr int32 fourCC(char a, char b, char c, char d) {
    return static_cast<int32>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                              (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                              (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                              static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

constexpr int32 kEffectMagic = fourCC('V', 's', 't', 'P');

struct AEffect {
    int32 magic;
    DispatcherProc dispatcher;
    ProcessProc process;  // accumulating, deprecated
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    int32 numPrograms;
    int32 numParams;
    int32 numInputs;
    int32 numOutputs;
    int32 flags;
    intptr resvd1;
    intptr resvd2;
    int32 initialDelay;
    int32 realQualities;
    int32 offQualities;
    float ioRatio;
    void* object;
    void* user;
    int32 uniqueID;
    int32 version;
    ProcessProc processReplacing;
    ProcessDoubleProc processDoubleReplacing;
    char future[56];
};

#if INTPTR_MAX == INT64_MAX
static_assert(sizeof(AEffect) == 192, "AEffect must be 192 bytes on a 64-bit target");
static_assert(offsetof(AEffect, dispatcher) == 8, "AEffect::dispatcher offset");
static_assert(offsetof(AEffect, numPrograms) == 40, "AEffect::numPrograms offset");
static_assert(offsetof(AEffect, flags) == 56, "AEffect::flags offset");
static_assert(offsetof(AEffect, resvd1) == 64, "AEffect::resvd1 offset");
static_assert(offsetof(AEffect, initialDelay) == 80, "AEffect::initialDelay offset");
static_assert(offsetof(AEffect, ioRatio) == 92, "AEffect::ioRatio offset");
static_assert(offsetof(AEffect, object) == 96, "AEffect::object offset");
static_assert(offsetof(AEffect, user) == 104, "AEffect::user offset");
static_assert(offsetof(AEffect, uniqueID) == 112, "AEffect::uniqueID offset");
static_assert(offsetof(AEffect, version) == 116, "AEffect::version offset");
static_assert(offsetof(AEffect, processReplacing) == 120, "AEffect::processReplacing offset");
static_assert(offsetof(AEffect, processDoubleReplacing) == 128,
              "AEffect::processDoubleReplacing offset");
static_assert(offsetof(AEffect, future) == 136, "AEffect::future offset");
#endif

// Flags of AEffect::flags.
enum : int32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsCanDoubleReplacing = 1 << 12,
};

// Requests from the host to the effect (dispatcher opcodes).
enum EffectOpcode : int32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetProgramNameIndexed = 29,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effGetParameterProperties = 56,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effGetSpeakerArrangement = 69,
    effShellGetNextPlugin = 70,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetTotalSampleToProcess = 73,
    effSetPanLaw = 74,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
    effSetProcessPrecision = 77,
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79,
};

// Requests from the effect to the host (audioMaster opcodes).
enum HostOpcode : int32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterIOChanged = 13,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
};

enum PlugCategory : int32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
};

// Published text lengths, terminator included.
constexpr int kVstMaxProgNameLen = 24;
constexpr int kVstMaxParamStrLen = 8;
constexpr int kVstMaxVendorStrLen = 64;
constexpr int kVstMaxProductStrLen = 64;
constexpr int kVstMaxEffectNameLen = 32;

// Editor rectangle: top, left, bottom, right.
struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};
static_assert(sizeof(ERect) == 8, "ERect is four 16-bit values");

struct VstKeyCode {
    int32 character;
    unsigned char virt;
    unsigned char modifier;
};
static_assert(sizeof(VstKeyCode) == 8, "VstKeyCode is 8 bytes with padding");
static_assert(offsetof(VstKeyCode, virt) == 4 && offsetof(VstKeyCode, modifier) == 5,
              "VstKeyCode layout");

// Speaker arrangements are only ever passed by pointer here.
struct VstSpeakerArrangement;

}  // namespace vst
