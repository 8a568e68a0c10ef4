// A needle meter: an animated knob that the mouse cannot move. A click or
// drag on it does nothing and goes to no view below it; the wheel and the
// keyboard still work as on a knob.
#pragma once

#include "vstgui/vstgui.h"

class MyCAnimMeter : public VSTGUI::CAnimKnob {
public:
    MyCAnimMeter(const VSTGUI::CRect& r, VSTGUI::CControlListener* l, long t, long frames,
                 long frameHeight, VSTGUI::CBitmap* strip, const VSTGUI::CPoint& off)
        : CAnimKnob(r, l, t, frames, frameHeight, strip, off) {}

    void mouse(VSTGUI::CDrawContext* /*context*/, VSTGUI::CPoint& /*where*/,
               long /*buttons*/ = -1) override {}
};
