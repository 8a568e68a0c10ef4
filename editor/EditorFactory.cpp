#include "editor/EditorFactory.h"

#include "editor/ControlsguiEditor.h"

// The editor registers itself with the effect, which owns it from then on.
void ControlsguiEditorFactory::createEditor(AudioEffect* effect) const {
    new ControlsguiEditor(effect, module);
}
