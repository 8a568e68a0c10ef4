#include "shell/EditorFactory.h"

// The editor arrives with the widget layer; until then the effect has none.
void createEditor(AudioEffect* /*effect*/) {}
