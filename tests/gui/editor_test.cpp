// The editor in-process on the recording back end: its window, layout,
// quantisation, status label, meters and parameter echo.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "dsp/BlockSettings.h"
#include "editor/Layout.h"
#include "tests/gui/EditorFixture.h"

using namespace VSTGUI;
using namespace kvbeditor;
using guitest::EditorFixture;
using guitest::ManualClock;
using guitest::MockWindow;

namespace {

constexpr int kOptThr1 = 0, kDisAtk1 = 3, kDisGain1 = 6, kOptGain2 = 8, kOptMode = 14,
              kMeterMode = 15, kTrafo1 = 16, kTrafo2 = 17, kOptByp1 = 18, kMSMode = 25;

class Editor : public EditorFixture {};

TEST_F(Editor, RectIsKnownBeforeTheFirstOpen) {
    vst::ERect* r = nullptr;
    ASSERT_EQ(dispatch(vst::effEditGetRect, 0, 0, &r), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->top, 0);
    EXPECT_EQ(r->left, 0);
    EXPECT_EQ(r->bottom, 616);
    EXPECT_EQ(r->right, 1100);
    EXPECT_EQ(MockWindow::current, nullptr);
}

TEST_F(Editor, OpenBuildsTheViewsInOrderWithTheirGeometry) {
    for (int i = 0; i < 28; ++i) setParam(i, static_cast<float>(i) / 40.0f);
    ASSERT_TRUE(open());
    ASSERT_NE(frame(), nullptr);
    ASSERT_NE(MockWindow::current, nullptr);
    EXPECT_EQ(MockWindow::current->width, 1100);
    EXPECT_EQ(MockWindow::current->height, 616);
    EXPECT_EQ(MockWindow::current->parent, reinterpret_cast<void*>(0x5a5a));
    ASSERT_EQ(frame()->getNbViews(), 30);
    EXPECT_EQ(frame()->getView(0), editor->getCaptionLabel());
    EXPECT_EQ(frame()->getView(1), editor->getStatusLabel());
    EXPECT_EQ(editor->getCaptionLabel()->getViewSize(), CRect(890, 601, 1096, 611));
    EXPECT_EQ(editor->getStatusLabel()->getViewSize(), CRect(10, 595, 112, 610));
    for (int i = 0; i < kNumControls; ++i) {
        const ControlLayout& c = kControls[i];
        auto* v = dynamic_cast<CControl*>(frame()->getView(i + 2));
        ASSERT_NE(v, nullptr) << i;
        EXPECT_EQ(v->getTag(), c.tag);
        EXPECT_EQ(v, control(c.tag));
        EXPECT_EQ(v->getViewSize(), CRect(c.left, c.top, c.right, c.bottom)) << "tag " << c.tag;
        EXPECT_FLOAT_EQ(v->getValue(), param(c.tag)) << "tag " << c.tag;
        EXPECT_EQ(v->getListener(), editor);
        auto* knob = dynamic_cast<CAnimKnob*>(v);
        const bool meter = dynamic_cast<MyCAnimMeter*>(v) != nullptr;
        switch (c.kind) {
        case ViewKind::Knob:
            ASSERT_NE(knob, nullptr);
            EXPECT_FALSE(meter);
            break;
        case ViewKind::Meter:
            EXPECT_TRUE(meter);
            break;
        case ViewKind::Switch:
            EXPECT_NE(dynamic_cast<COnOffButton*>(v), nullptr);
            break;
        }
        if (knob) {
            EXPECT_EQ(knob->getSubPixmaps(), c.frames);
            EXPECT_EQ(knob->getHeightOfOneImage(), c.bottom - c.top);
            EXPECT_FLOAT_EQ(knob->getDefaultValue(), 0.5f);
            EXPECT_FLOAT_EQ(knob->getWheelInc(), 0.1f);
        }
    }
}

TEST_F(Editor, LabelsAndCaption) {
    ASSERT_TRUE(open());
    const std::string caption = editor->getCaptionText();
    EXPECT_EQ(caption.size(), 40u);
    for (char ch : caption) EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << "caption not restored";
    CTextLabel* c = editor->getCaptionLabel();
    EXPECT_EQ(std::string(c->getText()), caption);
    EXPECT_EQ(c->getFont(), kNormalFontVerySmall);
    EXPECT_EQ(c->getFontColor(), (CColor{40, 40, 40, 255}));
    EXPECT_EQ(c->getBackColor(), (CColor{4, 18, 38, 255}));
    EXPECT_EQ(c->getFrameColor(), (CColor{4, 18, 38, 255}));
    EXPECT_EQ(c->getHoriAlign(), kRightText);
    CTextLabel* s = editor->getStatusLabel();
    EXPECT_STREQ(s->getText(), "---");
    EXPECT_EQ(s->getFont(), kNormalFont);
    EXPECT_EQ(s->getFontColor(), (CColor{60, 60, 60, 0}));
    EXPECT_EQ(s->getBackColor(), kBlackCColor);
    EXPECT_EQ(s->getFrameColor(), kBlackCColor);
    EXPECT_EQ(s->getHoriAlign(), kLeftText);

    // Drawn with the colours' red, green and blue (alpha 0 still shows).
    idle();
    bool statusDrawn = false;
    for (const auto& t : MockWindow::current->context.texts)
        if (t.text == "---") {
            statusDrawn = true;
            EXPECT_EQ(t.pixelHeight, 12);
            EXPECT_EQ(t.family, "Arial");
        }
    EXPECT_TRUE(statusDrawn);

    close();
    ASSERT_TRUE(open());
    EXPECT_EQ(std::string(editor->getCaptionText()), caption);
    EXPECT_EQ(std::string(editor->getCaptionLabel()->getText()), caption);
}

TEST_F(Editor, FirstPictureShowsTheFrameEachValueSelects) {
    setParam(kOptThr1, 0.5f);
    setParam(kDisAtk1, 1.0f / 6.0f);
    setParam(kDisGain1, 1.0f);
    setParam(kOptMode, 2.0f / 3.0f);
    setParam(kMeterMode, 1.0f / 3.0f);
    setParam(kOptByp1, 1.0f);
    setParam(kMSMode, 0.0f);
    ASSERT_TRUE(open());
    idle();
    EXPECT_EQ(drawnFrame(kOptThr1), 11);
    EXPECT_EQ(drawnFrame(kDisAtk1), 0);
    EXPECT_EQ(drawnFrame(kDisGain1), 23);
    EXPECT_EQ(drawnFrame(kOptMode), 2);    // 2/3 runs mode 2
    EXPECT_EQ(drawnFrame(kMeterMode), 1);  // 1/3 runs mode 1
    EXPECT_EQ(drawnFrame(kOptByp1), 1);
    EXPECT_EQ(drawnFrame(kMSMode), 0);
    // No audio yet: the meters rest at 0 dB, the last frame.
    idle();
    EXPECT_EQ(drawnFrame(kMeter1Tag), 60);
    EXPECT_EQ(drawnFrame(kMeter2Tag), 60);
}

TEST_F(Editor, DraggingOptThr1QuantisesToTwentyFourths) {
    setParam(kOptThr1, 0.0f);
    ASSERT_TRUE(open());
    TestHost::calls.clear();
    const CPoint c = centreOf(kOptThr1);
    drag(c, CPoint(c.x + 102, c.y));  // 0.51 of the range
    EXPECT_EQ(param(kOptThr1), 0.5f);
    EXPECT_EQ(control(kOptThr1)->getValue(), 0.5f);
    EXPECT_STREQ(editor->getStatusText(), "Parameter 0.50");
    EXPECT_STREQ(editor->getStatusLabel()->getText(), "Parameter 0.50");
    const auto automation = hostCalls(vst::audioMasterAutomate);
    ASSERT_EQ(automation.size(), 1u);
    EXPECT_EQ(automation[0].index, kOptThr1);
    EXPECT_EQ(automation[0].opt, 0.5f);
    EXPECT_EQ(gestureCalls(), (std::vector<vst::int32>{vst::audioMasterBeginEdit,
                                                       vst::audioMasterAutomate,
                                                       vst::audioMasterEndEdit}));
    EXPECT_EQ(hostCalls(vst::audioMasterBeginEdit)[0].index, kOptThr1);
    EXPECT_EQ(hostCalls(vst::audioMasterEndEdit)[0].index, kOptThr1);
    idle();
    EXPECT_EQ(drawnFrame(kOptThr1), 11);
}

TEST_F(Editor, QuantisingDoesNotHoldTheDragBack) {
    setParam(kOptThr1, 0.0f);
    ASSERT_TRUE(open());
    TestHost::calls.clear();
    const CPoint c = centreOf(kOptThr1);
    press(c);
    // One pixel at a time: each step alone rounds back to where it was.
    for (int dx = 1; dx <= 102; ++dx) move(CPoint(c.x + dx, c.y));
    release(CPoint(c.x + 102, c.y));
    EXPECT_EQ(param(kOptThr1), 0.5f);
    // The host hears each twenty-fourth once, in order, inside one gesture:
    // 102 moves, 12 new values.
    const auto automation = hostCalls(vst::audioMasterAutomate);
    ASSERT_EQ(automation.size(), 12u);
    for (std::size_t i = 0; i < automation.size(); ++i)
        EXPECT_EQ(automation[i].opt, static_cast<float>(i + 1) / 24.0f) << i;
    EXPECT_EQ(hostCalls(vst::audioMasterBeginEdit).size(), 1u);
    EXPECT_EQ(hostCalls(vst::audioMasterEndEdit).size(), 1u);
}

TEST_F(Editor, ADragOnASixStepKnobSendsEachStepOnceInOneGesture) {
    setParam(kDisAtk1, 0.0f);
    ASSERT_TRUE(open());
    TestHost::calls.clear();
    const CPoint c = centreOf(kDisAtk1);
    press(c);
    for (int dx = 1; dx <= 100; ++dx) move(CPoint(c.x + dx, c.y));
    release(CPoint(c.x + 100, c.y));
    // Half the range: three sixths up, one value each (the knob's grid has a
    // value for each sixth; the processing reads 0 and 1/6 alike).
    EXPECT_EQ(gestureCalls(), (std::vector<vst::int32>{vst::audioMasterBeginEdit, vst::audioMasterAutomate,
                                                       vst::audioMasterAutomate, vst::audioMasterAutomate,
                                                       vst::audioMasterEndEdit}));
    std::vector<float> sent;
    for (const auto& a : hostCalls(vst::audioMasterAutomate)) sent.push_back(a.opt);
    EXPECT_EQ(sent, (std::vector<float>{1.0f / 6.0f, 2.0f / 6.0f, 0.5f}));
    EXPECT_EQ(param(kDisAtk1), 0.5f);
    // A wheel step that stays within the step tells the host nothing.
    TestHost::calls.clear();
    wheel(c, 0.01f);
    EXPECT_TRUE(hostCalls(vst::audioMasterAutomate).empty());
    EXPECT_EQ(control(kDisAtk1)->getValue(), 0.5f);
}

TEST_F(Editor, UpwardDragCountsLikeRightward) {
    setParam(kOptGain2, 0.0f);
    ASSERT_TRUE(open());
    const CPoint c = centreOf(kOptGain2);
    drag(c, CPoint(c.x, c.y - 51));  // 0.255 -> 6/24
    EXPECT_EQ(param(kOptGain2), 6.0f / 24.0f);
}

TEST_F(Editor, ShiftDragIsFiner) {
    setParam(kOptThr1, 0.0f);
    ASSERT_TRUE(open());
    const CPoint c = centreOf(kOptThr1);
    drag(c, CPoint(c.x + 153, c.y), kLButton | kShift);  // 0.51 at 300 px
    EXPECT_EQ(param(kOptThr1), 0.5f);
    drag(c, CPoint(c.x + 30, c.y));  // from 0.5 by 0.15 at 200 px: 0.65 -> 16/24
    EXPECT_EQ(param(kOptThr1), 16.0f / 24.0f);
}

TEST_F(Editor, OptModeDraggedSendsTheNearestOfItsThreeValues) {
    setParam(kOptMode, 0.0f);
    ASSERT_TRUE(open());
    const CPoint c = centreOf(kOptMode);
    drag(c, CPoint(c.x + 40, c.y));  // 0.2
    EXPECT_EQ(param(kOptMode), 0.0f);
    EXPECT_STREQ(editor->getStatusText(), "Parameter 0.00");
    drag(c, CPoint(c.x + 60, c.y));  // 0.3
    EXPECT_EQ(param(kOptMode), 0.5f);
    EXPECT_STREQ(editor->getStatusText(), "Parameter 0.50");
    idle();
    EXPECT_EQ(drawnFrame(kOptMode), 1);
}

// The modes the chain runs with the effect's live values.
BlockSettings chainSettings(EditorFixture& f, vst::AEffect* e) {
    (void)f;
    float p[kProcessingParams];
    for (int i = 0; i < kProcessingParams; ++i) p[i] = processingValue(e->getParameter(e, i));
    return deriveBlockSettings(p, 1.0f, 0.25f);
}

TEST_F(Editor, ThreePositionKnobsShowTheModeTheChainRuns) {
    setParam(kMSMode, 0.0f);  // mid/side: Trafo2 sets channel 2's own mode
    ASSERT_TRUE(open());
    const float values[] = {0.0f, 0.2f, 1.0f / 3.0f, 0.5f, 2.0f / 3.0f, 0.7f, 1.0f};
    const int modes[] = {0, 0, 1, 1, 2, 2, 2};
    for (int tag : {kOptMode, kMeterMode, kTrafo1, kTrafo2}) {
        for (int i = 0; i < 7; ++i) {
            setParam(tag, values[i]);
            idle();
            const BlockSettings b = chainSettings(*this, effect);
            const int running = tag == kOptMode     ? b.optMode
                                : tag == kMeterMode ? b.meterMode
                                                    : b.trafoMode[tag - kTrafo1];
            EXPECT_EQ(running, modes[i]) << "tag " << tag << " at " << values[i];
            EXPECT_EQ(drawnFrame(tag), running) << "tag " << tag << " at " << values[i];
        }
    }
}

TEST_F(Editor, DraggingAThreePositionKnobSendsOnlyItsChanges) {
    setParam(kTrafo1, 0.0f);
    ASSERT_TRUE(open());
    TestHost::calls.clear();
    const CPoint c = centreOf(kTrafo1);
    press(c);
    for (int d = 1; d <= 210; ++d) {
        move(CPoint(c.x + d, c.y));
        idle();
        ASSERT_EQ(drawnFrame(kTrafo1), chainSettings(*this, effect).trafoMode[0]) << d << " px";
    }
    for (int d = 209; d >= -10; --d) move(CPoint(c.x + d, c.y));
    release(CPoint(c.x - 10, c.y));
    // Up to the end and back: each change once, never the value it had.
    std::vector<float> sent;
    for (const auto& a : hostCalls(vst::audioMasterAutomate)) sent.push_back(a.opt);
    EXPECT_EQ(sent, (std::vector<float>{0.5f, 1.0f, 0.5f, 0.0f}));
    EXPECT_EQ(param(kTrafo1), 0.0f);
}

TEST_F(Editor, ControlClickSetsHalfThenQuantises) {
    setParam(kOptMode, 0.0f);
    setParam(kDisAtk1, 1.0f);
    setParam(kOptThr1, 0.0f);
    ASSERT_TRUE(open());
    TestHost::calls.clear();
    click(centreOf(kOptMode), kLButton | kControl);
    EXPECT_EQ(param(kOptMode), 0.5f);
    EXPECT_STREQ(editor->getStatusText(), "Parameter 0.50");
    EXPECT_EQ(gestureCalls(), (std::vector<vst::int32>{vst::audioMasterBeginEdit,
                                                       vst::audioMasterAutomate,
                                                       vst::audioMasterEndEdit}));
    click(centreOf(kDisAtk1), kLButton | kControl);
    EXPECT_EQ(param(kDisAtk1), 0.5f);
    click(centreOf(kOptThr1), kLButton | kControl);
    EXPECT_EQ(param(kOptThr1), 0.5f);
}

TEST_F(Editor, ClickingASwitchFlipsIt) {
    setParam(kOptByp1, 0.0f);
    ASSERT_TRUE(open());
    TestHost::calls.clear();
    click(centreOf(kOptByp1));
    EXPECT_EQ(param(kOptByp1), 1.0f);
    EXPECT_STREQ(editor->getStatusText(), "Parameter 1.00");
    EXPECT_EQ(gestureCalls(), (std::vector<vst::int32>{vst::audioMasterBeginEdit,
                                                       vst::audioMasterAutomate,
                                                       vst::audioMasterEndEdit}));
    idle();
    EXPECT_EQ(drawnFrame(kOptByp1), 1);
    click(centreOf(kOptByp1));
    EXPECT_EQ(param(kOptByp1), 0.0f);
    EXPECT_STREQ(editor->getStatusText(), "Parameter 0.00");
    // Right clicks do nothing.
    click(centreOf(kOptByp1), kRButton);
    EXPECT_EQ(param(kOptByp1), 0.0f);
}

TEST_F(Editor, TheSwitchOverlappingATransformerKnobGetsTheClick) {
    setParam(kMSMode, 0.0f);
    setParam(kTrafo1, 0.0f);
    ASSERT_TRUE(open());
    const CPoint overlap(526, 530);
    ASSERT_TRUE(control(kTrafo1)->getViewSize().pointInside(overlap));
    ASSERT_TRUE(control(kMSMode)->getViewSize().pointInside(overlap));
    click(overlap);
    EXPECT_EQ(param(kMSMode), 1.0f);
    EXPECT_EQ(param(kTrafo1), 0.0f);
}

TEST_F(Editor, WheelOverKnobs) {
    setParam(kOptMode, 0.5f);
    setParam(kDisAtk1, 2.0f / 6.0f);
    setParam(kOptThr1, 12.0f / 24.0f);
    ASSERT_TRUE(open());
    // A three-position knob cannot be moved: 0.1 rounds back.
    for (float d : {1.0f, -1.0f, 1.0f, 1.0f}) {
        EXPECT_TRUE(wheel(centreOf(kOptMode), d));
        EXPECT_EQ(param(kOptMode), 0.5f);
        EXPECT_EQ(control(kOptMode)->getValue(), 0.5f);
    }
    // A six-step knob moves one step per unit.
    EXPECT_TRUE(wheel(centreOf(kDisAtk1), 1.0f));
    EXPECT_FLOAT_EQ(param(kDisAtk1), 3.0f / 6.0f);
    EXPECT_TRUE(wheel(centreOf(kDisAtk1), 1.0f));
    EXPECT_FLOAT_EQ(param(kDisAtk1), 4.0f / 6.0f);
    EXPECT_TRUE(wheel(centreOf(kDisAtk1), -1.0f));
    EXPECT_FLOAT_EQ(param(kDisAtk1), 3.0f / 6.0f);
    // A 24-step knob moves two.
    EXPECT_TRUE(wheel(centreOf(kOptThr1), 1.0f));
    EXPECT_FLOAT_EQ(param(kOptThr1), 14.0f / 24.0f);
    EXPECT_TRUE(wheel(centreOf(kOptThr1), -1.0f));
    EXPECT_FLOAT_EQ(param(kOptThr1), 12.0f / 24.0f);
    // With Shift neither moves.
    EXPECT_TRUE(wheel(centreOf(kDisAtk1), 1.0f, kShift));
    EXPECT_FLOAT_EQ(param(kDisAtk1), 3.0f / 6.0f);
    EXPECT_TRUE(wheel(centreOf(kOptThr1), -1.0f, kShift));
    EXPECT_FLOAT_EQ(param(kOptThr1), 12.0f / 24.0f);
}

TEST_F(Editor, EachWheelStepIsOneGesture) {
    setParam(kDisAtk1, 0.0f);
    ASSERT_TRUE(open());
    TestHost::calls.clear();
    wheel(centreOf(kDisAtk1), 1.0f);
    wheel(centreOf(kDisAtk1), 1.0f);
    const auto g = gestureCalls();
    const std::vector<vst::int32> one{vst::audioMasterBeginEdit, vst::audioMasterAutomate,
                                      vst::audioMasterEndEdit};
    ASSERT_EQ(g.size(), 6u);
    EXPECT_EQ(std::vector<vst::int32>(g.begin(), g.begin() + 3), one);
    EXPECT_EQ(std::vector<vst::int32>(g.begin() + 3, g.end()), one);
}

TEST_F(Editor, WheelOverASwitchDoesNothing) {
    setParam(kOptByp1, 0.0f);
    ASSERT_TRUE(open());
    TestHost::calls.clear();
    EXPECT_FALSE(wheel(centreOf(kOptByp1), 1.0f));
    EXPECT_EQ(param(kOptByp1), 0.0f);
    EXPECT_TRUE(gestureCalls().empty());
}

TEST_F(Editor, HostWheelMessageReachesTheViewUnderThePointer) {
    setParam(kDisAtk1, 0.0f);
    ASSERT_TRUE(open());
    const vst::int32 stCA = vst::fourCC('s', 't', 'C', 'A');
    const vst::intptr whee = vst::fourCC('W', 'h', 'e', 'e');
    MockWindow::current->pointer = centreOf(kDisAtk1);
    EXPECT_EQ(dispatch(vst::effVendorSpecific, stCA, whee, nullptr, 1.0f), 1);
    EXPECT_FLOAT_EQ(param(kDisAtk1), 1.0f / 6.0f);
    // Another pair is not the wheel.
    EXPECT_EQ(dispatch(vst::effVendorSpecific, stCA, whee + 1, nullptr, 1.0f), 0);
    EXPECT_FLOAT_EQ(param(kDisAtk1), 1.0f / 6.0f);
    // Over a switch, or outside the window, nothing takes it.
    MockWindow::current->pointer = centreOf(kOptByp1);
    EXPECT_EQ(dispatch(vst::effVendorSpecific, stCA, whee, nullptr, 1.0f), 0);
    MockWindow::current->pointer = CPoint(1200, 10);
    EXPECT_EQ(dispatch(vst::effVendorSpecific, stCA, whee, nullptr, 1.0f), 0);
    close();
    EXPECT_EQ(dispatch(vst::effVendorSpecific, stCA, whee, nullptr, 1.0f), 0);
}

TEST_F(Editor, MetersIgnoreTheMouse) {
    ManualClock::now = 100000;
    setTickSource(&ManualClock::read);
    ASSERT_TRUE(open());
    idle();
    const float before = control(kMeter1Tag)->getValue();
    TestHost::calls.clear();
    const CPoint c = centreOf(kMeter1Tag);
    drag(c, CPoint(c.x + 80, c.y - 40));
    click(c, kLButton | kControl);
    EXPECT_EQ(control(kMeter1Tag)->getValue(), before);
    EXPECT_TRUE(TestHost::calls.empty());
    EXPECT_EQ(frame()->getTrackingView(), nullptr);
    EXPECT_STREQ(editor->getStatusText(), "---");
}

TEST_F(Editor, WheelOverAMeterReportsItUnquantisedUntilTheNextRefresh) {
    ManualClock::now = 100000;
    setTickSource(&ManualClock::read);
    ASSERT_TRUE(open());
    idle();  // refresh: at rest, 1.0
    ASSERT_EQ(control(kMeter2Tag)->getValue(), 1.0f);
    TestHost::calls.clear();
    EXPECT_TRUE(wheel(centreOf(kMeter2Tag), -1.0f, kShift));
    EXPECT_FLOAT_EQ(control(kMeter2Tag)->getValue(), 0.99f);
    const auto a = hostCalls(vst::audioMasterAutomate);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].index, kMeter2Tag);
    EXPECT_FLOAT_EQ(a[0].opt, 0.99f);
    EXPECT_FLOAT_EQ(param(kMeter2Tag), 0.99f);
    EXPECT_STREQ(editor->getStatusText(), "Parameter 0.99");
    ManualClock::now += 61;
    idle();
    EXPECT_EQ(control(kMeter2Tag)->getValue(), 1.0f);
}

