// The widget layer of the editor: bitmaps, views, the frame that holds them
// in a window, and the controls (knobs, animated knobs, on/off buttons, text
// labels). Only what the editor uses is here.
//
// Threads: everything runs on the host's user-interface thread except
// CControl::setValue/getValue, which any thread may call.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vstgui/platform/Platform.h"
#include "vstgui/vstguibase.h"

namespace VSTGUI {

class AEffGUIEditor;
class CFrame;

// ---------------------------------------------------------------------------
// Pixels of a bitmap that may be shared: width x height words 0xAARRGGBB, top
// row first, kept alive by whoever holds the pointer.
struct SharedPixels {
    long width = 0;
    long height = 0;
    std::shared_ptr<const std::uint32_t> pixels;
};

// The module (plug-in binary) an editor's widgets belong to, as the code that
// builds the editor knows it. The widget layer never looks for its module
// itself: the editor is given one and hands it to its frame (Windows
// registers the editor's window class on the module's handle) and to every
// bitmap it loads.
class ModuleResources {
public:
    virtual ~ModuleResources() = default;
    // The system's handle of the module: an HINSTANCE on Windows, the handle
    // dlopen gives on Linux.
    virtual void* moduleHandle() const = 0;
    // Bitmap `id` of the module drawn for scale `percent`. Answers false
    // when the module has no such bitmap or it cannot be decoded. The pixels
    // may be shared with every other bitmap loaded from the module.
    virtual bool loadBitmap(long id, int percent, SharedPixels& out) const = 0;
    // Whether the module has bitmaps for scale `percent` at all (cheap: no
    // bitmap is loaded).
    virtual bool hasSkin(int percent) const = 0;
};

// ---------------------------------------------------------------------------
// A bitmap from the module's skin, 0xAARRGGBB words; bitmaps of one module
// and scale share their pixels.
class CBitmap : public CReferenceCounter {
public:
    // Loads bitmap `resourceId` of `module` drawn for `percent`. A bitmap
    // that is missing or cannot be decoded is empty: isLoaded() answers false
    // and width and height are 0.
    CBitmap(const ModuleResources& module, long resourceId, int percent = 100);
    // A bitmap from pixels (width x height words, top row first), copied.
    CBitmap(long width, long height, const std::uint32_t* pixels);

    long getWidth() const { return width; }
    long getHeight() const { return height; }
    long getResourceId() const { return resourceId; }
    bool isLoaded() const { return width > 0 && height > 0; }
    platform::PixelView pixelView() const {
        return {pixels.get(), static_cast<int>(width), static_cast<int>(height)};
    }

private:
    long resourceId = 0;
    long width = 0;
    long height = 0;
    std::shared_ptr<const std::uint32_t> pixels;
};

// ---------------------------------------------------------------------------
// Drawing state and operations handed to the views' draw().
class CDrawContext {
public:
    explicit CDrawContext(platform::DrawContext& drawTarget) : target(drawTarget) {}

    void setFillColor(const CColor& c) { fillColor = c; }
    void setFrameColor(const CColor& c) { frameColor = c; }
    void setFontColor(const CColor& c) { fontColor = c; }
    void setFont(CFont f) { font = f; }
    CColor getFillColor() const { return fillColor; }
    CColor getFrameColor() const { return frameColor; }
    CColor getFontColor() const { return fontColor; }

    void fillRect(const CRect& r) { target.fillRect(r, fillColor); }
    void drawRect(const CRect& r) { target.frameRect(r, frameColor); }
    // The font's pixel height is that of the standard font at the scale.
    void drawString(const char* text, const CRect& r, CHoriTxtAlign align) {
        FontDesc f = standardFont(font);
        f.pixelHeight = scaledLength(f.pixelHeight);
        target.drawText(text, r, f, fontColor, align);
    }
    // Copies the part of `bitmap` at `offset` into `dest`, opaquely.
    void drawBitmap(const CBitmap& bitmap, const CRect& dest, const CPoint& offset) {
        target.copyPixels(bitmap.pixelView(), static_cast<int>(offset.x),
                          static_cast<int>(offset.y), dest);
    }
    void setClip(const CRect& r) { target.setClip(r); }
    void resetClip() { target.resetClip(); }

