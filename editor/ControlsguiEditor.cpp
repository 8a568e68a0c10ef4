#include "editor/ControlsguiEditor.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>


using namespace VSTGUI;
using namespace kvbeditor;

namespace {

// The caption is kept in the binary only in shifted form.
constexpr unsigned char kCaptionShift = 0x2A;
constexpr char kCaptionPlain[] = "KVB stereo dynamics  -  v1.0  - (c) 2026";
constexpr std::size_t kCaptionLength = 40;
static_assert(sizeof kCaptionPlain - 1 == kCaptionLength, "the caption has 40 characters");

constexpr std::array<unsigned char, kCaptionLength> shifted(const char (&text)[kCaptionLength + 1]) {
    std::array<unsigned char, kCaptionLength> out{};
    for (std::size_t i = 0; i < kCaptionLength; ++i)
        out[i] = static_cast<unsigned char>(static_cast<unsigned char>(text[i]) + kCaptionShift);
    return out;
}

constexpr std::array<unsigned char, kCaptionLength> kStoredCaption = shifted(kCaptionPlain);

constexpr CColor kCaptionTextColor{40, 40, 40, 255};
constexpr CColor kCaptionBackColor{4, 18, 38, 255};
constexpr CColor kStatusTextColor{60, 60, 60, 0};  // alpha is not drawn

// Hands `view` to the frame, or drops it if the frame cannot take it.
template <class T>
T* addTo(CFrame* frame, T* view) {
    try {
        frame->addView(view);
    } catch (...) {
        view->forget();
        throw;
    }
    return view;
}

}  // namespace

ControlsguiEditor::ControlsguiEditor(EditorHost& editorHost, const ModuleResources& skin)
    : AEffGUIEditor(skin), host(editorHost) {
    frame = nullptr;
    lastMeterTicks = 0;
    for (auto& h : handedOver) h.store(false, std::memory_order_relaxed);
    updateSize();
    setGlobalKnobMode(kLinearMode);

    for (std::size_t i = 0; i < kCaptionLength; ++i)
        captionText[i] = static_cast<char>(kStoredCaption[i] - kCaptionShift);
    captionText[kCaptionLength] = 0;
    std::strcpy(statusText, "---");

    for (int tag = 0; tag < kNumKnobs; ++tag) stepCounts[tag] = static_cast<float>(knobSteps(tag));
}

// The window's size at the scale, where the module has a skin for it; none
// (and the editor will not open) where it has not.
bool ControlsguiEditor::updateSize() {
    rect = {};
    if (!getModule().hasSkin(scalePercent)) return false;
    rect.bottom = static_cast<std::int16_t>(scaled(kEditorHeight, scalePercent));
    rect.right = static_cast<std::int16_t>(scaled(kEditorWidth, scalePercent));
    return true;
}