std::atomic<float>& published(Controlsgui* kvb, int meter) {
    // The processing writes these; the test plays its part.
    return const_cast<std::atomic<float>&>(meter == 0 ? *kvb->getMeter1Address()
                                                      : *kvb->getMeter2Address());
}

TEST_F(Editor, MetersShowThePublishedGainReduction) {
    ManualClock::now = 100000;
    setTickSource(&ManualClock::read);
    ASSERT_TRUE(open());
    const std::pair<float, int> cases[] = {{0.0f, 60}, {15.0f, 30}, {10.0f, 39}, {30.0f, 0},
                                           {45.0f, 0}, {-2.0f, 60}, {3.25f, 53}};
    for (const auto& [db, frameIndex] : cases) {
        published(kvb, 0).store(db);
        published(kvb, 1).store(db * 0.5f);
        ManualClock::now += 100;
        idle();  // refresh
        idle();  // draw
        EXPECT_EQ(drawnFrame(kMeter1Tag), frameIndex) << db << " dB";
        EXPECT_EQ(control(kMeter2Tag)->getValue(), ControlsguiEditor::meterValueFor(db * 0.5f));
    }
}

TEST_F(Editor, MetersRestWhileTheHostHasProcessingSuspended) {
    ManualClock::now = 100000;
    setTickSource(&ManualClock::read);
    for (int i : {kOptThr1, 2}) setParam(i, 0.0f);  // both stages reduce gain
    setParam(20, 0.0f);                               // Dis stage on
    setParam(kMeterMode, 1.0f);                       // Opt and Dis of channel 1
    dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(vst::effMainsChanged, 0, 1);
    std::vector<float> in(4410), out(4410);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = 0.5f * std::sin(0.0628f * static_cast<float>(i));
    auto play = [&] {
        for (int block = 0; block < 10; ++block) {
            float* ins[2] = {in.data(), in.data()};
            float* outs[2] = {out.data(), out.data()};
            effect->processReplacing(effect, ins, outs, static_cast<vst::int32>(in.size()));
        }
    };
    auto refresh = [&] {
        ManualClock::now += 100;
        idle();  // refresh
        idle();  // draw
    };
    play();
    ASSERT_TRUE(open());
    refresh();
    EXPECT_LT(drawnFrame(kMeter1Tag), 60);
    EXPECT_LT(drawnFrame(kMeter2Tag), 60);

    dispatch(vst::effMainsChanged, 0, 0);
    refresh();
    EXPECT_EQ(drawnFrame(kMeter1Tag), 60);
    EXPECT_EQ(drawnFrame(kMeter2Tag), 60);
    refresh();
    EXPECT_EQ(drawnFrame(kMeter1Tag), 60) << "and they stay at rest while suspended";

    dispatch(vst::effMainsChanged, 0, 1);
    play();
    refresh();
    EXPECT_LT(drawnFrame(kMeter1Tag), 60) << "resumed, they follow the signal again";
    EXPECT_LT(drawnFrame(kMeter2Tag), 60);
}

