// The widget layer's arithmetic and its input rules, without a display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "editor/ControlsguiEditor.h"
#include "editor/Layout.h"
#include "tests/gui/MockWindow.h"
#include "vstgui/aeffguieditor.h"
#include "vstgui/vstgui.h"

using namespace VSTGUI;

namespace {

long frameOf(float v, long frames, long height) {
    const long off = CAnimKnob::frameOffset(v, frames, height);
    EXPECT_EQ(off % height, 0) << "offset " << off << " is not a whole frame";
    return off / height;
}

// The frame heights of the knobs in the window, by frame count.
std::vector<long> heightsOf(int frames) {
    std::vector<long> out;
    for (const auto& c : kvbeditor::kControls)
        if (c.kind == kvbeditor::ViewKind::Knob && c.frames == frames &&
            std::find(out.begin(), out.end(), c.height) == out.end())
            out.push_back(c.height);
    return out;
}

TEST(FrameSelection, TwentyFourFrameKnobShowsFrameKMinusOneForKOver24) {
    for (long h : heightsOf(24)) {
        EXPECT_EQ(frameOf(0.5f, 24, h), 11) << h;
        EXPECT_EQ(frameOf(1.0f, 24, h), 23) << h;
        EXPECT_EQ(frameOf(0.0f, 24, h), 0) << h;
        for (int k = 1; k <= 24; ++k)
            EXPECT_EQ(frameOf(static_cast<float>(k) / 24.0f, 24, h), k - 1) << "k " << k << " h " << h;
    }
}

TEST(FrameSelection, ThreeFrameKnob) {
    for (long h : heightsOf(3)) {
        EXPECT_EQ(frameOf(0.0f, 3, h), 0);
        EXPECT_EQ(frameOf(1.0f / 3.0f, 3, h), 0);
        EXPECT_EQ(frameOf(2.0f / 3.0f, 3, h), 1);
        EXPECT_EQ(frameOf(1.0f, 3, h), 2);
    }
}

TEST(FrameSelection, SixFrameKnob) {
    for (long h : heightsOf(6)) {
        EXPECT_EQ(frameOf(0.0f, 6, h), 0);
        EXPECT_EQ(frameOf(1.0f / 6.0f, 6, h), 0);
        for (int k = 2; k <= 6; ++k) EXPECT_EQ(frameOf(static_cast<float>(k) / 6.0f, 6, h), k - 1);
    }
}

TEST(FrameSelection, WholePixelsDecideAtAFrameBoundary) {
    // v (N - 1) h lands a hair below a whole frame: the pixel row is cut
    // first, so the frame above is shown.
    const float v = std::nextafter(0.5f, 0.0f);
    EXPECT_EQ(frameOf(v, 3, 106), 0);
    EXPECT_EQ(frameOf(0.5f, 3, 106), 1);
    // A value just above a boundary in frames, but below it in pixels.
    EXPECT_EQ(frameOf(0.999f, 61, 73), 59);
}

TEST(FrameSelection, ValuesOutsideTheRangeStayInsideTheStrip) {
    EXPECT_EQ(frameOf(1.5f, 24, 119), 23);
    EXPECT_EQ(frameOf(1e30f, 24, 119), 23);
    EXPECT_EQ(frameOf(-0.25f, 24, 119), 0);
    EXPECT_EQ(frameOf(std::numeric_limits<float>::quiet_NaN(), 24, 119), 0);
    EXPECT_EQ(frameOf(std::numeric_limits<float>::infinity(), 6, 85), 5);
}

TEST(MeterScale, DecibelsToFrames) {
    auto meterFrame = [](float db) { return frameOf(ControlsguiEditor::meterValueFor(db), 61, 73); };
    EXPECT_EQ(meterFrame(0.0f), 60);
    EXPECT_EQ(meterFrame(-3.0f), 60);
    EXPECT_EQ(meterFrame(30.0f), 0);
    EXPECT_EQ(meterFrame(45.0f), 0);
    EXPECT_EQ(meterFrame(15.0f), 30);
    // 1/30 in single precision is a little above a third: 10 dB falls just
    // below the frame boundary.
    EXPECT_EQ(meterFrame(10.0f), 39);
    EXPECT_EQ(meterFrame(0.5f), 59);
    EXPECT_EQ(meterFrame(std::numeric_limits<float>::quiet_NaN()), 60);
}

TEST(Geometry, RectangleHelpers) {
    const CRect r(10, 20, 30, 50);
    EXPECT_TRUE(r.pointInside(CPoint(10, 20)));
    EXPECT_FALSE(r.pointInside(CPoint(30, 20)));
    EXPECT_FALSE(r.pointInside(CPoint(10, 50)));
    EXPECT_EQ(r.intersection(CRect(25, 0, 100, 25)), CRect(25, 20, 30, 25));
    EXPECT_TRUE(r.intersection(CRect(30, 20, 40, 50)).isEmpty());
    EXPECT_EQ(r.unite(CRect()), r);
    EXPECT_EQ(r.unite(CRect(0, 0, 1, 1)), CRect(0, 0, 30, 50));
}

TEST(ReferenceCounting, ForgetDeletesAtZero) {
    static int alive = 0;
    struct Counted : CReferenceCounter {
        Counted() { ++alive; }
        ~Counted() override { --alive; }
    };
    auto* c = new Counted;
    EXPECT_EQ(c->getNbReference(), 1);
    c->remember();
    c->forget();
    EXPECT_EQ(alive, 1);
    c->forget();
    EXPECT_EQ(alive, 0);
}

TEST(Fonts, StandardTableEntries) {
    EXPECT_STREQ(standardFont(kNormalFont).family, "Arial");
    EXPECT_EQ(standardFont(kNormalFont).pixelHeight, 12);
    EXPECT_FALSE(standardFont(kNormalFont).bold);
    EXPECT_EQ(kNormalFont, 3);
    EXPECT_EQ(kNormalFontVerySmall, 6);
    EXPECT_STREQ(standardFont(kNormalFontVerySmall).family, "Arial");
    EXPECT_EQ(standardFont(kNormalFontVerySmall).pixelHeight, 9);
    EXPECT_FALSE(standardFont(kNormalFontVerySmall).bold);
}

// Widgets in a frame of their own, with a listener that records.
class WidgetTest : public ::testing::Test {
protected:
    struct Listener : CControlListener {
        void valueChanged(CDrawContext*, CControl* c) override { changes.push_back(c->getValue()); }
        long controlModifierClicked(CDrawContext*, CControl*, long buttons) override {
            modifierClicks.push_back(buttons);
            return claimModifierClicks ? 1 : 0;
        }
        std::vector<float> changes;
        std::vector<long> modifierClicks;
        bool claimModifierClicks = false;
    };