    // The scale the window is drawn at, in percent (text sizes follow it).
    void setScalePercent(int percent) { scalePercent = percent; }
    int getScalePercent() const { return scalePercent; }
    // A length of the 100 % design at the scale, in whole pixels.
    long scaledLength(long v) const { return (v * scalePercent + 50) / 100; }

private:
    platform::DrawContext& target;
    int scalePercent = 100;
    CColor fillColor = kWhiteCColor;
    CColor frameColor = kBlackCColor;
    CColor fontColor = kBlackCColor;
    CFont font = kNormalFont;
};

// ---------------------------------------------------------------------------
// A rectangle of the window that draws itself and may take input.
class CView : public CReferenceCounter {
public:
    explicit CView(const CRect& viewSize) : size(viewSize) {}
    ~CView() override = default;

    virtual void draw(CDrawContext* context) { (void)context; setDirty(false); }

    // A mouse button went down at `where` (window pixels) with `buttons`.
    // A view that wants the following moves and the release asks its frame
    // for them (CFrame::beginMouseTracking).
    virtual void mouse(CDrawContext* context, CPoint& where, long buttons = -1) {
        (void)context, (void)where, (void)buttons;
    }
    // While this view tracks the mouse: the pointer moved, or the button
    // was released.
    virtual void onMouseMoved(CPoint& where, long buttons) { (void)where, (void)buttons; }
    virtual void onMouseUp(CPoint& where, long buttons) { (void)where, (void)buttons; }
    // The tracking ended without a release (the window closed).
    virtual void onMouseCancel() {}
    // The wheel turned over this view; answers whether the view used it.
    virtual bool onWheel(CDrawContext* context, const CPoint& where, float distance,
                         long buttons) {
        (void)context, (void)where, (void)distance, (void)buttons;
        return false;
    }
    // Keys for the view that was clicked last: 1 handled, -1 not.
    virtual long onKeyDown(VstKeyCode& key) { (void)key; return -1; }
    virtual long onKeyUp(VstKeyCode& key) { (void)key; return -1; }

    virtual bool isDirty() const { return dirty; }
    virtual void setDirty(bool value = true) { dirty = value; }

    const CRect& getViewSize() const { return size; }
    virtual void setViewSize(const CRect& r) { size = r; setDirty(); }
    bool getMouseEnabled() const { return mouseEnabled; }
    void setMouseEnabled(bool enabled) { mouseEnabled = enabled; }

    CFrame* getFrame() const { return frame; }
    void setFrame(CFrame* f) { frame = f; }

protected:
    CRect size;
    CFrame* frame = nullptr;
    bool dirty = true;
    bool mouseEnabled = true;
};

// ---------------------------------------------------------------------------
// The top-level view: owns its views and the platform window inside the
// host's window, routes input to the views and redraws what changed.
class CFrame : public CView, public platform::WindowListener {
public:
    // Creates the window inside `systemWindow`; isOpen() tells whether that
    // worked. Its views are laid out in device pixels for `scalePercent`,
    // which sets the size of text and how far a knob turns per pixel.
    CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor, int scalePercent = 100);
    ~CFrame() override;

    bool isOpen() const { return window != nullptr; }
    AEffGUIEditor* getEditor() const { return editor; }
    int getScalePercent() const { return scalePercent; }
    void* getNativeWindow() const;
    // The window's own timer and input descriptor (platform::Window).
    bool startTimer(unsigned intervalMs) { return window && window->startTimer(intervalMs); }
    int getEventFd() const { return window ? window->eventFd() : -1; }