TEST_F(Editor, MetersAreRedrawnAfterEveryRefreshEvenWithoutMovement) {
    ManualClock::now = 100000;
    setTickSource(&ManualClock::read);
    ASSERT_TRUE(open());
    idle();
    idle();
    clearDrawing();
    idle();
    EXPECT_EQ(drawnFrame(kMeter1Tag), -1) << "no refresh, no drawing";
    ManualClock::now += 61;
    idle();  // refresh marks them dirty
    idle();
    EXPECT_EQ(drawnFrame(kMeter1Tag), 60);
    EXPECT_EQ(drawnFrame(kMeter2Tag), 60);
}

// Idles at the given spacing and answers the times at which meter 1 took a
// new published value.
std::vector<std::uint32_t> meterMoves(EditorFixture& f, Controlsgui* kvb, ControlsguiEditor* ed,
                                      std::uint32_t spacing, int idles) {
    (void)f;
    std::vector<std::uint32_t> moves;
    float last = -1.0f;
    for (int i = 0; i < idles; ++i) {
        published(kvb, 0).store(static_cast<float>(i % 29) + 0.5f);
        ed->idle();
        const float v = ed->getControl(kMeter1Tag)->getValue();
        if (v != last) moves.push_back(ManualClock::now);
        last = v;
        ManualClock::now += spacing;
    }
    return moves;
}

