// Every VST 2.4 opcode the effect answers, in one place: the static functions
// that the AEffect record points at, the two dispatch tables and the host
// calls. The effect classes above this file only ever see virtual operations.
#include <cmath>
#include <cstring>

#include "shell/AEffEditor.h"
#include "shell/AudioEffect.h"

using namespace vst;

namespace {

AudioEffect* effectOf(AEffect* e) { return static_cast<AudioEffect*>(e->object); }

intptr dispatchEffect(AEffect* e, int32 opcode, int32 index, intptr value, void* ptr, float opt) {
    AudioEffect* effect = effectOf(e);
    const intptr result = effect->dispatcher(opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        delete effect;  // the record dies with it
        return 1;
    }
    return result;
}

void processAccumulating(AEffect* e, float** in, float** out, int32 frames) {
    effectOf(e)->process(in, out, frames);
}
void processReplacing(AEffect* e, float** in, float** out, int32 frames) {
    effectOf(e)->processReplacing(in, out, frames);
}
void processDoubleReplacing(AEffect* e, double** in, double** out, int32 frames) {
    effectOf(e)->processDoubleReplacing(in, out, frames);
}
void setParameter(AEffect* e, int32 index, float value) { effectOf(e)->setParameter(index, value); }
float getParameter(AEffect* e, int32 index) { return effectOf(e)->getParameter(index); }

// The key opcodes carry the key in index (character), value (virtual key) and
// opt (modifiers). A modifier that is not a representable number counts as none.
VstKeyCode keyCodeFrom(int32 index, intptr value, float opt) {
    VstKeyCode key{};
    key.character = index;
    key.virt = static_cast<unsigned char>(value & 0xFF);
    int modifier = 0;
    if (std::isfinite(opt) && opt > -2147483648.0f && opt < 2147483648.0f)
        modifier = static_cast<int>(opt);  // truncation toward zero
    key.modifier = static_cast<unsigned char>(modifier & 0xFF);
    return key;
}

intptr truth(bool b) { return b ? 1 : 0; }

}  // namespace

// ---------------------------------------------------------------------------
// AudioEffect

AudioEffect::AudioEffect(AudioMasterCallback master, int32 programs, int32 params)
    : audioMaster(master), numPrograms(programs), numParams(params), cEffect{} {
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffect;
    cEffect.process = processAccumulating;
    cEffect.setParameter = ::setParameter;
    cEffect.getParameter = ::getParameter;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = fourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = ::processReplacing;
    cEffect.processDoubleReplacing = ::processDoubleReplacing;
}

