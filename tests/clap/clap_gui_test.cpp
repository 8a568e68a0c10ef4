// The editor of KVB.clap on a real X server (an Xvfb of the test's own), as a
// CLAP host shows it: embedded in the host's window through the gui
// extension, idled by the host's timer and the editor's X11 descriptor (the
// test turns the run loop), its window captured and compared with the skin,
// dragged and clicked with xdotool; its edits reach the host as parameter
// events, and the host's events move its controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "editor/Layout.h"
#include "engine/State.h"
#include "tests/clap/ClapHost.h"
#include "tests/gui/GuiTestSupport.h"

using claptest::ClapInstance;
using claptest::ClapModule;
using claptest::OutputEvent;
using guitest::frameMismatches;
using guitest::rectOf;
using guitest::shownFrame;
using namespace kvbeditor;

namespace {

constexpr std::uint32_t kBlock = 256;

class ClapGui : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module) << module.error();
        ASSERT_TRUE(fx);
        gui = fx.extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
        ASSERT_NE(gui, nullptr);
        ASSERT_TRUE(window.create(1100, 616));
    }

    bool open() {
        std::uint32_t w = 0, h = 0;
        if (!fx.openGui(window.window(), &w, &h)) return false;
        EXPECT_EQ(w, 1100u);
        EXPECT_EQ(h, 616u);
        settle();
        return true;
    }
    // One turn of the host: the run loop, then a block when processing.
    void turn() {
        fx.runTimers();
        if (!fx.active()) return;
        const float* in[2] = {silence.data(), silence.data()};
        float* out[2] = {outL.data(), outR.data()};
        fx.process(in, out, kBlock);
    }
    void settle() { guitest::pumpFor([this] { turn(); }, 250); }
    // The host's view of one parameter's events: meters left out.
    std::vector<OutputEvent> eventsOf(clap_id id) {
        std::vector<OutputEvent> of;
        for (const OutputEvent& e : fx.output())
            if (e.id == id) of.push_back(e);
        return of;
    }
    std::string xid() const { return std::to_string(window.window()); }
    bool click(int tag, const char* what = "click 1") {
        const VSTGUI::CRect r = rectOf(tag);
        return guitest::xdotool("mousemove --window " + xid() + " " + std::to_string((r.left + r.right) / 2) + " " +
                                std::to_string((r.top + r.bottom) / 2) + " " + what);
    }

    ClapModule module{KVB_CLAP_PATH};
    ClapInstance fx{module};
    const clap_plugin_gui_t* gui = nullptr;
    guitest::HostWindow window;
    std::vector<float> silence = std::vector<float>(kBlock, 0.0f);
    std::vector<float> outL = std::vector<float>(kBlock), outR = std::vector<float>(kBlock);
};

