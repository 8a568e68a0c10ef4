// The editor as the effect sees it: the operations the dispatcher's editor
// opcodes reach. The widget layer's AEffGUIEditor fills them in; this base gives
// each a neutral default so that the shell needs nothing from the widget layer.
#pragma once

#include "interface/vst24.h"

class AudioEffect;

class AEffEditor {
public:
    // Registers itself with the effect (setEditor), which from then on owns it.
    explicit AEffEditor(AudioEffect* effect);
    // Unregisters itself when the effect still points at it (a failed
    // construction of a derived editor must not leave the effect dangling).
    virtual ~AEffEditor();

    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    virtual AudioEffect* getEffect() { return effect; }

    // effEditGetRect, host UI thread, usually before open: points *rect at the
    // editor's own rectangle.
    virtual bool getRect(vst::ERect** rect);
    // effEditOpen, host UI thread: ptr is the parent window (HWND or X11 XID).
    virtual bool open(void* ptr);
    // effEditClose, host UI thread.
    virtual void close();
    virtual bool isOpen() { return systemWindow != nullptr; }
    // effEditIdle, host UI thread, typically 20 to 60 times a second while open.
    virtual void idle() {}
    // effEditKeyDown / effEditKeyUp, host UI thread.
    virtual bool onKeyDown(vst::VstKeyCode& /*keyCode*/) { return false; }
    virtual bool onKeyUp(vst::VstKeyCode& /*keyCode*/) { return false; }
    // The host's wheel message, through the effect's vendorSpecific.
    virtual bool onWheel(float /*distance*/) { return false; }
    // effSetEditKnobMode, host UI thread.
    virtual bool setKnobMode(vst::int32 /*mode*/) { return false; }
    // Called by the effect each time one of its parameters is set, from
    // whatever thread set it.
    virtual void setParameter(vst::int32 /*index*/, float /*value*/) {}

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
    vst::ERect rect{0, 0, 0, 0};
};