TEST_F(Editor, MeterRefreshCadenceFollowsTheIdleRate) {
    setTickSource(&ManualClock::read);
    ManualClock::now = 5000;
    ASSERT_TRUE(open());
    auto moves = meterMoves(*this, kvb, editor, 50, 9);
    EXPECT_EQ(moves, (std::vector<std::uint32_t>{5000, 5100, 5200, 5300, 5400}));
    ManualClock::now = 20000;
    moves = meterMoves(*this, kvb, editor, 25, 10);
    EXPECT_EQ(moves, (std::vector<std::uint32_t>{20000, 20075, 20150, 20225}));
}

TEST_F(Editor, MeterRefreshSurvivesTheTickCounterWrapping) {
    setTickSource(&ManualClock::read);
    ManualClock::now = 0xFFFFFFF0u;
    ASSERT_TRUE(open());
    published(kvb, 0).store(15.0f);
    idle();
    EXPECT_FLOAT_EQ(control(kMeter1Tag)->getValue(), 0.5f);
    published(kvb, 0).store(0.0f);
    ManualClock::now = 0x00000050u;  // 96 ms later, past the wrap
    idle();
    EXPECT_FLOAT_EQ(control(kMeter1Tag)->getValue(), 1.0f);
}

TEST_F(Editor, MetersKeepMovingDuringADrag) {
    setTickSource(&ManualClock::read);
    ManualClock::now = 5000;
    ASSERT_TRUE(open());
    idle();
    const CPoint c = centreOf(kOptThr1);
    press(c);
    published(kvb, 0).store(15.0f);
    ManualClock::now += 100;
    move(CPoint(c.x + 10, c.y));  // the knob lets the editor idle
    EXPECT_FLOAT_EQ(control(kMeter1Tag)->getValue(), 0.5f);
    release(CPoint(c.x + 10, c.y));
    EXPECT_GT(static_cast<int>(hostCalls(vst::audioMasterIdle).size()), 0);
}