    void SetUp() override {
        platform::setWindowFactory(&guitest::MockWindow::make);
        frame = new CFrame(CRect(0, 0, 400, 300), reinterpret_cast<void*>(1), nullptr);
        ASSERT_TRUE(frame->isOpen());
        std::vector<std::uint32_t> px(100 * 600, 0xFF102030u);
        strip = new CBitmap(100, 600, px.data());
        knob = new CAnimKnob(CRect(100, 100, 200, 200), &listener, 7, 6, 100, strip, CPoint(100, 100));
        button = new COnOffButton(CRect(250, 100, 350, 200), &listener, 8, strip);
        strip->forget();
        frame->addView(knob);
        frame->addView(button);
        setGlobalKnobMode(kLinearMode);
    }
    void TearDown() override {
        frame->forget();
        platform::setWindowFactory(nullptr);
        setGlobalKnobMode(kLinearMode);
    }

    Listener listener;
    CFrame* frame = nullptr;
    CBitmap* strip = nullptr;
    CAnimKnob* knob = nullptr;
    COnOffButton* button = nullptr;
};

TEST_F(WidgetTest, LinearDragFollowsUpwardPlusRightward) {
    knob->setValue(0.2f);
    frame->windowMouseDown(CPoint(150, 150), kLButton);
    frame->windowMouseMoved(CPoint(170, 150), kLButton);  // right 20
    EXPECT_FLOAT_EQ(knob->getValue(), 0.3f);
    frame->windowMouseMoved(CPoint(170, 110), kLButton);  // and up 40
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    frame->windowMouseMoved(CPoint(130, 170), kLButton);  // left 20, down 20 of the start
    EXPECT_FLOAT_EQ(knob->getValue(), 0.0f);
    frame->windowMouseMoved(CPoint(150, -300), kLButton);  // far beyond the top
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    frame->windowMouseUp(CPoint(150, -300), 0);
    // Moves after the release do nothing.
    frame->windowMouseMoved(CPoint(0, 0), 0);
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
}

TEST_F(WidgetTest, ShiftMakesTheDragOneAndAHalfTimesFiner) {
    knob->setValue(0.0f);
    frame->windowMouseDown(CPoint(150, 150), kLButton | kShift);
    frame->windowMouseMoved(CPoint(300, 150), kLButton | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    frame->windowMouseUp(CPoint(300, 150), 0);
}

TEST_F(WidgetTest, PressingShiftMidDragDoesNotJump) {
    knob->setValue(0.0f);
    frame->windowMouseDown(CPoint(150, 150), kLButton);
    frame->windowMouseMoved(CPoint(190, 150), kLButton);  // 0.2
    frame->windowMouseMoved(CPoint(190, 150), kLButton | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.2f);
    frame->windowMouseMoved(CPoint(250, 150), kLButton | kShift);  // 60 px at 300 px
    EXPECT_FLOAT_EQ(knob->getValue(), 0.4f);
    frame->windowMouseUp(CPoint(250, 150), 0);
}

TEST_F(WidgetTest, AltDragIsCircularInLinearMode) {
    knob->setValue(0.0f);
    frame->windowMouseDown(CPoint(150, 150), kLButton | kAlt);
    frame->windowMouseMoved(CPoint(150, 110), kLButton | kAlt);  // straight up: half way
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6f);
    frame->windowMouseMoved(CPoint(190, 190), kLButton | kAlt);  // lower right: the end
    EXPECT_NEAR(knob->getValue(), 1.0f, 1e-6f);
    frame->windowMouseMoved(CPoint(110, 150), kLButton | kAlt);  // left: 45 of 270 degrees
    EXPECT_NEAR(knob->getValue(), 1.0f / 6.0f, 1e-6f);
    frame->windowMouseUp(CPoint(110, 150), 0);
}

TEST_F(WidgetTest, CircularModeFromTheHost) {
    setGlobalKnobMode(kCircularMode);
    knob->setValue(0.0f);
    frame->windowMouseDown(CPoint(150, 150), kLButton);
    frame->windowMouseMoved(CPoint(190, 150), kLButton);  // to the right: 225 of 270 degrees
    EXPECT_NEAR(knob->getValue(), 5.0f / 6.0f, 1e-6f);
    frame->windowMouseUp(CPoint(190, 150), 0);
}

TEST_F(WidgetTest, ControlClickSetsTheDefaultAndReports) {
    knob->setValue(0.9f);
    frame->windowMouseDown(CPoint(150, 150), kLButton | kControl);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    ASSERT_EQ(listener.changes.size(), 1u);
    EXPECT_FLOAT_EQ(listener.changes[0], 0.5f);
    ASSERT_EQ(listener.modifierClicks.size(), 1u);
    EXPECT_EQ(listener.modifierClicks[0], kLButton | kControl);
}

TEST_F(WidgetTest, ModifierClicksGoToTheListenerFirst) {
    listener.claimModifierClicks = true;
    knob->setValue(0.9f);
    frame->windowMouseDown(CPoint(150, 150), kLButton | kControl);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.9f);
    button->setValue(0.0f);
    frame->windowMouseDown(CPoint(300, 150), kLButton | kShift);
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
    EXPECT_TRUE(listener.changes.empty());
    EXPECT_EQ(listener.modifierClicks.size(), 2u);
    // A plain click is not offered.
    frame->windowMouseDown(CPoint(300, 150), kLButton);
    EXPECT_EQ(listener.modifierClicks.size(), 2u);
    EXPECT_FLOAT_EQ(button->getValue(), 1.0f);
}