// The background at the scale, held while the window is open (the skin's
// pixels are shared by every editor of the process, and go with the last).
bool ControlsguiEditor::loadBackground() {
    if (background) background->forget();
    background = nullptr;
    try {
        background = new CBitmap(getModule(), kBackgroundBitmap, scalePercent);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (background->isLoaded() && background->getWidth() == width() &&
        background->getHeight() == height())
        return true;
    background->forget();
    background = nullptr;
    return false;
}

bool ControlsguiEditor::setScale(double factor) {
    const int percent = skinPercentFor(factor);
    if (percent == scalePercent) return false;
    const int oldWidth = width(), oldHeight = height();
    const int oldPercent = scalePercent;
    scalePercent = percent;
    if (!updateSize() || (frame && !loadBackground())) {
        // No skin at that scale: stay as we were.
        scalePercent = oldPercent;
        updateSize();
        if (frame) loadBackground();
        return false;
    }
    if (frame) {
        frame->removeAllViews();
        forgetWidgets();
        if (!frame->rescale(CRect(0, 0, width(), height()), scalePercent)) {
            scalePercent = oldPercent;
            updateSize();
            loadBackground();
        }
        frame->setBackground(background);
        try {
            addViews(frame);
        } catch (const std::bad_alloc&) {
            close();
        }
        // Values changed meanwhile on other threads are taken at the next idle.
        for (auto& h : handedOver) h.store(true, std::memory_order_relaxed);
    }
    return width() != oldWidth || height() != oldHeight;
}

ControlsguiEditor::~ControlsguiEditor() { close(); }

float ControlsguiEditor::getStepCount(int tag) const {
    return tag >= 0 && tag < kNumKnobs ? stepCounts[tag] : 0.0f;
}

CControl* ControlsguiEditor::getControl(int tag) const {
    if (!frame) return nullptr;
    if (tag >= 0 && tag < kNumParamControls) return paramControls[tag];
    if (tag == kMeter1Tag) return meter1;
    if (tag == kMeter2Tag) return meter2;
    return nullptr;
}

bool ControlsguiEditor::open(void* ptr) {
    if (frame) close();
    if (!updateSize() || !loadBackground()) return false;
    AEffGUIEditor::open(ptr);

    CFrame* newFrame = nullptr;
    try {
        newFrame = new CFrame(CRect(0, 0, background->getWidth(), background->getHeight()), ptr,
                              this, scalePercent);
        if (!newFrame->isOpen()) {
            newFrame->forget();
            AEffGUIEditor::close();
            background->forget();
            background = nullptr;
            return false;
        }
        newFrame->setBackground(background);

        addViews(newFrame);
    } catch (const std::bad_alloc&) {
        if (newFrame) newFrame->forget();
        forgetWidgets();
        AEffGUIEditor::close();
        background->forget();
        background = nullptr;
        return false;
    }

    // Changes made on other threads while the controls read their values
    // stay handed over: the first idle takes them, so none is lost.
    uiThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    frame = newFrame;
    windowOpen.store(true, std::memory_order_release);
    return true;
}

void ControlsguiEditor::addViews(CFrame* target) {
    const int k = scalePercent;
    captionLabel = addTo(target, new CTextLabel(CRect(scaled(kCaptionLabel.left, k),
                                                        scaled(kCaptionLabel.top, k),
                                                        scaled(kCaptionLabel.right, k),
                                                        scaled(kCaptionLabel.bottom, k)),
                                                  captionText, nullptr, 0));
    captionLabel->setFont(kNormalFontVerySmall);
    captionLabel->setFontColor(kCaptionTextColor);
    captionLabel->setBackColor(kCaptionBackColor);
    captionLabel->setFrameColor(kCaptionBackColor);
    captionLabel->setHoriAlign(kRightText);

    std::strcpy(statusText, "---");
    statusLabel = addTo(target, new CTextLabel(CRect(scaled(kStatusLabel.left, k),
                                                       scaled(kStatusLabel.top, k),
                                                       scaled(kStatusLabel.right, k),
                                                       scaled(kStatusLabel.bottom, k)),
                                                 statusText, nullptr, 0));
    statusLabel->setFont(kNormalFont);
    statusLabel->setFontColor(kStatusTextColor);
    statusLabel->setBackColor(kBlackCColor);
    statusLabel->setFrameColor(kBlackCColor);
    statusLabel->setHoriAlign(kLeftText);

    for (const ControlLayout& c : kControls) {
        CBitmap* bitmap = new CBitmap(getModule(), c.bitmapId, k);
        if (!bitmap->isLoaded() || bitmap->getHeight() / c.frames < 1) {
            bitmap->forget();  // a missing image leaves its control out
            continue;
        }
        const long frameHeight = bitmap->getHeight() / c.frames;
        const CRect r(scaled(c.left, k), scaled(c.top, k), scaled(c.left, k) + bitmap->getWidth(),
                      scaled(c.top, k) + frameHeight);
        CControl* control = nullptr;
        try {
            switch (c.kind) {
            case ViewKind::Knob:
                if (isModeKnob(c))
                    control = new MyCModeKnob(r, this, c.tag, c.frames, frameHeight, bitmap,
                                              r.topLeft());
                else
                    control = new CAnimKnob(r, this, c.tag, c.frames, frameHeight, bitmap,
                                            r.topLeft());
                break;
            case ViewKind::Meter:
                control = new MyCAnimMeter(r, this, c.tag, c.frames, frameHeight, bitmap,
                                           r.topLeft());
                break;
            case ViewKind::Switch:
                control = new COnOffButton(r, this, c.tag, bitmap,
                                           COnOffButton::kPreListenerUpdate);
                break;
            }
        } catch (...) {
            bitmap->forget();
            throw;
        }
        if (c.tag < kNumParamControls) paramControls[c.tag] = control;
        else if (c.tag == kMeter1Tag) meter1 = static_cast<MyCAnimMeter*>(control);
        else meter2 = static_cast<MyCAnimMeter*>(control);
        control->setValue(host.parameter(c.tag));
        bitmap->forget();  // the control holds the only reference now
        addTo(target, control);
    }
}

void ControlsguiEditor::forgetWidgets() {
    captionLabel = nullptr;
    statusLabel = nullptr;
    for (auto& c : paramControls) c = nullptr;
    meter1 = nullptr;
    meter2 = nullptr;
}

void ControlsguiEditor::close() {
    windowOpen.store(false, std::memory_order_release);
    if (frame) {
        AEffGUIEditor::close();  // deletes the frame, every view and their bitmaps
        forgetWidgets();
    }
    if (background) background->forget();
    background = nullptr;
}

void ControlsguiEditor::parameterChanged(int index) {
    if (index < 0 || index >= kNumParamControls) return;
    if (windowOpen.load(std::memory_order_acquire) &&
        uiThread.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
        if (frame && paramControls[index]) paramControls[index]->setValue(host.parameter(index));
        return;
    }
    // Also while the window is closed or being opened: open() may already
    // have read this control's value, and the first idle after it must see
    // the change. The flag is set after the glue stored the value, so the
    // idle that takes it reads the new value.
    handedOver[index].store(true, std::memory_order_release);
}

void ControlsguiEditor::takeHandedOverParameters() {
    for (int i = 0; i < kNumParamControls; ++i) {
        if (!handedOver[i].load(std::memory_order_relaxed)) continue;
        if (!handedOver[i].exchange(false, std::memory_order_acquire)) continue;
        if (paramControls[i]) paramControls[i]->setValue(host.parameter(i));
    }
}

void ControlsguiEditor::idle() {
    if (frame) takeHandedOverParameters();
    AEffGUIEditor::idle();
    if (!frame) return;
    refreshMeters();
}

float ControlsguiEditor::meterValueFor(float g) {
    float c = g * 0.033333335f;
    if (c > 1.0f) c = 1.0f;
    else if (!(c >= 0.0f)) c = 0.0f;  // below 0 dB, or not a number: at rest
    return 1.0f - c;
}

void ControlsguiEditor::refreshMeters() {
    const std::uint32_t now = getTicks();
    // Unsigned difference: still right when the tick count wraps.
    if (static_cast<std::uint32_t>(now - lastMeterTicks) <= kMeterInterval) return;
    MyCAnimMeter* meters[2] = {meter1, meter2};
    for (int i = 0; i < 2; ++i) {
        if (!meters[i]) continue;
        meters[i]->setValue(meterValueFor(host.meter(i)));
        meters[i]->setDirty();
    }
    lastMeterTicks = now;
}

bool ControlsguiEditor::beginEdit(long index) {
    host.beginEdit(static_cast<int>(index));
    return true;
}

bool ControlsguiEditor::endEdit(long index) {
    host.endEdit(static_cast<int>(index));
    return true;
}

void ControlsguiEditor::doIdleStuff() {
    idle();
    host.idleHost();
}

void ControlsguiEditor::valueChanged(CDrawContext* /*context*/, CControl* control) {
    if (!control) return;
    const long tag = control->getTag();
    if (tag < 0 || tag > kMeter2Tag) return;
    float v = control->getValue();
    // Never anything but a number to the host.
    if (!std::isfinite(v)) return;
    if (tag < kNumKnobs) {
        const float n = stepCounts[tag];
        v = std::trunc(v * n + 0.5f) / n;
    }
    // A drag moves the control by pixels, the parameter by steps: only a new
    // step is news to the host. The control shows the value on its grid.
    const float current = host.parameter(static_cast<int>(tag));
    if (v != current) host.performEdit(static_cast<int>(tag), v);
    control->setValue(v);
    control->setDirty();
    std::snprintf(statusText, sizeof statusText, "Parameter %.2f",
                  static_cast<double>(control->getValue()));
    if (statusLabel) {
        statusLabel->setText(statusText);
        statusLabel->setDirty();
    }
}
