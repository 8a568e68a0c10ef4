// The VST3 editor on a real X server (an Xvfb of the test's own), as a VST3
// host on Linux drives it: createView("editor"), the plug frame with a run
// loop of the test's, attached in a window of the test's, idled only through
// the timer and descriptor handlers it registers there; its gestures reach
// the component handler, the host's values move its controls.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "editor/Layout.h"
#include "params/Parameters.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/vst3/Vst3Host.h"

using namespace kvbeditor;
using guitest::frameMismatches;
using guitest::HostWindow;
using guitest::rectOf;
using guitest::shownFrame;
using vst3host::Edit;
using vst3host::tableOf;
using VSTGUI::CRect;

namespace {

class Vst3View : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.load(KVB_VST3_BUNDLE)) << module.error();
        ASSERT_TRUE(plugin.create(module)) << plugin.error();
        ASSERT_EQ(plugin.setup(44100.0, 512), V3_OK);
        ASSERT_TRUE(plugin.activate());
        ASSERT_TRUE(window.create(1100, 616));
    }
    void TearDown() override { plugin.destroy(); }

    // The host's UI loop: the run loop's timers and ready descriptors.
    void idle() { plugin.frame.loop.runOnce(); }
    void settle() { guitest::pumpFor([this] { idle(); }, 250); }
    bool open() {
        const bool ok = plugin.openEditor(window.parentHandle());
        if (ok) settle();
        return ok;
    }
    const v3_plugin_view& view() { return tableOf<v3_plugin_view_cpp>(plugin.view)->view; }
    std::string xid() const { return std::to_string(window.window()); }
    std::vector<Edit>& edits() { return plugin.handler.edits; }

    vst3host::Module module;
    vst3host::Plugin plugin;
    HostWindow window;
};

// The view's fixed size and platform, its life in the host's window, and
// the run loop it idles from: registered on attach, gone on removal.
TEST_F(Vst3View, OpensInTheHostsWindowIdledByTheRunLoopAndDrawsTheSkin) {
    plugin.view = tableOf<v3_edit_controller_cpp>(plugin.controller)->ctrl.create_view(plugin.controller, "editor");
    ASSERT_NE(plugin.view, nullptr);
    EXPECT_EQ(view().is_platform_type_supported(plugin.view, V3_VIEW_PLATFORM_TYPE_X11), V3_OK);
    EXPECT_NE(view().is_platform_type_supported(plugin.view, V3_VIEW_PLATFORM_TYPE_HWND), V3_OK);
    v3_view_rect r{};
    ASSERT_EQ(view().get_size(plugin.view, &r), V3_OK);
    EXPECT_EQ(r.right - r.left, 1100);
    EXPECT_EQ(r.bottom - r.top, 616);
    EXPECT_NE(view().can_resize(plugin.view), V3_OK);
    v3_view_rect asked{10, 20, 500, 300};
    ASSERT_EQ(view().check_size_constraint(plugin.view, &asked), V3_OK);
    EXPECT_EQ(asked.right - asked.left, 1100);
    EXPECT_EQ(asked.bottom - asked.top, 616);
    void* scale = nullptr;
    ASSERT_EQ(tableOf<v3_funknown>(plugin.view)->query_interface(plugin.view, v3_plugin_view_content_scale_iid, &scale),
              V3_OK);
    EXPECT_EQ(tableOf<v3_plugin_view_content_scale_cpp>(scale)->scale.set_content_scale_factor(scale, 2.0f), V3_OK);
    tableOf<v3_funknown>(scale)->unref(scale);
    EXPECT_EQ(tableOf<v3_edit_controller_cpp>(plugin.controller)->ctrl.create_view(plugin.controller, "other"), nullptr);
    plugin.closeEditor();

    ASSERT_TRUE(open());
    EXPECT_EQ(window.childCount(), 1);
    const vst3host::RunLoop& loop = plugin.frame.loop;
    ASSERT_EQ(loop.timers.size(), 1u);
    EXPECT_GE(loop.timers[0].ms, 20u);
    EXPECT_LE(loop.timers[0].ms, 50u);
    ASSERT_EQ(loop.fdHandlers.size(), 1u);
    EXPECT_GE(loop.fdHandlers[0].fd, 0);
    const guitest::Picture p = window.capture();
    EXPECT_EQ(guitest::mismatches(p, CRect(0, 0, 1100, 40), guitest::skinImage(kBackgroundBitmap), 0), 0);
    EXPECT_EQ(frameMismatches(p, kOptThr1, 23), 0) << "OptThr1 at its default 1.0 shows " << shownFrame(p, kOptThr1);

    // A second view cannot show the same editor while the first does.
    v3_plugin_view** second = tableOf<v3_edit_controller_cpp>(plugin.controller)->ctrl.create_view(plugin.controller, "editor");
    ASSERT_NE(second, nullptr);
    EXPECT_NE(tableOf<v3_plugin_view_cpp>(second)->view.attached(second, window.parentHandle(),
                                                                 V3_VIEW_PLATFORM_TYPE_X11),
              V3_OK);
    tableOf<v3_funknown>(second)->unref(second);

    plugin.closeEditor();
    EXPECT_TRUE(loop.timers.empty());
    EXPECT_TRUE(loop.fdHandlers.empty());
    EXPECT_EQ(window.childCount(), 0);
    // Open again: the same editor, registered again.
    ASSERT_TRUE(open());
    EXPECT_EQ(loop.timers.size(), 1u);
    EXPECT_EQ(window.childCount(), 1);
}

