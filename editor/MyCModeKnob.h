// A three-position selector knob (OptMode, MeterMode, Trafo1, Trafo2): an
// animated knob of three frames that shows the mode the processing runs for
// its value, 0 below 0.33, 1 below 0.66 and 2 from there on, whatever value a
// host or a saved project gives it (1/3 shows the middle frame, 2/3 the last).
// Dragging, the mouse wheel and the keys work as on any animated knob; the
// editor quantises what they give to 0, 0.5 and 1, one value per mode.
#pragma once

#include "vstgui/vstgui.h"

class MyCModeKnob : public VSTGUI::CAnimKnob {
public:
    MyCModeKnob(const VSTGUI::CRect& r, VSTGUI::CControlListener* l, long t, long frames,
                long frameHeight, VSTGUI::CBitmap* strip, const VSTGUI::CPoint& off)
        : CAnimKnob(r, l, t, frames, frameHeight, strip, off) {}

    void draw(VSTGUI::CDrawContext* context) override;

    // The frame shown for a value: the mode the processing selects with it.
    static int frameFor(float value);
};
