// The plug-in's editor: a 1100 x 616 window of skin bitmaps with 18 knobs, 8
// switches, 2 needle meters, a caption and a status label, drawn at one of
// the skin's scales (100 % to 200 %: the window, every rectangle, text and
// bitmap scaled, the bitmaps drawn for the scale). Every control is
// tagged with its parameter's index; the editor keeps controls and
// parameters in step both ways and moves the meters from idle. It reaches its
// plug-in only through an EditorHost, which each format's glue implements.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "editor/EditorHost.h"
#include "editor/Layout.h"
#include "editor/MyCAnimMeter.h"
#include "editor/MyCModeKnob.h"
#include "vstgui/aeffguieditor.h"

class ControlsguiEditor : public VSTGUI::AEffGUIEditor, public VSTGUI::CControlListener {
public:
    // Shows the skin of `module`; `host` and `module` must outlive the editor.
    ControlsguiEditor(EditorHost& host, const VSTGUI::ModuleResources& skin);
    ~ControlsguiEditor() override;

    // The host's scale for the editor (1.0 = 100 %; the nearest scale of the
    // skin is taken). The rectangle (getRect, width, height) follows at once;
    // an open window keeps its handle and takes the new size, its controls
    // laid out again (a drag in progress ends). Answers whether the size
    // changed; the format's glue then asks its host for the new size.
    bool setScale(double factor);
    int getScalePercent() const { return scalePercent; }

    // Builds the frame, the labels and the 28 controls from the host's
    // current values. Answers false (and keeps nothing) when the window
    // cannot be made: no background bitmap, no display, no parent window,
    // no memory. A control whose bitmap is missing is left out.
    bool open(void* ptr) override;
    void close() override;
    // Input and redrawing, then the meters (at most every 60 ms).
    void idle() override;
    // The plug-in's parameter `index` has a new value (the glue calls it after
    // storing the value, on any thread): moves the control of parameters 0 to
    // 25. On the window's own thread, while it is open, the control takes the
    // value at once; otherwise the change is handed over and taken at the
    // next idle with an open window, so that no other thread ever touches a
    // widget and no change made while the window opens is lost.
    void parameterChanged(int index);

    // A gesture's start and end, told to the host.
    bool beginEdit(long index) override;
    bool endEdit(long index) override;
    void doIdleStuff() override;
    // Told to the host, whose format may take the desktop's scale
    // (EditorHost::desktopScaleChanged).
    void desktopScaleChanged() override { host.desktopScaleChanged(); }

    // A control moved: its value on the control's grid goes to the host when
    // it differs from the parameter's current value.
    void valueChanged(VSTGUI::CDrawContext* context, VSTGUI::CControl* control) override;

    // What the window shows, for tests and tools.
    const char* getCaptionText() const { return captionText; }
    const char* getStatusText() const { return statusText; }
    float getStepCount(int tag) const;
    // The control of a tag (0 to 27) while the window is open, else null.
    VSTGUI::CControl* getControl(int tag) const;
    VSTGUI::CTextLabel* getStatusLabel() const { return statusLabel; }
    VSTGUI::CTextLabel* getCaptionLabel() const { return captionLabel; }

    static constexpr std::uint32_t kMeterInterval = 60;  // ms
    // dB of gain reduction -> meter value: 1 - clamp(g / 30, 0, 1).
    static float meterValueFor(float gainReductionDb);

private:
    bool updateSize();
    bool loadBackground();
    // The labels and controls at the scale, into `target`; throws bad_alloc.
    void addViews(VSTGUI::CFrame* target);
    void refreshMeters();
    void takeHandedOverParameters();
    void forgetWidgets();

    VSTGUI::CBitmap* background = nullptr;
    int scalePercent = 100;
    char captionText[41];
    VSTGUI::CTextLabel* captionLabel = nullptr;
    char statusText[64];
    VSTGUI::CTextLabel* statusLabel = nullptr;
    VSTGUI::CControl* paramControls[kvbeditor::kNumParamControls] = {};
    float stepCounts[kvbeditor::kNumKnobs];
    MyCAnimMeter* meter1 = nullptr;
    MyCAnimMeter* meter2 = nullptr;
    std::uint32_t lastMeterTicks = 0;

    // Shared with the threads that set parameters.
    std::atomic<bool> windowOpen{false};
    std::atomic<std::thread::id> uiThread{};
    std::atomic<bool> handedOver[kvbeditor::kNumParamControls];
    EditorHost& host;
};