// The host's content scale: the size the view reports and the skin it
// draws, and a new scale while attached asked of the host's frame
// (resizeView).
TEST_F(Vst3View, TheHostsContentScaleSizesAndDrawsTheViewAndAChangeAsksTheFrameToResize) {
    HostWindow big;
    ASSERT_TRUE(big.create(2200, 1232));
    plugin.view = tableOf<v3_edit_controller_cpp>(plugin.controller)->ctrl.create_view(plugin.controller, "editor");
    ASSERT_NE(plugin.view, nullptr);
    view().set_frame(plugin.view, plugin.frame.object());
    void* scale = nullptr;
    ASSERT_EQ(tableOf<v3_funknown>(plugin.view)->query_interface(plugin.view, v3_plugin_view_content_scale_iid, &scale),
              V3_OK);
    const auto setScale = [scale](float f) {
        return tableOf<v3_plugin_view_content_scale_cpp>(scale)->scale.set_content_scale_factor(scale, f);
    };
    EXPECT_EQ(setScale(1.25f), V3_OK);
    v3_view_rect r{};
    ASSERT_EQ(view().get_size(plugin.view, &r), V3_OK);
    EXPECT_EQ(r.right - r.left, 1375);
    EXPECT_EQ(r.bottom - r.top, 770);
    ASSERT_EQ(view().attached(plugin.view, big.parentHandle(), V3_VIEW_PLATFORM_TYPE_X11), V3_OK);
    settle();
    EXPECT_EQ(guitest::mismatches(big.capture(), CRect(0, 0, 1375, 50), guitest::skinImage(kBackgroundBitmap, 125), 0),
              0);
    EXPECT_EQ(plugin.frame.resizeRequests, 0);

    EXPECT_EQ(setScale(2.0f), V3_OK);
    EXPECT_EQ(plugin.frame.resizeRequests, 1);
    ASSERT_EQ(view().get_size(plugin.view, &r), V3_OK);
    EXPECT_EQ(r.right - r.left, 2200);
    EXPECT_EQ(r.bottom - r.top, 1232);
    settle();
    EXPECT_EQ(guitest::mismatches(big.capture(), CRect(0, 0, 2200, 80), guitest::skinImage(kBackgroundBitmap, 200), 0),
              0);
    EXPECT_EQ(big.childCount(), 1) << "the same window, resized";
    EXPECT_EQ(setScale(2.0f), V3_OK);
    EXPECT_EQ(plugin.frame.resizeRequests, 1) << "no change, no request";
    EXPECT_NE(setScale(0.0f), V3_OK);
    tableOf<v3_funknown>(scale)->unref(scale);
    plugin.closeEditor();
    EXPECT_EQ(big.childCount(), 0);
}