// X11, embedded, fixed size; the host's timer and the X11 descriptor idle
// it; hiding lets the window go and stops both; the skin and the host's
// values on screen.
TEST_F(ClapGui, EmbedsAtOneSizeIdlesFromTheHostAndShowsTheHostsValues) {
    const clap_plugin_t* p = fx.plugin();
    EXPECT_TRUE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_WIN32, false));
    EXPECT_FALSE(gui->create(p, CLAP_WINDOW_API_X11, true));
    const char* api = nullptr;
    bool floating = true;
    EXPECT_TRUE(gui->get_preferred_api(p, &api, &floating));
    EXPECT_STREQ(api, CLAP_WINDOW_API_X11);
    EXPECT_FALSE(floating);

    ASSERT_TRUE(open());
    EXPECT_FALSE(gui->can_resize(p));
    EXPECT_TRUE(gui->set_size(p, 1100, 616));
    EXPECT_FALSE(gui->set_size(p, 1200, 700));
    EXPECT_EQ(window.childCount(), 1);
    EXPECT_EQ(fx.timerCount(), 1u);
    EXPECT_EQ(fx.fdCount(), 1u);
    guitest::Picture pic = window.capture();
    EXPECT_EQ(guitest::mismatches(pic, VSTGUI::CRect(0, 0, 1100, 40), guitest::skinImage(kBackgroundBitmap), 0), 0);
    EXPECT_EQ(frameMismatches(pic, kMeter1Tag, 60), 0) << "at rest";

    // Host changes in a block on the audio thread, then the run loop.
    ASSERT_TRUE(fx.activate(48000.0, kBlock));
    fx.queueValue(kOptThr1, 0.5, 10);
    fx.queueValue(kOptMode, 2.0, 20);
    fx.queueValue(kTrafo2, 1.0, 30);
    fx.queueValue(kOptByp2, 1.0, 40);
    fx.queueValue(kDisGain2, 0.25, 255);
    settle();
    pic = window.capture();
    EXPECT_EQ(frameMismatches(pic, kOptThr1, 11), 0) << "shows " << shownFrame(pic, kOptThr1);
    EXPECT_EQ(frameMismatches(pic, kOptMode, 2), 0) << "shows " << shownFrame(pic, kOptMode);
    EXPECT_EQ(frameMismatches(pic, kTrafo2, 1), 0) << "shows " << shownFrame(pic, kTrafo2);
    EXPECT_EQ(frameMismatches(pic, kOptByp2, 1), 0) << "shows " << shownFrame(pic, kOptByp2);
    EXPECT_EQ(frameMismatches(pic, kDisGain2, 5), 0) << "shows " << shownFrame(pic, kDisGain2);
    EXPECT_TRUE(eventsOf(kOptThr1).empty()) << "the host's changes are not sent back";

    EXPECT_TRUE(gui->hide(p));
    EXPECT_EQ(window.childCount(), 0);
    EXPECT_EQ(fx.timerCount(), 0u);
    EXPECT_EQ(fx.fdCount(), 0u);
    ASSERT_TRUE(gui->show(p));
    settle();
    EXPECT_EQ(window.childCount(), 1);
    EXPECT_EQ(frameMismatches(window.capture(), kOptThr1, 11), 0) << "the value kept while hidden";
    fx.closeGui();
    EXPECT_EQ(window.childCount(), 0);
    EXPECT_EQ(fx.timerCount(), 0u);
}

// The host's scale: the size the editor reports and the skin it draws, and a
// new scale while shown asked of the host as a resize.
TEST_F(ClapGui, TheHostsScaleSizesAndDrawsTheEditorAndAChangeAsksForAResize) {
    guitest::HostWindow big;
    ASSERT_TRUE(big.create(2200, 1232));
    std::uint32_t w = 0, h = 0;
    ASSERT_TRUE(fx.openGui(big.window(), &w, &h, 1.5));
    EXPECT_EQ(w, 1650u);
    EXPECT_EQ(h, 924u);
    const VSTGUI::CRect header(0, 0, 1650, 60);
    guitest::pumpFor([this] { turn(); }, 250);
    EXPECT_EQ(guitest::mismatches(big.capture(), header, guitest::skinImage(kBackgroundBitmap, 150), 0), 0);
    EXPECT_EQ(fx.calls.requestResize, 0);

    EXPECT_TRUE(gui->set_scale(fx.plugin(), 2.0));
    EXPECT_EQ(fx.calls.requestResize, 1);
    ASSERT_TRUE(gui->get_size(fx.plugin(), &w, &h));
    EXPECT_EQ(w, 2200u);
    EXPECT_EQ(h, 1232u);
    EXPECT_TRUE(gui->set_size(fx.plugin(), 2200, 1232));
    guitest::pumpFor([this] { turn(); }, 250);
    EXPECT_EQ(guitest::mismatches(big.capture(), VSTGUI::CRect(0, 0, 2200, 80),
                                  guitest::skinImage(kBackgroundBitmap, 200), 0),
              0);
    EXPECT_EQ(big.childCount(), 1) << "the same window, resized";
    EXPECT_TRUE(gui->set_scale(fx.plugin(), 2.0));
    EXPECT_EQ(fx.calls.requestResize, 1) << "no change, no request";
    EXPECT_FALSE(gui->set_scale(fx.plugin(), 0.0));
    EXPECT_FALSE(gui->set_scale(fx.plugin(), std::nan("")));
    fx.closeGui();
}

