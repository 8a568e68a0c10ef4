// The editor base: a frame of views in a window inside the host's, and the
// requests every plug-in format makes of an editor (open in a parent window,
// close, idle, keys, the wheel). The format's glue holds the editor and turns
// its host's calls into these; the editor itself never learns which format
// it is in.
//
// Threads: every call comes on the host's user-interface thread.
#pragma once

#include <cstdint>

#include "interface/vst24.h"
#include "vstgui/vstgui.h"

namespace VSTGUI {

class AEffGUIEditor {
public:
    // `module`: the module the editor belongs to, for its window and its
    // bitmaps; it must outlive the editor.
    explicit AEffGUIEditor(const ModuleResources& module);
    virtual ~AEffGUIEditor();

    AEffGUIEditor(const AEffGUIEditor&) = delete;
    AEffGUIEditor& operator=(const AEffGUIEditor&) = delete;

    // Points *rect at the editor's own rectangle (its size in pixels).
    virtual bool getRect(vst::ERect** rect);
    int width() const { return rect.right - rect.left; }
    int height() const { return rect.bottom - rect.top; }

    // Remembers the parent window (an HWND, or an X11 window id cast to a
    // pointer); a derived editor builds its frame and answers whether it did.
    virtual bool open(void* parent);
    // Deletes the frame (and with it every view).
    virtual void close();
    virtual bool isOpen() { return frame != nullptr; }
    // Input and redrawing of the frame; hosts call it 20 to 60 times a
    // second while the window is open.
    virtual void idle();

    virtual bool onKeyDown(vst::VstKeyCode& key);
    virtual bool onKeyUp(vst::VstKeyCode& key);
    virtual bool onWheel(float distance);
    // 0 circular, 1 relative circular, 2 linear.
    virtual bool setKnobMode(vst::int32 mode);

    // A control's gesture starts and ends (tag = its parameter). Nothing to
    // tell here; the plug-in's editor tells its host.
    virtual bool beginEdit(long /*index*/) { return false; }
    virtual bool endEdit(long /*index*/) { return false; }
    // Idles the editor (unless it is idling already) while a control tracks
    // the mouse.
    virtual void doIdleStuff();
    // The desktop's scale for the open window may have changed; nothing to
    // do here (see ControlsguiEditor).
    virtual void desktopScaleChanged() {}

    // For formats whose hosts do not call idle: while the window is open, it
    // idles itself about every `intervalMs` from the system's event loop.
    // False where the platform leaves that to the host (X11; see eventFd).
    bool idleOnOwnTimer(unsigned intervalMs) { return frame && frame->startTimer(intervalMs); }
    // While open on X11: the descriptor that becomes readable when input for
    // the window waits (for a host run loop to watch), else -1.
    int eventFd() const { return frame ? frame->getEventFd() : -1; }

    std::uint32_t getTicks() const { return VSTGUI::getTicks(); }
    CFrame* getFrame() const { return frame; }
    const ModuleResources& getModule() const { return module; }
    // The parent window given to open, while open.
    void* getParentWindow() const { return systemWindow; }

protected:
    CFrame* frame = nullptr;
    vst::ERect rect{0, 0, 0, 0};

private:
    const ModuleResources& module;
    void* systemWindow = nullptr;
    bool inIdle = false;
};

}  // namespace VSTGUI