    // Holds a reference to `bitmap` for as long as the frame lives (or until
    // replaced); drawn under every view.
    void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }

    // Takes over the caller's reference to `view`; later views are drawn over
    // earlier ones and get the mouse first.
    bool addView(CView* view);
    // Lets go of every view (a drag in progress ends for the host first).
    void removeAllViews();
    // Gives the window a new size and scale (see the constructor); its views
    // are the caller's to lay out again. False, nothing changed, when the
    // window cannot take the size.
    bool rescale(const CRect& newSize, int percent);
    long getNbViews() const { return static_cast<long>(views.size()); }
    CView* getView(long index) const;
    // The topmost mouse-enabled view containing `where`, or null.
    CView* getViewAt(const CPoint& where) const;

    // Input events and redrawing of everything dirty; called from the
    // editor's idle.
    void idle();
    // Draws the whole window into the back buffer and shows it.
    void redrawAll();

    // The host's wheel message: goes to the view under the pointer.
    bool onWheel(float distance);
    // A frame inside another view takes the wheel as any view does.
    using CView::onWheel;
    long onKeyDown(VstKeyCode& key) override;
    long onKeyUp(VstKeyCode& key) override;

    // Mouse tracking: moves and the release go to `view` until it ends.
    void beginMouseTracking(CView* view);
    void endMouseTracking(CView* view);
    CView* getTrackingView() const { return tracking; }

    // Routed to the editor (and from there to the effect and the host).
    void beginEdit(long tag);
    void endEdit(long tag);
    // Lets the host idle while a control tracks the mouse.
    void doIdleStuff();

    bool getCurrentMouseLocation(CPoint& where, long& buttons);

    // Input as the window reports it.
    void windowMouseDown(const CPoint& where, long buttons) override;
    void windowMouseMoved(const CPoint& where, long buttons) override;
    void windowMouseUp(const CPoint& where, long buttons) override;
    bool windowWheel(const CPoint& where, float distance, long buttons) override;
    bool windowKeyDown(const VstKeyCode& key) override;
    bool windowKeyUp(const VstKeyCode& key) override;
    // Idles the editor.
    void windowTimer() override;
    // Tells the editor (AEffGUIEditor::desktopScaleChanged).
    void windowScaleChanged() override;

private:
    void drawArea(CDrawContext& context, const CRect& area);

    bool needsFullRedraw = true;

    AEffGUIEditor* editor;
    int scalePercent;
    std::unique_ptr<platform::Window> window;
    CBitmap* background = nullptr;
    std::vector<CView*> views;
    CView* tracking = nullptr;
    CView* focus = nullptr;
};

// ---------------------------------------------------------------------------
class CControl;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
    // A click with a modifier key; answers non-zero when it handled it, and
    // the control then does nothing more with the click.
    virtual long controlModifierClicked(CDrawContext* context, CControl* control, long buttons) {
        (void)context, (void)control, (void)buttons;
        return 0;
    }
};

// A view with a tag and a value in [min, max] that reports changes to its
// listener. It is dirty when marked so or when its value differs from the one
// it last drew.
class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr);
    ~CControl() override;

    // A value that is not a number is taken as 0 (as the processing reads
    // it), an infinite one as the end of the range it points to; so the
    // control never shows or sends anything but a number.
    virtual void setValue(float v) { value.store(finiteValue(v), std::memory_order_relaxed); }
    virtual float getValue() const { return value.load(std::memory_order_relaxed); }
    long getTag() const { return tag; }
    CControlListener* getListener() const { return listener; }

    float getMin() const { return vmin; }
    float getMax() const { return vmax; }
    void setDefaultValue(float v) { defaultValue = v; }
    float getDefaultValue() const { return defaultValue; }
    void setWheelInc(float v) { wheelInc = v; }
    float getWheelInc() const { return wheelInc; }
    CBitmap* getBackground() const { return background; }

    bool isDirty() const override;
    void setDirty(bool v = true) override;

    // Brackets a user's gesture for the host (through the frame and editor).
    void beginEdit();
    void endEdit();

protected:
    // Keeps the value inside [min, max].
    void bounceValue();
    float finiteValue(float v) const {
        if (v != v) return 0.0f < vmin ? vmin : (0.0f > vmax ? vmax : 0.0f);
        if (v > 3.0e38f) return vmax;
        if (v < -3.0e38f) return vmin;
        return v;
    }
    // Records the value that draw() shows.
    void markDrawn(float shown) { drawnValue = shown; }

    CControlListener* listener;
    long tag;
    std::atomic<float> value{0.0f};
    float drawnValue = 0.0f;
    float vmin = 0.0f;
    float vmax = 1.0f;
    float defaultValue = 0.5f;
    float wheelInc = 0.1f;
    CBitmap* background;
};

