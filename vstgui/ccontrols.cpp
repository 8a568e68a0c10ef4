#include <cmath>

#include "vstgui/vstgui.h"

namespace VSTGUI {

namespace {
constexpr float kPi = 3.14159265358979f;
}

// ---------------------------------------------------------------------------
// CControl

CControl::CControl(const CRect& r, CControlListener* l, long t, CBitmap* bg)
    : CView(r), listener(l), tag(t), background(bg) {
    if (background) background->remember();
}

CControl::~CControl() {
    if (background) background->forget();
}

bool CControl::isDirty() const { return dirty || getValue() != drawnValue; }

void CControl::setDirty(bool v) { dirty = v; }

void CControl::beginEdit() {
    if (frame) frame->beginEdit(tag);
}

void CControl::endEdit() {
    if (frame) frame->endEdit(tag);
}

void CControl::bounceValue() {
    const float v = getValue();
    if (v > vmax) setValue(vmax);
    else if (v < vmin) setValue(vmin);
    else if (v != v) setValue(vmin);  // not a number
}

// ---------------------------------------------------------------------------
// CKnob

CKnob::CKnob(const CRect& r, CControlListener* l, long t, CBitmap* bg, const CPoint& off)
    : CControl(r, l, t, bg), offset(off) {}

void CKnob::draw(CDrawContext* context) {
    markDrawn(getValue());
    if (background && background->isLoaded()) context->drawBitmap(*background, size, offset);
    setDirty(false);
}

float CKnob::valueFromAngle(const CPoint& where) const {
    const float cx = static_cast<float>(size.left + size.right) * 0.5f;
    const float cy = static_cast<float>(size.top + size.bottom) * 0.5f;
    const float dx = static_cast<float>(where.x) - cx;
    const float dy = cy - static_cast<float>(where.y);  // upward positive
    float a = std::atan2(dy, dx);                       // counter-clockwise from the right
    // The sweep runs clockwise from 225 degrees (lower left) to -45 (lower
    // right); the gap below the centre is split between the two ends.
    if (a < -0.5f * kPi) a += 2.0f * kPi;
    float v = (1.25f * kPi - a) / (1.5f * kPi);
    if (v < 0.0f) v = 0.0f;
    if (v > 1.0f) v = 1.0f;
    return v;
}

void CKnob::mouse(CDrawContext* context, CPoint& where, long buttons) {
    if (buttons == -1 || !(buttons & kLButton)) return;
    if (listener && (buttons & kModifierMask) &&
        listener->controlModifierClicked(context, this, buttons) != 0)
        return;
    if (buttons & kControl) {
        beginEdit();
        setValue(defaultValue);
        if (listener) listener->valueChanged(context, this);
        endEdit();
        return;
    }
    if (!frame) return;
    beginEdit();
    dragging = true;
    dragValue = getValue();
    restartDrag(where, buttons);
    frame->beginMouseTracking(this);
}

void CKnob::restartDrag(const CPoint& where, long buttons) {
    dragStart = where;
    dragStartValue = dragValue;
    dragModifiers = buttons & (kShift | kAlt);
    const long mode = getGlobalKnobMode();
    const bool circularMode = mode != kLinearMode;
    dragCircular = (buttons & kAlt) ? !circularMode : circularMode;
    dragRelative = mode == kRelativCircularMode;
    dragStartAngleValue = valueFromAngle(where);
}

void CKnob::onMouseMoved(CPoint& where, long buttons) {
    if (!dragging) return;
    // A modifier pressed or released mid-drag continues from here, so the
    // knob does not jump.
    if ((buttons & (kShift | kAlt)) != dragModifiers) restartDrag(where, buttons);

    float v;
    if (!dragCircular) {
        float range = kLinearRange;
        if (frame) range = kLinearRange * static_cast<float>(frame->getScalePercent()) / 100.0f;
        if (buttons & kShift) range *= kFineFactor;
        const float moved = static_cast<float>((where.x - dragStart.x) - (where.y - dragStart.y));
        v = dragStartValue + moved / range;
    } else if (dragRelative && !(dragModifiers & kAlt)) {
        v = dragStartValue + (valueFromAngle(where) - dragStartAngleValue);
    } else {
        v = valueFromAngle(where);
    }
    if (v < vmin) v = vmin;
    if (v > vmax) v = vmax;
    dragValue = v;
    if (v != getValue()) {
        setValue(v);
        if (listener) listener->valueChanged(nullptr, this);
    }
    if (frame) frame->doIdleStuff();
}

void CKnob::onMouseUp(CPoint& /*where*/, long /*buttons*/) { onMouseCancel(); }

void CKnob::onMouseCancel() {
    if (!dragging) return;
    dragging = false;
    if (frame) frame->endMouseTracking(this);
    endEdit();
}

void CKnob::step(float delta) {
    const float old = getValue();
    float v = old + delta;
    if (v < vmin) v = vmin;
    if (v > vmax) v = vmax;
    if (v == old) return;
    beginEdit();
    setValue(v);
    if (listener) listener->valueChanged(nullptr, this);
    endEdit();
}

bool CKnob::onWheel(CDrawContext* /*context*/, const CPoint& /*where*/, float distance,
                    long buttons) {
    if (!std::isfinite(distance)) return false;
    float inc = wheelInc;
    if (buttons & kShift) inc *= 0.1f;
    step(distance * inc);
    return true;
}

long CKnob::onKeyDown(VstKeyCode& key) {
    float inc = wheelInc;
    if (key.modifier & MODIFIER_SHIFT) inc *= 0.1f;
    switch (key.virt) {
    case VKEY_UP:
    case VKEY_RIGHT: step(inc); return 1;
    case VKEY_DOWN:
    case VKEY_LEFT: step(-inc); return 1;
    default: return -1;
    }
}

// ---------------------------------------------------------------------------
// CAnimKnob

CAnimKnob::CAnimKnob(const CRect& r, CControlListener* l, long t, long frames, long frameHeight,
                     CBitmap* bg, const CPoint& off)
    : CKnob(r, l, t, bg, off), subPixmaps(frames), heightOfOneImage(frameHeight) {}

long CAnimKnob::frameOffset(float v, long frames, long frameHeight) {
    if (frames < 1 || frameHeight < 1) return 0;
    if (!(v >= 0.0f)) v = 0.0f;  // also catches NaN
    if (v > 1.0f) v = 1.0f;
    const float pixels = v * static_cast<float>(frames - 1) * static_cast<float>(frameHeight);
    const long row = static_cast<long>(pixels);
    long offset = (row / frameHeight) * frameHeight;
    const long last = (frames - 1) * frameHeight;
    return offset > last ? last : offset;
}

void CAnimKnob::draw(CDrawContext* context) {
    const float v = getValue();
    markDrawn(v);
    if (background && background->isLoaded()) {
        long off = frameOffset(v, subPixmaps, heightOfOneImage);
        // Never read past the strip, whatever frame size was given.
        if (off + heightOfOneImage > background->getHeight())
            off = background->getHeight() - heightOfOneImage;
        if (off < 0) off = 0;
        context->drawBitmap(*background, size, CPoint(0, off));
    }
    setDirty(false);
}

// ---------------------------------------------------------------------------
// COnOffButton

COnOffButton::COnOffButton(const CRect& r, CControlListener* l, long t, CBitmap* bg, long s)
    : CControl(r, l, t, bg), style(s) {}

void COnOffButton::draw(CDrawContext* context) {
    const float v = getValue();
    markDrawn(v);
    if (background && background->isLoaded()) {
        const long off = v == 0.0f ? 0 : background->getHeight() / 2;
        context->drawBitmap(*background, size, CPoint(0, off));
    }
    setDirty(false);
}

void COnOffButton::mouse(CDrawContext* context, CPoint& /*where*/, long buttons) {
    if (buttons == -1 || !(buttons & kLButton)) return;
    if (listener && (buttons & kModifierMask) &&
        listener->controlModifierClicked(context, this, buttons) != 0)
        return;
    beginEdit();
    // Flips what the switch shows: anything but 0 shows as on.
    setValue(getValue() != 0.0f ? vmin : vmax);
    if (style == kPreListenerUpdate) setDirty();
    if (listener) listener->valueChanged(context, this);
    if (style != kPreListenerUpdate) setDirty();
    endEdit();
}

// ---------------------------------------------------------------------------
// CTextLabel

CTextLabel::CTextLabel(const CRect& r, const char* t, CBitmap* bg, long s)
    : CView(r), text(t ? t : ""), background(bg), style(s) {
    if (background) background->remember();
}

CTextLabel::~CTextLabel() {
    if (background) background->forget();
}

void CTextLabel::setText(const char* t) {
    text = t ? t : "";
    setDirty();
}

void CTextLabel::draw(CDrawContext* context) {
    if (background && background->isLoaded()) {
        context->drawBitmap(*background, size, CPoint(0, 0));
    } else {
        context->setFillColor(backColor);
        context->fillRect(size);
        context->setFrameColor(frameColor);
        context->drawRect(size);
    }
    context->setFont(font);
    context->setFontColor(fontColor);
    // The text keeps clear of the outline.
    const long inset = context->scaledLength(2);
    const CRect textArea(size.left + inset, size.top, size.right - inset, size.bottom);
    context->drawString(text.c_str(), textArea, align);
    setDirty(false);
}

}  // namespace VSTGUI