TEST_F(WidgetTest, WheelStepsAndLimits) {
    knob->setValue(0.5f);
    EXPECT_TRUE(frame->windowWheel(CPoint(150, 150), 1.0f, 0));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.6f);
    EXPECT_TRUE(frame->windowWheel(CPoint(150, 150), -2.0f, 0));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.4f);
    EXPECT_TRUE(frame->windowWheel(CPoint(150, 150), 1.0f, kShift));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.41f);
    EXPECT_TRUE(frame->windowWheel(CPoint(150, 150), 20.0f, 0));
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    const size_t reported = listener.changes.size();
    // At the end of the range a further step changes nothing and reports nothing.
    EXPECT_TRUE(frame->windowWheel(CPoint(150, 150), 1.0f, 0));
    EXPECT_EQ(listener.changes.size(), reported);
    EXPECT_TRUE(frame->windowWheel(CPoint(150, 150), -20.0f, 0));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.0f);
}

TEST_F(WidgetTest, SwitchesIgnoreTheWheelAndFlipOnLeftClicks) {
    button->setValue(0.0f);
    EXPECT_FALSE(frame->windowWheel(CPoint(300, 150), 1.0f, 0));
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
    frame->windowMouseDown(CPoint(300, 150), kRButton);
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
    frame->windowMouseDown(CPoint(300, 150), kLButton);
    EXPECT_FLOAT_EQ(button->getValue(), 1.0f);
    frame->windowMouseDown(CPoint(300, 150), kLButton);
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
    // Any value but 0 shows as on, so a click turns it off.
    button->setValue(0.3f);
    frame->windowMouseDown(CPoint(300, 150), kLButton);
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
}