// 60 pixels right and 42 up from the centre of OptThr1 (at 0): one begin,
// values on the knob's grid of 24 steps, one end, all for parameter 0.
TEST_F(Vst3View, ADragOnAKnobReachesTheHandlerAsOneGestureOnTheGrid) {
    ASSERT_TRUE(open());
    tableOf<v3_edit_controller_cpp>(plugin.controller)->ctrl.set_parameter_normalised(plugin.controller, kOptThr1, 0.0);
    settle();
    edits().clear();
    const CRect r = rectOf(kOptThr1);
    const int x = static_cast<int>((r.left + r.right) / 2), y = static_cast<int>((r.top + r.bottom) / 2);
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string(x) + " " + std::to_string(y) +
                                 " mousedown 1 mousemove --window " + xid() + " " + std::to_string(x + 60) + " " +
                                 std::to_string(y - 42) + " mouseup 1"));
    guitest::pumpUntil([this] { idle(); }, [this] { return !edits().empty() && edits().back().kind == Edit::End; },
                       3000);
    settle();
    ASSERT_GE(edits().size(), 3u);
    EXPECT_EQ(edits().front().kind, Edit::Begin);
    EXPECT_EQ(edits().back().kind, Edit::End);
    double last = 0.0;
    for (std::size_t i = 0; i < edits().size(); ++i) {
        const Edit& e = edits()[i];
        EXPECT_EQ(e.id, static_cast<v3_param_id>(kOptThr1));
        if (i == 0 || i + 1 == edits().size()) continue;
        EXPECT_EQ(e.kind, Edit::Perform);
        EXPECT_EQ(e.value * 24.0, std::round(e.value * 24.0)) << e.value;
        EXPECT_NE(e.value, last) << "an unchanged value is no news";
        last = e.value;
    }
    EXPECT_EQ(last, 0.5);
    EXPECT_EQ(plugin.normalised(kOptThr1), 0.5);
    EXPECT_EQ(frameMismatches(window.capture(), kOptThr1, 11), 0);

    // A click on a switch: begin, 1, end.
    edits().clear();
    const CRect s = rectOf(kOptByp1);
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string((s.left + s.right) / 2) + " " +
                                 std::to_string((s.top + s.bottom) / 2) + " click 1"));
    guitest::pumpUntil([this] { idle(); }, [this] { return !edits().empty() && edits().back().kind == Edit::End; },
                       3000);
    ASSERT_EQ(edits().size(), 3u);
    EXPECT_EQ(edits()[1].kind, Edit::Perform);
    EXPECT_EQ(edits()[1].id, static_cast<v3_param_id>(kOptByp1));
    EXPECT_EQ(edits()[1].value, 1.0);

    // The host's wheel over a knob: a step of it, as one gesture.
    edits().clear();
    const CRect g = rectOf(kDisGain1);
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string((g.left + g.right) / 2) + " " +
                                 std::to_string((g.top + g.bottom) / 2)));
    settle();
    EXPECT_EQ(view().on_wheel(plugin.view, 1.0f), V3_OK);
    ASSERT_EQ(edits().size(), 3u);
    EXPECT_EQ(edits()[0].kind, Edit::Begin);
    EXPECT_EQ(edits()[1].id, static_cast<v3_param_id>(kDisGain1));
    EXPECT_GT(edits()[1].value, 0.0);
    EXPECT_EQ(edits()[2].kind, Edit::End);
}

// The host's values move the controls: setParamNormalized on the UI thread,
// and automation the processing applies.
TEST_F(Vst3View, HostValuesAndAutomationMoveTheControls) {
    ASSERT_TRUE(open());
    const v3_edit_controller& c = tableOf<v3_edit_controller_cpp>(plugin.controller)->ctrl;
    c.set_parameter_normalised(plugin.controller, kOptMode, 1.0);
    c.set_parameter_normalised(plugin.controller, kDisAtk1, 0.4);
    c.set_parameter_normalised(plugin.controller, kOptByp2, 1.0);
    settle();
    guitest::Picture p = window.capture();
    EXPECT_EQ(frameMismatches(p, kOptMode, 2), 0) << shownFrame(p, kOptMode);
    EXPECT_EQ(frameMismatches(p, kOptByp2, 1), 0) << shownFrame(p, kOptByp2);
    const int atk = shownFrame(p, kDisAtk1);

    std::vector<float> buf(256, 0.0f);
    const float* in[2] = {buf.data(), buf.data()};
    float* out[2] = {buf.data(), buf.data()};
    plugin.queueChange(kOptMode, 100, 0.0);
    plugin.queueChange(kDisAtk1, 10, 1.0);
    ASSERT_EQ(plugin.process(in, out, 256), V3_OK);
    settle();
    p = window.capture();
    EXPECT_EQ(frameMismatches(p, kOptMode, 0), 0) << shownFrame(p, kOptMode);
    EXPECT_NE(shownFrame(p, kDisAtk1), atk);
    EXPECT_EQ(shownFrame(p, kDisAtk1), 5);
    EXPECT_TRUE(plugin.handler.edits.empty()) << "the host's own values are not sent back";
}

}  // namespace
