#include "shell/EditorFactory.h"

#include "editor/ControlsguiEditor.h"

// The editor registers itself with the effect, which owns it from then on.
void createEditor(AudioEffect* effect) { new ControlsguiEditor(effect); }
