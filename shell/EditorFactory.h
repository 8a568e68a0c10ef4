// Creates the effect's editor. The editor registers itself with the effect
// (setEditor), which owns it from then on. Kept behind a function so that the
// shell does not depend on the widget layer.
#pragma once

class AudioEffect;

void createEditor(AudioEffect* effect);
