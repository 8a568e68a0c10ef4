// The editor base that binds a CFrame to the host's editor requests.
#pragma once

#include <cstdint>

#include "shell/AEffEditor.h"
#include "vstgui/vstgui.h"

class AudioEffectX;

namespace VSTGUI {

class AEffGUIEditor : public AEffEditor {
public:
    // `module`: the module the editor belongs to, for its window and its
    // bitmaps; it must outlive the editor.
    AEffGUIEditor(AudioEffect* effect, const ModuleResources& module);
    ~AEffGUIEditor() override;

    // Remembers the parent window; a derived editor builds its frame.
    bool open(void* ptr) override;
    // Deletes the frame (and with it every view).
    void close() override;
    bool isOpen() override { return frame != nullptr; }
    // Input and redrawing of the frame.
    void idle() override;

    bool onKeyDown(VstKeyCode& key) override;
    bool onKeyUp(VstKeyCode& key) override;
    bool onWheel(float distance) override;
    bool setKnobMode(vst::int32 mode) override;

    // Forwarded to the effect, which tells the host.
    virtual bool beginEdit(long index);
    virtual bool endEdit(long index);
    // Idles the editor (unless it is idling already) and lets the host idle.
    virtual void doIdleStuff();

    std::uint32_t getTicks() const { return VSTGUI::getTicks(); }
    CFrame* getFrame() const { return frame; }
    const ModuleResources& getModule() const { return module; }

protected:
    AudioEffectX* effectX() const;

    CFrame* frame = nullptr;

private:
    const ModuleResources& module;
    bool inIdle = false;
};

}  // namespace VSTGUI