TEST_F(WidgetTest, NothingUnderThePointerTakesNothing) {
    EXPECT_FALSE(frame->windowWheel(CPoint(10, 10), 1.0f, 0));
    frame->windowMouseDown(CPoint(10, 10), kLButton);
    EXPECT_TRUE(listener.changes.empty());
}

TEST_F(WidgetTest, ArrowKeysMoveTheClickedKnob) {
    knob->setValue(0.5f);
    VstKeyCode up{0, VKEY_UP, 0};
    // No view was clicked yet: the key is not taken.
    EXPECT_EQ(frame->onKeyDown(up), -1);
    frame->windowMouseDown(CPoint(150, 150), kLButton);
    frame->windowMouseUp(CPoint(150, 150), 0);
    EXPECT_EQ(frame->onKeyDown(up), 1);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.6f);
    VstKeyCode down{0, VKEY_DOWN, MODIFIER_SHIFT};
    EXPECT_EQ(frame->onKeyDown(down), 1);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.59f);
    VstKeyCode letter{'a', 0, 0};
    EXPECT_EQ(frame->onKeyDown(letter), -1);
}

TEST_F(WidgetTest, RedrawsOnlyWhatIsDirtyOrChanged) {
    frame->idle();  // first picture: everything
    auto* w = guitest::MockWindow::current;
    ASSERT_NE(w, nullptr);
    ASSERT_FALSE(w->presented.empty());
    EXPECT_EQ(w->presented.front(), CRect(0, 0, 400, 300));
    w->presented.clear();
    frame->idle();
    EXPECT_TRUE(w->presented.empty()) << "nothing changed, nothing drawn";
    knob->setValue(0.75f);
    EXPECT_TRUE(knob->isDirty());
    frame->idle();
    ASSERT_EQ(w->presented.size(), 1u);
    EXPECT_EQ(w->presented[0], knob->getViewSize());
    EXPECT_FALSE(knob->isDirty());
    w->presented.clear();
    // The same value again is no change.
    knob->setValue(0.75f);
    frame->idle();
    EXPECT_TRUE(w->presented.empty());
    button->setDirty();
    frame->idle();
    ASSERT_EQ(w->presented.size(), 1u);
    EXPECT_EQ(w->presented[0], button->getViewSize());
}

TEST_F(WidgetTest, TextLabelStyleZero) {
    auto* label = new CTextLabel(CRect(10, 250, 110, 265), "hello", nullptr, 0);
    label->setFont(kNormalFont);
    label->setFontColor(CColor{60, 60, 60, 0});
    label->setBackColor(CColor{1, 2, 3, 255});
    label->setFrameColor(CColor{4, 5, 6, 255});
    label->setHoriAlign(kLeftText);
    char text[] = "changed";
    label->setText(text);
    text[0] = 'X';  // the label keeps its own copy
    frame->addView(label);
    frame->idle();
    auto& ctx = guitest::MockWindow::current->context;
    ASSERT_FALSE(ctx.texts.empty());
    const auto& t = ctx.texts.back();
    EXPECT_EQ(t.text, "changed");
    EXPECT_EQ(t.pixelHeight, 12);
    EXPECT_EQ(t.color.red, 60);
    EXPECT_EQ(t.align, kLeftText);
    bool filled = false, framed = false;
    for (const auto& f : ctx.fills) filled |= f.area == label->getViewSize() && f.color.red == 1;
    for (const auto& f : ctx.frames) framed |= f.area == label->getViewSize() && f.color.red == 4;
    EXPECT_TRUE(filled);
    EXPECT_TRUE(framed);
}

}  // namespace