// A knob: dragged in the global knob mode, set to its default by a Ctrl
// click, moved by the wheel and the arrow keys.
class CKnob : public CControl {
public:
    CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr,
          const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    void onMouseMoved(CPoint& where, long buttons) override;
    void onMouseUp(CPoint& where, long buttons) override;
    void onMouseCancel() override;
    bool onWheel(CDrawContext* context, const CPoint& where, float distance, long buttons) override;
    long onKeyDown(VstKeyCode& key) override;

    // Pixels of linear movement that span the whole range at 100 %; at
    // another scale as many pixels more or fewer, so that a drag of the same
    // length on the screen turns the knob as far.
    static constexpr float kLinearRange = 200.0f;
    // Shift makes dragging this many times finer.
    static constexpr float kFineFactor = 1.5f;

    // The value that a circular drag gives for a pointer at `where`: the
    // angle around the knob's centre, from lower left (0) clockwise to lower
    // right (1), over 270 degrees.
    float valueFromAngle(const CPoint& where) const;

protected:
    CPoint offset;

private:
    // Changes the value by `delta` within the range and reports it as one
    // gesture, if it moved.
    void step(float delta);
    void restartDrag(const CPoint& where, long buttons);

    bool dragging = false;
    bool dragCircular = false;
    bool dragRelative = false;
    long dragModifiers = 0;
    CPoint dragStart;
    float dragStartValue = 0.0f;
    float dragValue = 0.0f;
    float dragStartAngleValue = 0.0f;
};

// A knob drawn as one frame of a vertical strip: frame 0 at the top.
class CAnimKnob : public CKnob {
public:
    CAnimKnob(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
              long heightOfOneImage, CBitmap* background, const CPoint& offset);

    void draw(CDrawContext* context) override;
    long getSubPixmaps() const { return subPixmaps; }
    long getHeightOfOneImage() const { return heightOfOneImage; }

    // The strip's pixel row drawn for `value`: trunc(v * (N - 1) * height)
    // rounded down to a whole frame; v outside [0, 1] (or not a number) is
    // taken as the nearer end.
    static long frameOffset(float value, long subPixmaps, long heightOfOneImage);

private:
    long subPixmaps;
    long heightOfOneImage;
};

// A two-state switch: upper frame for 0, lower frame for anything else.
class COnOffButton : public CControl {
public:
    enum Style { kPreListenerUpdate = 0, kPostListenerUpdate = 1 };

    COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                 long style = kPreListenerUpdate);

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;

private:
    long style;
};

// A text in a filled and framed rectangle (style 0).
class CTextLabel : public CView {
public:
    CTextLabel(const CRect& size, const char* text = nullptr, CBitmap* background = nullptr,
               long style = 0);
    ~CTextLabel() override;

    void draw(CDrawContext* context) override;

    void setText(const char* text);
    const char* getText() const { return text.c_str(); }
    void setFont(CFont f) { font = f; setDirty(); }
    CFont getFont() const { return font; }
    void setFontColor(const CColor& c) { fontColor = c; setDirty(); }
    CColor getFontColor() const { return fontColor; }
    void setBackColor(const CColor& c) { backColor = c; setDirty(); }
    CColor getBackColor() const { return backColor; }
    void setFrameColor(const CColor& c) { frameColor = c; setDirty(); }
    CColor getFrameColor() const { return frameColor; }
    void setHoriAlign(CHoriTxtAlign a) { align = a; setDirty(); }
    CHoriTxtAlign getHoriAlign() const { return align; }
    long getStyle() const { return style; }

private:
    std::string text;
    CBitmap* background;
    long style;
    CFont font = kSystemFont;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
    CColor frameColor = kBlackCColor;
    CHoriTxtAlign align = kCenterText;
};

}  // namespace VSTGUI
