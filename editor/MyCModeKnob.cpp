#include "editor/MyCModeKnob.h"

#include "dsp/BlockSettings.h"

using namespace VSTGUI;

int MyCModeKnob::frameFor(float value) { return threeBands(processingValue(value)); }

void MyCModeKnob::draw(CDrawContext* context) {
    const float v = getValue();
    markDrawn(v);
    if (background && background->isLoaded()) {
        const long height = getHeightOfOneImage();
        long off = frameFor(v) * height;
        // Never read past the strip, whatever frame size was given.
        if (off + height > background->getHeight()) off = background->getHeight() - height;
        if (off < 0) off = 0;
        context->drawBitmap(*background, size, CPoint(0, off));
    }
    setDirty(false);
}