TEST_F(Editor, HostAutomationMovesTheKnobUnquantisedAndLeavesTheStatus) {
    ASSERT_TRUE(open());
    idle();
    clearDrawing();
    setParam(kOptGain2, 0.3f);
    EXPECT_EQ(control(kOptGain2)->getValue(), 0.3f);
    idle();
    EXPECT_EQ(drawnFrame(kOptGain2), 6);  // floor(0.3 * 23)
    EXPECT_STREQ(editor->getStatusText(), "---");
    for (const auto& t : MockWindow::current->context.texts) EXPECT_NE(t.text, "---");
    // A program change takes the same road.
    setParam(kOptThr1, 0.123f);
    dispatch(vst::effSetProgram, 0, 1);
    EXPECT_NE(param(kOptThr1), 0.123f);
    EXPECT_EQ(control(kOptThr1)->getValue(), param(kOptThr1));
}

TEST_F(Editor, ParametersFromAnotherThreadAreTakenAtTheNextIdle) {
    setParam(kOptGain2, 0.0f);
    ASSERT_TRUE(open());
    idle();
    std::thread([this] { setParam(kOptGain2, 0.75f); }).join();
    EXPECT_EQ(param(kOptGain2), 0.75f);
    EXPECT_EQ(control(kOptGain2)->getValue(), 0.0f) << "no widget is touched off the UI thread";
    idle();
    EXPECT_EQ(control(kOptGain2)->getValue(), 0.75f);
    EXPECT_EQ(drawnFrame(kOptGain2), 17);  // floor(0.75 * 23)
}

