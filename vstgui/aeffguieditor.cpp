#include "vstgui/aeffguieditor.h"

#include "shell/AudioEffect.h"

namespace VSTGUI {

AEffGUIEditor::AEffGUIEditor(AudioEffect* e, const ModuleResources& m) : AEffEditor(e), module(m) {}

AEffGUIEditor::~AEffGUIEditor() {
    if (frame) AEffGUIEditor::close();
}

AudioEffectX* AEffGUIEditor::effectX() const { return dynamic_cast<AudioEffectX*>(effect); }

bool AEffGUIEditor::open(void* ptr) {
    systemWindow = ptr;
    return true;
}

void AEffGUIEditor::close() {
    if (frame) {
        CFrame* f = frame;
        frame = nullptr;
        f->forget();
    }
    systemWindow = nullptr;
}

void AEffGUIEditor::idle() {
    if (inIdle) return;  // reached again from inside the frame's input handling
    inIdle = true;
    if (frame) frame->idle();
    inIdle = false;
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& key) { return frame && frame->onKeyDown(key) == 1; }
bool AEffGUIEditor::onKeyUp(VstKeyCode& key) { return frame && frame->onKeyUp(key) == 1; }
bool AEffGUIEditor::onWheel(float distance) { return frame && frame->onWheel(distance); }

bool AEffGUIEditor::setKnobMode(vst::int32 mode) {
    if (mode < kCircularMode || mode > kLinearMode) return false;
    setGlobalKnobMode(mode);
    return true;
}

bool AEffGUIEditor::beginEdit(long index) {
    AudioEffectX* e = effectX();
    return e && e->beginEdit(static_cast<vst::int32>(index));
}

bool AEffGUIEditor::endEdit(long index) {
    AudioEffectX* e = effectX();
    return e && e->endEdit(static_cast<vst::int32>(index));
}

void AEffGUIEditor::doIdleStuff() {
    idle();
    if (effect) effect->masterIdle();
}

}  // namespace VSTGUI