// 60 pixels right and 42 up from the centre of OptThr1 (at 0, as the host
// set it) while the host processes: one gesture of values on the knob's grid (ending at 12/24) in
// the blocks' output events; the engine took the value at once.
TEST_F(ClapGui, ADragReachesTheHostAsOneGestureOfValuesOnTheGrid) {
    ASSERT_TRUE(fx.activate(44100.0, kBlock));
    ASSERT_TRUE(open());
    fx.queueValue(kOptThr1, 0.0);
    settle();
    fx.output().clear();
    const VSTGUI::CRect r = rectOf(kOptThr1);
    const int x = static_cast<int>((r.left + r.right) / 2), y = static_cast<int>((r.top + r.bottom) / 2);
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string(x) + " " + std::to_string(y) +
                                 " mousedown 1 mousemove --window " + xid() + " " + std::to_string(x + 60) + " " +
                                 std::to_string(y - 42) + " mouseup 1"));
    guitest::pumpUntil([this] { turn(); },
                       [this] {
                           const auto e = eventsOf(kOptThr1);
                           return !e.empty() && e.back().type == CLAP_EVENT_PARAM_GESTURE_END;
                       },
                       3000);
    const std::vector<OutputEvent> events = eventsOf(kOptThr1);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].type, CLAP_EVENT_PARAM_VALUE);
        EXPECT_EQ(events[i].value * 24.0, std::round(events[i].value * 24.0)) << events[i].value;
    }
    EXPECT_EQ(events[events.size() - 2].value, 0.5);
    EXPECT_EQ(fx.paramValue(kOptThr1), 0.5);
    EXPECT_EQ(fx.valueToText(kOptThr1, fx.paramValue(kOptThr1)), "-35.0 dB");
    EXPECT_EQ(fx.calls.requestFlush, 0) << "the blocks took the edits";
}

// Not processing: a click asks for a flush, which brings the gesture; a
// stepped control's value goes out as its position, and the state is marked
// dirty (a host without an engine, as Qtractor here, learns of the change
// only so). The meters' own controls (the wheel on a needle) change the
// state alone.
TEST_F(ClapGui, WhileNotProcessingEditsAskForAFlushAndMeterControlsOnlyDirtyTheState) {
    ASSERT_TRUE(open());
    ASSERT_TRUE(click(kOptByp1));
    guitest::pumpUntil([this] { turn(); }, [this] { return fx.calls.requestFlush >= 3; }, 3000);
    EXPECT_GE(fx.calls.requestFlush, 3);
    EXPECT_TRUE(fx.output().empty());
    fx.flush();
    const std::vector<OutputEvent> events = eventsOf(kOptByp1);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(events[1].type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_EQ(events[1].value, 1.0);
    EXPECT_EQ(events[2].type, CLAP_EVENT_PARAM_GESTURE_END);
    EXPECT_EQ(fx.valueToText(kOptByp1, fx.paramValue(kOptByp1)), "BYPASSED");
    const int dirtied = fx.calls.markDirty;
    EXPECT_GE(dirtied, 1);

    std::vector<std::uint8_t> before, after;
    ASSERT_TRUE(fx.saveState(before));
    fx.output().clear();
    ASSERT_TRUE(click(kMeter1Tag, "click 5"));
    guitest::pumpUntil([this] { turn(); }, [this, dirtied] { return fx.calls.markDirty > dirtied; }, 3000);
    EXPECT_GT(fx.calls.markDirty, dirtied);
    ASSERT_TRUE(fx.saveState(after));
    kvb::SavedState a, b;
    // (X11 defines None: the first enumerator, StateError::None, is StateError{}.)
    ASSERT_TRUE(kvb::readState(before.data(), before.size(), a) == kvb::StateError{});
    ASSERT_TRUE(kvb::readState(after.data(), after.size(), b) == kvb::StateError{});
    EXPECT_NE(a.values[kMeter1Param], b.values[kMeter1Param]);
    fx.flush();
    EXPECT_TRUE(fx.output().empty()) << "no host parameter for the meter's control";
}

}  // namespace