TEST_F(Editor, AutomationFromAnotherThreadWhileTheWindowComesAndGoes) {
    std::atomic<bool> stop{false};
    std::thread automation([&] {
        float v = 0.0f;
        while (!stop.load()) {
            for (int i = 0; i < 51; ++i) setParam(i, v);
            v = v > 0.9f ? 0.0f : v + 0.01f;
        }
    });
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(open());
        idle();
        close();
    }
    stop.store(true);
    automation.join();
    ASSERT_TRUE(open());
    idle();
    for (int tag = 0; tag < kNumParamControls; ++tag) EXPECT_EQ(control(tag)->getValue(), param(tag));
}

// Automation that changes a parameter while the window is being built must
// not be lost: whatever the last change before the window was marked open,
// the first idle after it shows the live value. The automation thread writes
// at a pace of about a third of one opening, so that over many openings its
// last write falls at every point of open().
TEST_F(Editor, AChangeWhileTheWindowOpensIsShownByTheNextIdle) {
    using Clock = std::chrono::steady_clock;
    ASSERT_TRUE(open());
    close();
    const auto started = Clock::now();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(open());
        close();
    }
    const auto pace = (Clock::now() - started) / 15;

    int stale = 0;
    for (int round = 0; round < 40; ++round) {
        std::atomic<bool> stop{false};
        std::atomic<int> writes{0};
        std::thread automation([&] {
            for (int i = round; !stop.load(); ++i) {
                setParam(kOptThr1, static_cast<float>(i % 97) / 96.0f);
                writes.fetch_add(1);
                const auto until = Clock::now() + pace * (1 + i % 3) / 2;
                while (Clock::now() < until && !stop.load()) {
                }
            }
        });
        while (writes.load() == 0) std::this_thread::yield();
        ASSERT_TRUE(open());
        stop.store(true);
        automation.join();
        idle();
        for (int tag = 0; tag < kNumParamControls; ++tag)
            if (control(tag)->getValue() != param(tag)) ++stale;
        close();
    }
    EXPECT_EQ(stale, 0) << "openings after which a control showed a stale value";
}

TEST_F(Editor, IndicesAboveTwentyFiveChangeNothing) {
    setTickSource(&ManualClock::read);
    ManualClock::now = 5000;
    ASSERT_TRUE(open());
    idle();  // first refresh
    idle();  // draws it
    const float m1 = control(kMeter1Tag)->getValue();
    clearDrawing();
    setParam(26, 0.25f);
    setParam(27, 0.25f);
    setParam(30, 0.25f);
    setParam(50, 0.25f);
    EXPECT_EQ(param(26), 0.25f);
    EXPECT_EQ(control(kMeter1Tag)->getValue(), m1);
    EXPECT_EQ(control(kMeter2Tag)->getValue(), m1);
    idle();
    EXPECT_TRUE(MockWindow::current->presented.empty());
    EXPECT_EQ(drawnFrame(kMeter1Tag), -1);
}

TEST_F(Editor, StatusLabelStartsAtDashesAfterEveryOpen) {
    ASSERT_TRUE(open());
    click(centreOf(kOptByp1));
    EXPECT_STRNE(editor->getStatusText(), "---");
    close();
    ASSERT_TRUE(open());
    EXPECT_STREQ(editor->getStatusText(), "---");
    EXPECT_STREQ(editor->getStatusLabel()->getText(), "---");
}

