#include "vstgui/aeffguieditor.h"
#include "vstgui/vstgui.h"

namespace VSTGUI {

CFrame::CFrame(const CRect& r, void* systemWindow, AEffGUIEditor* ed, int percent)
    : CView(r),
      editor(ed),
      scalePercent(percent > 0 ? percent : 100),
      window(platform::createWindow(ed ? ed->getModule().moduleHandle() : nullptr)) {
    if (window &&
        !window->open(systemWindow, static_cast<int>(r.width()), static_cast<int>(r.height()), this))
        window.reset();
}

CFrame::~CFrame() {
    removeAllViews();
    if (background) background->forget();
    background = nullptr;
    if (window) window->close();
    window.reset();
}

void CFrame::removeAllViews() {
    // A gesture still running when the views go is ended for the host.
    if (tracking) {
        CView* v = tracking;
        tracking = nullptr;
        v->onMouseCancel();
    }
    focus = nullptr;
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        (*it)->setFrame(nullptr);
        (*it)->forget();
    }
    views.clear();
    needsFullRedraw = true;
}

bool CFrame::rescale(const CRect& newSize, int percent) {
    if (!window || newSize.isEmpty() || percent <= 0) return false;
    if (!window->resize(static_cast<int>(newSize.width()), static_cast<int>(newSize.height())))
        return false;
    size = newSize;
    scalePercent = percent;
    needsFullRedraw = true;
    return true;
}

void* CFrame::getNativeWindow() const { return window ? window->nativeHandle() : nullptr; }

void CFrame::setBackground(CBitmap* bitmap) {
    if (bitmap == background) return;
    if (bitmap) bitmap->remember();
    if (background) background->forget();
    background = bitmap;
    needsFullRedraw = true;
}

bool CFrame::addView(CView* view) {
    if (!view) return false;
    views.push_back(view);
    view->setFrame(this);
    view->setDirty(true);
    return true;
}

CView* CFrame::getView(long index) const {
    if (index < 0 || index >= getNbViews()) return nullptr;
    return views[static_cast<std::size_t>(index)];
}

CView* CFrame::getViewAt(const CPoint& where) const {
    for (auto it = views.rbegin(); it != views.rend(); ++it)
        if ((*it)->getMouseEnabled() && (*it)->getViewSize().pointInside(where)) return *it;
    return nullptr;
}

void CFrame::drawArea(CDrawContext& context, const CRect& area) {
    context.setClip(area);
    if (background && background->isLoaded()) {
        context.drawBitmap(*background, area, area.topLeft());
    } else {
        context.setFillColor(kBlackCColor);
        context.fillRect(area);
    }
    for (CView* v : views)
        if (v->getViewSize().intersects(area)) v->draw(&context);
    context.resetClip();
}

void CFrame::redrawAll() {
    needsFullRedraw = true;
    idle();
}

void CFrame::idle() {
    if (!window) return;
    window->handleEvents();
    if (!window) return;

    const CRect whole(0, 0, size.width(), size.height());
    std::vector<CRect> areas;
    if (needsFullRedraw) {
        areas.push_back(whole);
    } else {
        for (CView* v : views) {
            if (!v->isDirty()) continue;
            const CRect area = v->getViewSize().intersection(whole);
            if (!area.isEmpty()) areas.push_back(area);
            else v->setDirty(false);
        }
    }
    if (areas.empty()) return;

    CRect bounds;
    for (const CRect& area : areas) bounds = bounds.unite(area);
    platform::DrawContext* target = window->backBuffer(bounds);
    if (!target) return;
    CDrawContext context(*target);
    context.setScalePercent(scalePercent);
    for (const CRect& area : areas) drawArea(context, area);
    for (CView* v : views)
        for (const CRect& area : areas)
            if (v->getViewSize().intersects(area)) {
                v->setDirty(false);
                break;
            }
    needsFullRedraw = false;
    window->present(areas);
}

bool CFrame::onWheel(float distance) {
    CPoint where;
    long buttons = 0;
    if (!getCurrentMouseLocation(where, buttons)) return false;
    if (!CRect(0, 0, size.width(), size.height()).pointInside(where)) return false;
    return windowWheel(where, distance, buttons);
}

long CFrame::onKeyDown(VstKeyCode& key) { return focus ? focus->onKeyDown(key) : -1; }
long CFrame::onKeyUp(VstKeyCode& key) { return focus ? focus->onKeyUp(key) : -1; }

void CFrame::beginMouseTracking(CView* view) { tracking = view; }
void CFrame::endMouseTracking(CView* view) {
    if (tracking == view) tracking = nullptr;
}

void CFrame::beginEdit(long tag) {
    if (editor) editor->beginEdit(tag);
}
void CFrame::endEdit(long tag) {
    if (editor) editor->endEdit(tag);
}
void CFrame::doIdleStuff() {
    if (editor) editor->doIdleStuff();
}

bool CFrame::getCurrentMouseLocation(CPoint& where, long& buttons) {
    return window && window->pointerState(where, buttons);
}

void CFrame::windowMouseDown(const CPoint& where, long buttons) {
    if (tracking) return;  // another button during a drag
    CView* v = getViewAt(where);
    if (!v) return;
    focus = v;
    CPoint p = where;
    v->mouse(nullptr, p, buttons);
}

void CFrame::windowMouseMoved(const CPoint& where, long buttons) {
    if (!tracking) return;
    CPoint p = where;
    tracking->onMouseMoved(p, buttons);
}

void CFrame::windowMouseUp(const CPoint& where, long buttons) {
    if (!tracking) return;
    CPoint p = where;
    tracking->onMouseUp(p, buttons);
}

bool CFrame::windowWheel(const CPoint& where, float distance, long buttons) {
    CView* v = getViewAt(where);
    return v && v->onWheel(nullptr, where, distance, buttons);
}

bool CFrame::windowKeyDown(const VstKeyCode& key) {
    VstKeyCode k = key;
    return onKeyDown(k) == 1;
}

void CFrame::windowTimer() {
    if (editor) editor->idle();
}

void CFrame::windowScaleChanged() {
    if (editor) editor->desktopScaleChanged();
}

bool CFrame::windowKeyUp(const VstKeyCode& key) {
    VstKeyCode k = key;
    return onKeyUp(k) == 1;
}

}  // namespace VSTGUI
