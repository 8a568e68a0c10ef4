#include "vstgui/aeffguieditor.h"

namespace VSTGUI {

AEffGUIEditor::AEffGUIEditor(const ModuleResources& m) : module(m) {}

AEffGUIEditor::~AEffGUIEditor() {
    if (frame) AEffGUIEditor::close();
}

bool AEffGUIEditor::getRect(vst::ERect** r) {
    *r = &rect;
    return true;
}

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

bool AEffGUIEditor::onKeyDown(vst::VstKeyCode& key) { return frame && frame->onKeyDown(key) == 1; }
bool AEffGUIEditor::onKeyUp(vst::VstKeyCode& key) { return frame && frame->onKeyUp(key) == 1; }
bool AEffGUIEditor::onWheel(float distance) { return frame && frame->onWheel(distance); }

bool AEffGUIEditor::setKnobMode(vst::int32 mode) {
    if (mode < kCircularMode || mode > kLinearMode) return false;
    setGlobalKnobMode(mode);
    return true;
}

void AEffGUIEditor::doIdleStuff() { idle(); }

}  // namespace VSTGUI
