// How an effect gets its editor. The shell knows no editor: the format glue
// that builds an effect hands it a factory, or none for an effect without an
// editor (as the LV2 processing binary builds it). The editor registers
// itself with the effect (setEditor), which owns it from then on.
#pragma once

class AudioEffect;

class EditorFactory {
public:
    virtual void createEditor(AudioEffect* effect) const = 0;

protected:
    ~EditorFactory() = default;
};
