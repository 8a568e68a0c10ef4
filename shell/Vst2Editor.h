// The plug-in's editor as the VST 2.4 effect holds it: the editor requests of
// the dispatcher (effEditOpen, effEditIdle, ...) reach the editor, and the
// editor's gestures reach the host as audioMasterBeginEdit,
// audioMasterAutomate (through setParameterAutomated) and
// audioMasterEndEdit. The format has no word for the scale: the editor takes
// the desktop's (platform::desktopScale), and asks the host for the window's
// new size (audioMasterSizeWindow) where the parent's monitor wants another
// than the one effEditGetRect told.
#pragma once

#include "editor/ControlsguiEditor.h"
#include "shell/AEffEditor.h"
#include "shell/EditorFactory.h"

class Controlsgui;

class Vst2Editor final : public AEffEditor, private EditorHost {
public:
    // Registers itself with `owner`, which owns it from then on. `skin`
    // must outlive it.
    Vst2Editor(Controlsgui* owner, const VSTGUI::ModuleResources& skin);
    ~Vst2Editor() override;

    // The rectangle at the desktop's scale (VST 2.4 hosts do not tell it).
    bool getRect(vst::ERect** r) override;
    bool open(void* parent) override;
    void close() override;
    bool isOpen() override { return editor_.isOpen(); }
    void idle() override { editor_.idle(); }
    bool onKeyDown(vst::VstKeyCode& key) override { return editor_.onKeyDown(key); }
    bool onKeyUp(vst::VstKeyCode& key) override { return editor_.onKeyUp(key); }
    bool onWheel(float distance) override { return editor_.onWheel(distance); }
    bool setKnobMode(vst::int32 mode) override { return editor_.setKnobMode(mode); }
    // From the effect, each time one of its parameters is set, on whatever
    // thread set it.
    void setParameter(vst::int32 index, float /*value*/) override { editor_.parameterChanged(index); }

    ControlsguiEditor& editor() { return editor_; }

private:
    void beginEdit(int index) override;
    void performEdit(int index, float value) override;
    void endEdit(int index) override;
    float parameter(int index) const override;
    float meter(int which) const override;
    void idleHost() override;
    void desktopScaleChanged() override;

    Controlsgui* kvb;
    ControlsguiEditor editor_;
    bool scaleKnown = false;
    int reportedWidth = 0, reportedHeight = 0;
};

// What the VST 2.4 glue hands the effect: every effect built with it gets a
// Vst2Editor showing the skin of the module given here.
class Vst2EditorFactory final : public EditorFactory {
public:
    // `skin` must outlive every editor made.
    explicit Vst2EditorFactory(const VSTGUI::ModuleResources& skin) : module(skin) {}
    void createEditor(AudioEffect* effect) const override;

private:
    const VSTGUI::ModuleResources& module;
};
