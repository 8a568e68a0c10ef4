// The plug-in's editor as the format glue hands it to the effect: every
// effect built with this factory gets a ControlsguiEditor showing the skin of
// the module given here.
#pragma once

#include "shell/EditorFactory.h"
#include "vstgui/vstgui.h"

class ControlsguiEditorFactory final : public EditorFactory {
public:
    // `skin` must outlive every editor made.
    explicit ControlsguiEditorFactory(const VSTGUI::ModuleResources& skin) : module(skin) {}
    void createEditor(AudioEffect* effect) const override;

private:
    const VSTGUI::ModuleResources& module;
};