TEST_F(Editor, ReopenedWindowShowsCurrentValues) {
    ASSERT_TRUE(open());
    close();
    setParam(kOptThr1, 0.25f);  // while closed: nothing to update
    idle();
    EXPECT_EQ(control(kOptThr1), nullptr);
    ASSERT_TRUE(open());
    EXPECT_EQ(control(kOptThr1)->getValue(), 0.25f);
    EXPECT_EQ(MockWindow::openCount, 1);
}

TEST_F(Editor, CloseWithoutOpenAndTwiceChangesNothing) {
    close();
    close();
    ASSERT_TRUE(open());
    close();
    close();
    EXPECT_EQ(frame(), nullptr);
    EXPECT_EQ(MockWindow::openCount, 0);
    ASSERT_TRUE(open());
}

TEST_F(Editor, AWindowThatCannotBeMadeLeavesTheEditorClosed) {
    MockWindow::failNextOpen = true;
    EXPECT_FALSE(open());
    EXPECT_EQ(frame(), nullptr);
    setParam(kOptThr1, 0.5f);
    idle();
    EXPECT_TRUE(open());
    EXPECT_EQ(control(kOptThr1)->getValue(), 0.5f);
}

TEST_F(Editor, ClosingDuringADragEndsTheGesture) {
    ASSERT_TRUE(open());
    TestHost::calls.clear();
    const CPoint c = centreOf(kOptThr1);
    press(c);
    move(CPoint(c.x + 30, c.y));
    close();
    const auto g = gestureCalls();
    ASSERT_FALSE(g.empty());
    EXPECT_EQ(g.front(), vst::audioMasterBeginEdit);
    EXPECT_EQ(g.back(), vst::audioMasterEndEdit);
}

TEST_F(Editor, OutOfRangeHostValuesDrawInsideTheStrip) {
    ASSERT_TRUE(open());
    setParam(kOptThr1, 7.0f);
    setParam(kOptMode, -3.0f);
    setParam(kDisAtk1, std::nanf(""));
    idle();
    EXPECT_EQ(drawnFrame(kOptThr1), 23);
    EXPECT_EQ(drawnFrame(kOptMode), 0);
    EXPECT_EQ(drawnFrame(kDisAtk1), 0);
    // The wheel brings such a value back into the range.
    wheel(centreOf(kOptThr1), -1.0f);
    EXPECT_EQ(param(kOptThr1), 1.0f);
}

// --- scales ----------------------------------------------------------------------

CRect scaledRect(const ControlLayout& c, int percent) {
    return CRect(scaled(c.left, percent), scaled(c.top, percent), scaled(c.right, percent),
                 scaled(c.bottom, percent));
}

// A VST 2.4 editor takes the desktop's scale, here from QT_SCALE_FACTOR.
void setDesktopScale(int percent) {
    setenv("QT_SCALE_FACTOR", std::to_string(percent / 100.0).c_str(), 1);
}

TEST_F(Editor, AtEveryScaleTheWindowTextAndEveryControlTakeTheirScaledPlaces) {
    for (int percent : kScalePercents) {
        SCOPED_TRACE("scale " + std::to_string(percent));
        setDesktopScale(percent);
        ASSERT_TRUE(open());
        EXPECT_EQ(editor->getScalePercent(), percent);
        vst::ERect* r = nullptr;
        ASSERT_EQ(dispatch(vst::effEditGetRect, 0, 0, &r), 1);
        EXPECT_EQ(r->right, scaled(1100, percent));
        EXPECT_EQ(r->bottom, scaled(616, percent));
        EXPECT_EQ(MockWindow::current->width, r->right);
        EXPECT_EQ(MockWindow::current->height, r->bottom);
        for (const ControlLayout& c : kControls) {
            EXPECT_EQ(control(c.tag)->getViewSize(), scaledRect(c, percent)) << c.tag;
            if (auto* knob = dynamic_cast<CAnimKnob*>(control(c.tag))) {
                EXPECT_EQ(knob->getHeightOfOneImage(), scaledRect(c, percent).height()) << c.tag;
            }
        }
        idle();
        // The labels' text at the scale: 9 and 12 pixels at 100 %.
        int captionHeight = 0, statusHeight = 0;
        for (const auto& t : MockWindow::current->context.texts) {
            if (t.text == editor->getCaptionText()) captionHeight = t.pixelHeight;
            if (t.text == "---") statusHeight = t.pixelHeight;
        }
        EXPECT_EQ(captionHeight, scaled(9, percent));
        EXPECT_EQ(statusHeight, scaled(12, percent));
        close();
    }
    // A host's factor takes the nearest scale of the skin; nonsense keeps 100 %.
    const std::pair<double, int> nearest[] = {{1.1, 100}, {1.13, 125}, {1.33, 125}, {1.4, 150},
                                              {3.0, 200}, {0.5, 100}, {-1.0, 100}, {0.0, 100}};
    for (const auto& [factor, percent] : nearest) {
        editor->setScale(factor);
        EXPECT_EQ(editor->getScalePercent(), percent) << factor;
    }
    editor->setScale(std::nan(""));
    EXPECT_EQ(editor->getScalePercent(), 100);
}