AudioEffect::~AudioEffect() {
    AEffEditor* owned = editor;
    editor = nullptr;
    delete owned;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

intptr AudioEffect::callHost(int32 opcode, int32 index, intptr value, void* ptr, float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setParameterAutomated(int32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

int32 AudioEffect::getMasterVersion() { return static_cast<int32>(callHost(audioMasterVersion)); }
int32 AudioEffect::getCurrentUniqueId() { return static_cast<int32>(callHost(audioMasterCurrentId)); }
void AudioEffect::masterIdle() { callHost(audioMasterIdle); }
// The host answers 0 for a connected pin.
bool AudioEffect::isInputConnected(int32 input) {
    return callHost(audioMasterPinConnected, input, 0) == 0;
}
bool AudioEffect::isOutputConnected(int32 output) {
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

intptr AudioEffect::dispatcher(int32 opcode, int32 index, intptr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
        if (value >= 0 && value < numPrograms) setProgram(static_cast<int32>(value));
        return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName: if (text) setProgramName(text); return 0;
    case effGetProgramName: if (text) getProgramName(text); return 0;
    case effGetParamLabel: if (text) getParameterLabel(index, text); return 0;
    case effGetParamDisplay: if (text) getParameterDisplay(index, text); return 0;
    case effGetParamName: if (text) getParameterName(index, text); return 0;
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(static_cast<int32>(value)); return 0;
    case effMainsChanged:
        if (value == 0) suspend(); else resume();
        return 0;
    case effEditGetRect:
        return editor && ptr ? truth(editor->getRect(static_cast<ERect**>(ptr))) : 0;
    case effEditOpen: return editor ? truth(editor->open(ptr)) : 0;
    case effEditClose: if (editor) editor->close(); return 0;
    case effEditIdle: if (editor) editor->idle(); return 0;
    case effIdentify: return fourCC('N', 'v', 'E', 'f');
    case effGetChunk: return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case effSetChunk: return setChunk(ptr, static_cast<int32>(value), index != 0);
    default: return 0;
    }
}

// ---------------------------------------------------------------------------
// AudioEffectX

intptr AudioEffectX::dispatcher(int32 opcode, int32 index, intptr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effProcessEvents: return processEvents(ptr);
    case effCanBeAutomated: return truth(canParameterBeAutomated(index));
    case effString2Parameter: return text ? truth(string2parameter(index, text)) : 0;
    case effGetProgramNameIndexed:
        return text ? truth(getProgramNameIndexed(static_cast<int32>(value), index, text)) : 0;
    case effGetPlugCategory: return getPlugCategory();
    case effGetEffectName: return text ? truth(getEffectName(text)) : 0;
    case effGetVendorString: return text ? truth(getVendorString(text)) : 0;
    case effGetProductString: return text ? truth(getProductString(text)) : 0;
    case effGetVendorVersion: return getVendorVersion();
    case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
    case effCanDo: return text ? canDo(text) : -1;
    case effGetTailSize: return getTailSize();
    case effGetVstVersion: return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
        if (!editor) return 0;
        VstKeyCode key = keyCodeFrom(index, value, opt);
        return truth(opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key));
    }
    case effSetEditKnobMode:
        return editor ? truth(editor->setKnobMode(static_cast<int32>(value))) : 0;
    case effGetCurrentMidiProgram: return getCurrentMidiProgram();
    case effGetSpeakerArrangement:
        // Two addresses of arrangement pointers; a null address is skipped.
        if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = nullptr;
        if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = nullptr;
        return 0;
    case effSetTotalSampleToProcess: return static_cast<int32>(value);
    case effGetNumMidiInputChannels: return getNumMidiInputChannels();
    case effGetNumMidiOutputChannels: return getNumMidiOutputChannels();
    default:
        // The remaining opcodes of 25 to 79 do nothing; everything else is the base's.
        if (opcode >= effProcessEvents && opcode <= effGetNumMidiOutputChannels) return 0;
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume() {
    if ((cEffect.flags & effFlagsIsSynth) != 0 ||
        canDo(const_cast<char*>("receiveVstMidiEvent")) == 1)
        wantEvents(1);
}

int32 AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

bool AudioEffectX::wantEvents(int32 filter) { return callHost(audioMasterWantMidi, 0, filter) != 0; }
bool AudioEffectX::canHostDo(char* text) { return callHost(audioMasterCanDo, 0, 0, text) != 0; }
bool AudioEffectX::sizeWindow(int32 width, int32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}
bool AudioEffectX::beginEdit(int32 index) { return callHost(audioMasterBeginEdit, index) != 0; }
bool AudioEffectX::endEdit(int32 index) { return callHost(audioMasterEndEdit, index) != 0; }

// ---------------------------------------------------------------------------
// AEffEditor

AEffEditor::AEffEditor(AudioEffect* owner) : effect(owner) {
    if (effect) effect->setEditor(this);
}

AEffEditor::~AEffEditor() {
    if (effect && effect->getEditor() == this) effect->setEditor(nullptr);
}

bool AEffEditor::getRect(ERect** r) {
    *r = &rect;
    return true;
}

bool AEffEditor::open(void* ptr) {
    systemWindow = ptr;
    return false;
}

void AEffEditor::close() { systemWindow = nullptr; }
