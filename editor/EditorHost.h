// What the editor needs of the plug-in it shows, whatever the format: each
// format's glue implements it over its host.
//
//   VST 2.4  audioMasterBeginEdit, setParameterAutomated (audioMasterAutomate),
//            audioMasterEndEdit; the effect's values and meters
//   LV2      ui:touch, the host's port write function; the port values and
//            meter ports the host sends the UI
//   VST3     the component handler's beginEdit, performEdit, endEdit
//   CLAP     parameter events with gesture begin and end
//
// A user's gesture on a control is one beginEdit, any number of performEdit
// (each with a value other than the parameter's current one) and one endEdit,
// all on the editor's thread. Tags 26 and 27 (the meters' own controls) are
// parameters of the plug-in that only some formats show their host.
#pragma once

class EditorHost {
public:
    virtual void beginEdit(int index) = 0;
    // The user set parameter `index` (0 to 27) to `value` (0 to 1): the
    // plug-in takes it, and its host hears of it (as automation, where it
    // records any).
    virtual void performEdit(int index, float value) = 0;
    virtual void endEdit(int index) = 0;
    // The parameter's current value.
    virtual float parameter(int index) const = 0;
    // The gain reduction meter 0 or 1 shows, in dB.
    virtual float meter(int which) const = 0;
    // While a control tracks the mouse the editor's own idle runs from the
    // widgets; a host that wants to idle too (VST 2.4's audioMasterIdle) is
    // called here.
    virtual void idleHost() {}
    // The desktop's scale for the open window may have changed (Windows: it
    // went to a monitor of another DPI). A format whose host tells no scale
    // (VST 2.4) takes the desktop's again; the others hear of the scale
    // from their host.
    virtual void desktopScaleChanged() {}

protected:
    ~EditorHost() = default;
};