TEST_F(Editor, ADragOfTheSameLengthOnScreenSendsTheSameValuesAtEveryScale) {
    // The same moves, in pixels of the screen, at 100, 150 and 200 %: every
    // distance in even pixels of the 100 % design, so that each is whole at
    // 150 %. Linear and fine (Shift) drags, and a knob of six steps.
    const int path[] = {6, 20, 52, 78, 60, 130, 210, -40};
    std::vector<std::vector<float>> sent;
    for (int percent : {100, 150, 200}) {
        setDesktopScale(percent);
        setParam(kOptThr1, 0.25f);
        setParam(kDisAtk1, 0.0f);
        ASSERT_TRUE(open());
        TestHost::calls.clear();
        const std::pair<int, long> drags[] = {{kOptThr1, kLButton}, {kOptThr1, kLButton | kShift},
                                               {kDisAtk1, kLButton}};
        for (const auto& [tag, buttons] : drags) {
            const CRect r = scaledRect(*controlOf(tag), percent);
            const CPoint c((r.left + r.right) / 2, (r.top + r.bottom) / 2);
            press(c, buttons);
            for (int d : path) move(CPoint(c.x + d * percent / 100, c.y - d * percent / 200), buttons);
            release(CPoint(c.x, c.y), buttons & kModifierMask);
        }
        std::vector<float> values;
        for (const auto& call : hostCalls(vst::audioMasterAutomate)) values.push_back(call.opt);
        sent.push_back(values);
        EXPECT_EQ(editor->getScalePercent(), percent);
        close();
    }
    EXPECT_GT(sent[0].size(), 10u);
    EXPECT_EQ(sent[1], sent[0]) << "150 %";
    EXPECT_EQ(sent[2], sent[0]) << "200 %";
}

TEST_F(Editor, ANewScaleWhileOpenResizesTheSameWindowAndEndsADrag) {
    setParam(kOptThr1, 0.0f);
    ASSERT_TRUE(open());
    MockWindow* window = MockWindow::current;
    idle();
    const CPoint c = centreOf(kOptThr1);
    press(c);
    move(CPoint(c.x + 60, c.y));
    TestHost::calls.clear();
    EXPECT_TRUE(editor->setScale(2.0));
    EXPECT_EQ(MockWindow::current, window) << "the same window, resized";
    EXPECT_EQ(window->resized, (std::vector<CRect>{CRect(0, 0, 2200, 1232)}));
    EXPECT_EQ(hostCalls(vst::audioMasterEndEdit).size(), 1u) << "the drag ends for the host";
    EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, 2200, 1232));
    EXPECT_EQ(control(kDisGain1)->getViewSize(), scaledRect(*controlOf(kDisGain1), 200));
    EXPECT_EQ(control(kOptThr1)->getValue(), param(kOptThr1)) << "values carried over";
    window->presented.clear();
    idle();
    ASSERT_FALSE(window->presented.empty());
    EXPECT_EQ(window->presented[0], CRect(0, 0, 2200, 1232)) << "drawn whole again";
    // The same scale again changes nothing; back to 100 % shrinks it.
    EXPECT_FALSE(editor->setScale(2.0));
    EXPECT_TRUE(editor->setScale(1.0));
    EXPECT_EQ(window->resized.back(), CRect(0, 0, 1100, 616));
    EXPECT_EQ(editor->width(), 1100);
}

TEST_F(Editor, NotANumberOrInfinityFromTheHostShowsWhatTheProcessingReadsAndNeverGoesBack) {
    const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
    setParam(kOptThr1, nan);
    setParam(kDisGain1, inf);
    setParam(kOptGain2, -inf);
    setParam(kOptByp1, nan);
    setParam(kOptMode, inf);
    ASSERT_TRUE(open());
    idle();
    // Not a number reads as 0, infinities as the nearer end.
    EXPECT_EQ(drawnFrame(kOptThr1), 0);
    EXPECT_EQ(drawnFrame(kDisGain1), 23);
    EXPECT_EQ(drawnFrame(kOptGain2), 0);
    EXPECT_EQ(drawnFrame(kOptByp1), 0);
    EXPECT_EQ(drawnFrame(kOptMode), 2);
    for (int tag : {kOptThr1, kDisGain1, kOptGain2, kOptByp1, kOptMode})
        EXPECT_TRUE(std::isfinite(control(tag)->getValue())) << tag;
    TestHost::calls.clear();
    // A drag starts from what is shown: 30 pixels right of 0 is 0.15, sent
    // as the nearest 24th.
    const CPoint c = centreOf(kOptThr1);
    drag(c, CPoint(c.x + 30, c.y));
    EXPECT_EQ(param(kOptThr1), 4.0f / 24.0f);
    drag(centreOf(kDisGain1), CPoint(centreOf(kDisGain1).x - 40, centreOf(kDisGain1).y));
    EXPECT_EQ(param(kDisGain1), 19.0f / 24.0f);
    wheel(centreOf(kOptGain2), 1.0f);
    click(centreOf(kOptByp1));
    EXPECT_EQ(param(kOptByp1), 1.0f);
    // Not a number again while open, then the wheel and the keys.
    setParam(kOptThr1, nan);
    idle();
    EXPECT_EQ(drawnFrame(kOptThr1), 0);
    wheel(centreOf(kOptThr1), -1.0f);
    wheel(centreOf(kOptThr1), 1.0f);
    click(centreOf(kOptThr1), kLButton | kControl);
    VstKeyCode up{0, VKEY_UP, 0};
    setParam(kOptThr1, inf);
    editor->onKeyDown(up);
    const auto sentValues = hostCalls(vst::audioMasterAutomate);
    EXPECT_GE(sentValues.size(), 6u);
    for (const auto& call : sentValues) EXPECT_TRUE(std::isfinite(call.opt)) << call.index;
}

TEST_F(Editor, HostKnobModeAndKeys) {
    setParam(kDisAtk1, 0.0f);
    ASSERT_TRUE(open());
    EXPECT_EQ(dispatch(vst::effSetEditKnobMode, 0, 0), 1);
    EXPECT_EQ(getGlobalKnobMode(), kCircularMode);
    EXPECT_EQ(dispatch(vst::effSetEditKnobMode, 0, 7), 0);
    EXPECT_EQ(dispatch(vst::effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(getGlobalKnobMode(), kLinearMode);
    // Keys go to the control clicked last.
    click(centreOf(kDisAtk1));
    EXPECT_EQ(dispatch(vst::effEditKeyDown, 0, VKEY_UP, nullptr, 0.0f), 1);
    EXPECT_FLOAT_EQ(param(kDisAtk1), 1.0f / 6.0f);
    EXPECT_EQ(dispatch(vst::effEditKeyDown, 'q', 0, nullptr, 0.0f), 0);
}

}  // namespace
