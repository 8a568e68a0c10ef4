#include "shell/Controlsgui.h"

#include <cmath>
#include <cstring>
#include <new>

#include "shell/AEffEditor.h"
#include "shell/EditorFactory.h"

using namespace vst;

const char kEffectName[] = "KVB";
const char kVendorString[] = "https://kvb-audio.example";

namespace {
constexpr int32 kWheelIndex = fourCC('s', 't', 'C', 'A');
constexpr intptr kWheelValue = fourCC('W', 'h', 'e', 'e');
}  // namespace

Controlsgui::Controlsgui(AudioMasterCallback master, const EditorFactory* editors)
    : AudioEffectX(master, kNumPrograms, kNumParams),
      programs(new ControlsguiProgram[kNumPrograms]) {
    curProgram = 0;
    if (programs) loadProgram(0);
    // The engine's offsets and its 44100 Hz rate factors are set by its own
    // construction, which has already run.
    if (master) {
        setNumInputs(2);
        setNumOutputs(2);
        canProcessReplacing(true);
        setUniqueID(kUniqueId);
        setInitialDelay(kInitialDelay);
    }
    setUpProcessing();
    suspend();
    // Registers itself through setEditor; from here on the base owns it.
    if (editors) editors->createEditor(this);
}

// The engine, then the bank; the base destructor deletes the editor.
Controlsgui::~Controlsgui() = default;

// Every state of the chain at rest, as the engine's construction left it.
void Controlsgui::setUpProcessing() { engine.reset(); }

void Controlsgui::suspend() { engine.publishMeters(0.0f, 0.0f); }

void Controlsgui::resume() {
    inputConnected_ = 0.0f;
    if (isInputConnected(1)) inputConnected_ = 1.0f;
    AudioEffectX::resume();
}

void Controlsgui::setSampleRate(float rate) {
    if (!std::isfinite(rate) || rate <= 0.0f) return;
    AudioEffectX::setSampleRate(rate);
    engine.setSampleRate(rate);
}

void Controlsgui::processReplacing(float** inputs, float** outputs, int32 frames) {
    engine.process(inputs, outputs, frames);
}

void Controlsgui::setParameter(int32 index, float value) {
    if (!isParameterIndex(index)) return;
    programs[curProgram.load(std::memory_order_relaxed)].values[index].store(value, std::memory_order_relaxed);
    engine.setParameter(index, value);
    if (editor) editor->setParameter(index, value);
}

float Controlsgui::getParameter(int32 index) { return engine.parameter(index); }

void Controlsgui::setProgram(int32 program) {
    saveCurrentProgram();
    loadProgram(program);
}

void Controlsgui::loadProgram(int32 program) {
    curProgram.store(program, std::memory_order_relaxed);
    const ControlsguiProgram& p = programs[program];
    for (int i = 0; i < kNumParams; ++i) setParameter(i, p.values[i].load(std::memory_order_relaxed));
}

void Controlsgui::saveCurrentProgram() {
    ControlsguiProgram& p = programs[curProgram.load(std::memory_order_relaxed)];
    for (int i = 0; i < kNumParams; ++i)
        p.values[i].store(engine.parameter(i), std::memory_order_relaxed);
}

void Controlsgui::setProgramName(char* name) { programs[curProgram].setName(name); }

void Controlsgui::getProgramName(char* name) {
    std::memcpy(name, programs[curProgram].name, std::strlen(programs[curProgram].name) + 1);
}

void Controlsgui::getParameterDisplay(int32 index, char* text) {
    if (!isParameterIndex(index)) return;
    formatParameterDisplay(engine.parameter(index), text);
}

void Controlsgui::getParameterName(int32 index, char* text) {
    const char* name = parameterName(index);
    std::memcpy(text, name, std::strlen(name) + 1);
}

bool Controlsgui::string2parameter(int32 /*index*/, char* /*text*/) { return true; }

bool Controlsgui::getProgramNameIndexed(int32 /*category*/, int32 index, char* text) {
    if (index < 0 || index >= kNumPrograms) return false;
    indexedProgramName(programs[index], index, text);
    return true;
}

bool Controlsgui::getEffectName(char* name) {
    std::memcpy(name, kEffectName, sizeof kEffectName);
    return true;
}

bool Controlsgui::getVendorString(char* text) {
    std::memcpy(text, kVendorString, sizeof kVendorString);
    return true;
}

bool Controlsgui::getProductString(char* text) {
    std::memcpy(text, kEffectName, sizeof kEffectName);
    return true;
}

intptr Controlsgui::vendorSpecific(int32 index, intptr value, void* /*ptr*/, float opt) {
    if (editor && index == kWheelIndex && value == kWheelValue) return editor->onWheel(opt) ? 1 : 0;
    return 0;
}

int32 Controlsgui::canDo(char* text) {
    if (std::strcmp(text, "receiveVstEvents") == 0) return 1;
    if (std::strcmp(text, "receiveVstMidiEvent") == 0) return 1;
    return -1;
}

AEffect* createEffectInstance(AudioMasterCallback master, const EditorFactory* editors) {
    if (!master) return nullptr;
    if (master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    try {
        auto* effect = new Controlsgui(master, editors);
        return effect->getAeffect();
    } catch (...) {
        // An allocation failed part-way: every part already built has been
        // released by the unwinding.
        return nullptr;
    }
}
