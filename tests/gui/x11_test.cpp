// The editor on a real X server (an Xvfb these tests start), mostly through
// the built plug-in as a host sees it: loaded with dlopen, driven through
// its AEffect, its window captured and clicked with xdotool.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cairo.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "editor/ControlsguiEditor.h"
#include "editor/Layout.h"
#include "host/DemoSignal.h"
#include "host/PluginHost.h"
#include "shell/Controlsgui.h"
#include "tests/RunCommand.h"
#include "tests/TestHost.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/TestPlugin.h"
#include "vstgui/platform/x11/CairoDrawContext.h"
#include "vstgui/vstgui.h"

using namespace VSTGUI;
using namespace kvbeditor;
using guitest::HostWindow;
using guitest::Picture;

namespace {

constexpr int kOptThr1 = 0, kDisAtk1 = 3, kOptGain2 = 8, kOptMode = 14, kOptByp1 = 18;

using guitest::frameMismatches;
using guitest::layoutOf;
using guitest::rectOf;
using guitest::shownFrame;

CPoint centreOf(int tag) {
    const CRect r = rectOf(tag);
    return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// The status label as it should look with `text`, drawn off screen with the
// same widgets, fonts and colours.
Picture statusLabelPicture(const char* text) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1100, 616);
    Picture out;
    {
        platform::x11::CairoDrawContext target(s);
        CDrawContext context(target);
        auto* label = new CTextLabel(CRect(kStatusLabel.left, kStatusLabel.top, kStatusLabel.right,
                                           kStatusLabel.bottom),
                                     text, nullptr, 0);
        label->setFont(kNormalFont);
        label->setFontColor(CColor{60, 60, 60, 0});
        label->setBackColor(kBlackCColor);
        label->setFrameColor(kBlackCColor);
        label->setHoriAlign(kLeftText);
        label->draw(&context);
        label->forget();
    }
    cairo_surface_flush(s);
    out.width = 1100;
    out.height = 616;
    out.pixels.resize(1100 * 616);
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < 616; ++y)
        for (int x = 0; x < 1100; ++x)
            out.pixels[static_cast<std::size_t>(y * 1100 + x)] =
                reinterpret_cast<const std::uint32_t*>(data + y * stride)[x] & 0xFFFFFFu;
    cairo_surface_destroy(s);
    return out;
}

const CRect kStatusRect(kStatusLabel.left, kStatusLabel.top, kStatusLabel.right,
                        kStatusLabel.bottom);

// The built plug-in in a host window.
class PluginWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.load(KVB_PLUGIN_PATH)) << host.error();
        ASSERT_TRUE(window.create(1100, 616));
    }
    void TearDown() override {
        if (isOpen) host.dispatch(vst::effEditClose);
        host.unload();
    }

    bool open() {
        isOpen = host.dispatch(vst::effEditOpen, 0, 0, window.parentHandle()) == 1;
        if (isOpen) settle();
        return isOpen;
    }
    void close() {
        host.dispatch(vst::effEditClose);
        isOpen = false;
    }
    void idle() { host.dispatch(vst::effEditIdle); }
    // Long enough for the first picture and a meter refresh.
    void settle() { guitest::pumpFor([this] { idle(); }, 250); }
    float param(int i) { return host.effect()->getParameter(host.effect(), i); }
    void setParam(int i, float v) { host.effect()->setParameter(host.effect(), i, v); }
    std::string xid() const { return std::to_string(window.window()); }

    // Waits, idling, until parameter `i` leaves `from`; answers the new value.
    float waitForChange(int i, float from) {
        guitest::pumpUntil([this] { idle(); }, [&] { return param(i) != from; }, 3000);
        settle();
        return param(i);
    }

    kvbhost::PluginHost host;
    HostWindow window;
    bool isOpen = false;
};

TEST_F(PluginWindow, OpensClosesAndOpensAgainThroughTheDispatcher) {
    vst::ERect* r = nullptr;
    ASSERT_EQ(host.dispatch(vst::effEditGetRect, 0, 0, &r), 1);
    EXPECT_EQ(r->right - r->left, 1100);
    EXPECT_EQ(r->bottom - r->top, 616);
    EXPECT_EQ(window.childCount(), 0);

    ASSERT_TRUE(open());
    EXPECT_EQ(window.childCount(), 1);
    const Picture first = window.capture();
    // The title strip is bare background.
    EXPECT_EQ(guitest::mismatches(first, CRect(0, 0, 1100, 40), guitest::skinImage(101), 0), 0);

    close();
    EXPECT_EQ(window.childCount(), 0);
    ASSERT_TRUE(open());
    EXPECT_EQ(window.childCount(), 1);
    const Picture second = window.capture();
    EXPECT_EQ(guitest::mismatches(first, second, CRect(0, 0, 1100, 616)), 0);
    close();
    ASSERT_TRUE(open());
    EXPECT_EQ(window.childCount(), 1);
}

TEST_F(PluginWindow, AnEditorWithoutAParentWindowDoesNotOpen) {
    EXPECT_EQ(host.dispatch(vst::effEditOpen, 0, 0, nullptr), 0);
    // A window id that does not exist: refused, and the process lives on.
    EXPECT_EQ(host.dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(0x7ffffff0)), 0);
    ASSERT_TRUE(open());
    EXPECT_EQ(window.childCount(), 1);
}

TEST_F(PluginWindow, CaptureShowsTheFrameEachValueSelects) {
    // Every knob at some multiple of 1/N, every switch on or off.
    for (const auto& c : kControls) {
        if (c.kind == ViewKind::Knob) setParam(c.tag, static_cast<float>((c.tag * 7) % (c.steps + 1)) / static_cast<float>(c.steps));
        if (c.kind == ViewKind::Switch) setParam(c.tag, static_cast<float>(c.tag % 2));
    }
    ASSERT_TRUE(open());
    const Picture p = window.capture();
    for (const auto& c : kControls) {
        int expected = 60;  // meters: no audio yet, at rest
        if (c.kind == ViewKind::Knob) {
            const int k = (c.tag * 7) % (c.steps + 1);
            expected = isModeKnob(c) ? k : (k == 0 ? 0 : k - 1);  // k/2 runs mode k
        } else if (c.kind == ViewKind::Switch) {
            expected = c.tag % 2;
        }
        EXPECT_EQ(frameMismatches(p, c.tag, expected), 0)
            << "tag " << c.tag << " shows frame " << shownFrame(p, c.tag) << ", not " << expected;
    }
    EXPECT_EQ(guitest::mismatches(p, statusLabelPicture("---"), kStatusRect), 0);
}

TEST_F(PluginWindow, DraggingOptThr1SetsAMultipleOfOneTwentyFourth) {
    setParam(kOptThr1, 0.0f);
    ASSERT_TRUE(open());
    host.events.clear();
    const CPoint c = centreOf(kOptThr1);
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string(c.x) + " " +
                                 std::to_string(c.y) + " mousedown 1 mousemove --window " + xid() +
                                 " " + std::to_string(c.x + 60) + " " + std::to_string(c.y - 42) +
                                 " mouseup 1"));
    const float v = waitForChange(kOptThr1, 0.0f);
    // 60 right and 42 up: 0.51 of the range, sent as 12/24.
    EXPECT_EQ(v, 0.5f);
    EXPECT_FLOAT_EQ(v * 24.0f, std::round(v * 24.0f));
    ASSERT_GE(host.events.size(), 3u);
    EXPECT_EQ(host.events.front().opcode, vst::audioMasterBeginEdit);
    EXPECT_EQ(host.events.back().opcode, vst::audioMasterEndEdit);
    const Picture p = window.capture();
    EXPECT_EQ(frameMismatches(p, kOptThr1, 11), 0) << "shows " << shownFrame(p, kOptThr1);
    char text[32];
    std::snprintf(text, sizeof text, "Parameter %.2f", v);
    const Picture expected = statusLabelPicture(text);
    ASSERT_GT(guitest::mismatches(expected, statusLabelPicture("---"), kStatusRect), 0);
    EXPECT_EQ(guitest::mismatches(p, expected, kStatusRect), 0) << "status label is not '" << text << "'";
}

TEST_F(PluginWindow, ClickingASwitchTogglesItsParameter) {
    setParam(kOptByp1, 0.0f);
    ASSERT_TRUE(open());
    const CPoint c = centreOf(kOptByp1);
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string(c.x) + " " +
                                 std::to_string(c.y) + " click 1"));
    EXPECT_EQ(waitForChange(kOptByp1, 0.0f), 1.0f);
    Picture p = window.capture();
    EXPECT_EQ(frameMismatches(p, kOptByp1, 1), 0);
    EXPECT_EQ(guitest::mismatches(p, statusLabelPicture("Parameter 1.00"), kStatusRect), 0);
    ASSERT_TRUE(guitest::xdotool("click 1"));
    EXPECT_EQ(waitForChange(kOptByp1, 1.0f), 0.0f);
    p = window.capture();
    EXPECT_EQ(frameMismatches(p, kOptByp1, 0), 0);
}

// Whatever value a host or a saved project gives them, the three-position
// knobs show the mode the processing runs for it: 0 below 0.33, 1 below 0.66,
// else 2.
TEST_F(PluginWindow, ThreePositionKnobsShowTheModeInEffect) {
    setParam(25, 0.0f);  // mid/side: Trafo2 sets a mode of its own
    ASSERT_TRUE(open());
    const float values[] = {0.0f, 0.2f, 1.0f / 3.0f, 0.5f, 2.0f / 3.0f, 0.7f, 1.0f};
    const int modes[] = {0, 0, 1, 1, 2, 2, 2};
    for (int i = 0; i < 7; ++i) {
        for (int tag = 14; tag <= 17; ++tag) setParam(tag, values[i]);
        settle();
        const Picture p = window.capture();
        for (int tag = 14; tag <= 17; ++tag)
            EXPECT_EQ(frameMismatches(p, tag, modes[i]), 0)
                << "tag " << tag << " at " << values[i] << " shows frame " << shownFrame(p, tag);
    }
}

TEST_F(PluginWindow, TheWheelCannotMoveAThreeStepKnob) {
    setParam(kOptMode, 0.5f);
    setParam(kDisAtk1, 0.0f);
    ASSERT_TRUE(open());
    // The same wheel moves a six-step knob, so the wheel does arrive.
    CPoint c = centreOf(kDisAtk1);
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string(c.x) + " " +
                                 std::to_string(c.y) + " click 4"));
    EXPECT_FLOAT_EQ(waitForChange(kDisAtk1, 0.0f), 1.0f / 6.0f);

    c = centreOf(kOptMode);
    host.events.clear();
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string(c.x) + " " +
                                 std::to_string(c.y) + " click 4 click 4 click 5"));
    guitest::pumpUntil([this] { idle(); }, [this] { return host.events.size() >= 6; }, 3000);
    settle();
    // Three gestures, each without a value: the step stays where it was.
    std::vector<vst::int32> opcodes;
    for (const auto& e : host.events) opcodes.push_back(e.opcode);
    EXPECT_EQ(opcodes, (std::vector<vst::int32>{vst::audioMasterBeginEdit, vst::audioMasterEndEdit,
                                                vst::audioMasterBeginEdit, vst::audioMasterEndEdit,
                                                vst::audioMasterBeginEdit, vst::audioMasterEndEdit}));
    EXPECT_EQ(param(kOptMode), 0.5f);
    EXPECT_EQ(frameMismatches(window.capture(), kOptMode, 1), 0);
}

TEST_F(PluginWindow, HostAutomationMovesAKnobAndLeavesTheStatusLabel) {
    setParam(kOptGain2, 0.0f);
    ASSERT_TRUE(open());
    const Picture before = window.capture();
    setParam(kOptGain2, 0.75f);
    settle();
    const Picture after = window.capture();
    EXPECT_EQ(frameMismatches(after, kOptGain2, 17), 0) << "shows " << shownFrame(after, kOptGain2);
    EXPECT_EQ(guitest::mismatches(before, after, kStatusRect), 0);
    EXPECT_EQ(guitest::mismatches(after, statusLabelPicture("---"), kStatusRect), 0);
}

TEST_F(PluginWindow, MetersLeaveTheirRestWithGainReduction) {
    // Low thresholds and the built-in signal: both stages reduce gain.
    for (int i : {0, 2, 7, 9}) setParam(i, 0.0f);
    host.dispatch(vst::effMainsChanged, 0, 1);
    std::vector<float> l(44100), r(44100), ol(512), orr(512);
    kvbhost::renderDemoSignal(44100.0f, l.size(), l.data(), r.data());
    for (std::size_t at = 0; at + 512 <= l.size(); at += 512) {
        float* in[2] = {l.data() + at, r.data() + at};
        float* out[2] = {ol.data(), orr.data()};
        host.effect()->processReplacing(host.effect(), in, out, 512);
    }
    ASSERT_TRUE(open());
    const Picture p = window.capture();
    for (int tag : {kMeter1Tag, kMeter2Tag}) {
        const int f = shownFrame(p, tag);
        EXPECT_GE(f, 0) << "meter " << tag << " shows no frame of its strip";
        EXPECT_LT(f, 60) << "meter " << tag << " still at rest";
    }
}

// The meters against the values the processing publishes: in-process, with
// the X11 back end, playing the processing's part.
TEST(EditorOnX11, MetersFollowThePublishedValues) {
    TestHost::reset();
    vst::AEffect* e = kvbtest::createPlugin(TestHost::callback);
    ASSERT_NE(e, nullptr);
    auto* kvb = static_cast<Controlsgui*>(static_cast<AudioEffect*>(e->object));
    auto& m1 = const_cast<std::atomic<float>&>(*kvb->getMeter1Address());
    auto& m2 = const_cast<std::atomic<float>&>(*kvb->getMeter2Address());
    HostWindow window;
    ASSERT_TRUE(window.create(1100, 616));
    ASSERT_EQ(e->dispatcher(e, vst::effEditOpen, 0, 0, window.parentHandle(), 0.0f), 1);
    auto idle = [&] { e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0.0f); };
    const std::pair<float, int> cases[] = {{15.0f, 30}, {0.0f, 60}, {10.0f, 39}, {30.0f, 0}};
    for (const auto& [db, frameIndex] : cases) {
        m1.store(db);
        m2.store(db);
        guitest::pumpFor(idle, 200);  // past a refresh, then drawn
        const Picture p = window.capture();
        EXPECT_EQ(frameMismatches(p, kMeter1Tag, frameIndex), 0)
            << db << " dB shows " << shownFrame(p, kMeter1Tag);
        EXPECT_EQ(frameMismatches(p, kMeter2Tag, frameIndex), 0)
            << db << " dB shows " << shownFrame(p, kMeter2Tag);
    }
    e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, vst::effClose, 0, 0, nullptr, 0.0f);
}

// kvb gui and kvb screenshot, run as a user runs them.
CommandResult runKvb(const std::string& args, bool withDisplay = true) {
    return runCommand(std::string(withDisplay ? "" : "env -u DISPLAY ") + KVB_HOST_PATH + " " + args);
}

Picture readPng(const std::string& path) {
    Picture out;
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        out.width = cairo_image_surface_get_width(s);
        out.height = cairo_image_surface_get_height(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        const int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                out.pixels.push_back(reinterpret_cast<const std::uint32_t*>(data + y * stride)[x] &
                                     0xFFFFFFu);
    }
    cairo_surface_destroy(s);
    return out;
}

TEST(KvbCommands, ScreenshotSavesTheEditorsPicture) {
    const std::string out = ::testing::TempDir() + "kvb_screenshot_test.png";
    std::remove(out.c_str());
    const CommandResult r = runKvb("screenshot " + out + " --set OptThr1=0.5 --set OptByp1=1" +
                                   " --set 14=1 --audio 0 --plugin " + KVB_PLUGIN_PATH);
    ASSERT_EQ(r.status, 0) << r.out;
    const Picture p = readPng(out);
    ASSERT_EQ(p.width, 1100);
    ASSERT_EQ(p.height, 616);
    EXPECT_EQ(frameMismatches(p, kOptThr1, 11), 0) << "shows " << shownFrame(p, kOptThr1);
    EXPECT_EQ(frameMismatches(p, kOptByp1, 1), 0);
    EXPECT_EQ(frameMismatches(p, kOptMode, 2), 0);
    EXPECT_EQ(frameMismatches(p, kMeter1Tag, 60), 0);
    EXPECT_EQ(guitest::mismatches(p, CRect(0, 0, 1100, 40), guitest::skinImage(101), 0), 0);
    std::remove(out.c_str());
}

// The screenshot of kvb screenshot --scale S (the meters at rest), or an
// empty picture.
Picture screenshotAt(const std::string& scale, const std::string& settings = "") {
    const std::string out = ::testing::TempDir() + "kvb_screenshot_" + scale + ".png";
    std::remove(out.c_str());
    const CommandResult r = runKvb("screenshot " + out + " --scale " + scale + " --audio 0 " +
                                   settings + " --plugin " + KVB_PLUGIN_PATH);
    EXPECT_EQ(r.status, 0) << r.out;
    Picture p = readPng(out);
    std::remove(out.c_str());
    return p;
}

TEST(KvbCommands, AtEveryScaleTheWindowShowsTheSkinDrawnForThatScale) {
    // Everything but the two labels is the skin's bitmaps of that scale, at
    // their scaled places, showing the frames of the values set.
    for (int percent : kvbeditor::kScalePercents) {
        SCOPED_TRACE("scale " + std::to_string(percent));
        const Picture p = screenshotAt(std::to_string(percent / 100.0),
                                       "--set OptThr1=0.5 --set OptByp1=1 --set 14=1");
        ASSERT_EQ(p.width, kvbeditor::scaled(1100, percent));
        ASSERT_EQ(p.height, kvbeditor::scaled(616, percent));
        const auto area = [percent](int tag, int frameHeight) {
            const auto& c = guitest::layoutOf(tag);
            const long l = kvbeditor::scaled(c.left, percent), t = kvbeditor::scaled(c.top, percent);
            return CRect(l, t, kvbeditor::scaled(c.right, percent), t + frameHeight);
        };
        for (const auto& [tag, frameIndex] : {std::pair{kOptThr1, 11}, {kOptByp1, 1}, {kOptMode, 2},
                                              {kMeter1Tag, 60}, {kMeter2Tag, 60}}) {
            const skin::Image& strip = guitest::skinImage(guitest::layoutOf(tag).bitmapId, percent);
            const int fh = strip.height / guitest::layoutOf(tag).frames;
            EXPECT_EQ(guitest::mismatches(p, area(tag, fh), strip, frameIndex * fh), 0) << tag;
        }
        const skin::Image& panel = guitest::skinImage(kvbeditor::kBackgroundBitmap, percent);
        EXPECT_EQ(guitest::mismatches(p, CRect(0, 0, p.width, kvbeditor::scaled(40, percent)), panel, 0), 0);
    }
}

TEST(KvbCommands, AtTwiceTheScaleThePictureIsDrawnSharpNotStretched) {
    const Picture one = screenshotAt("1"), two = screenshotAt("2");
    ASSERT_EQ(one.width, 1100);
    ASSERT_EQ(two.width, 2200);
    ASSERT_EQ(two.height, 1232);
    // Each 2 x 2 block, averaged, is the 100 % picture's pixel: the same
    // drawing at twice the detail. Text and antialiased edges round a little
    // differently; nothing moves.
    double sum = 0;
    long far = 0, detailed = 0;
    for (int y = 0; y < one.height; ++y)
        for (int x = 0; x < one.width; ++x) {
            const std::uint32_t q[4] = {two.at(2 * x, 2 * y), two.at(2 * x + 1, 2 * y),
                                        two.at(2 * x, 2 * y + 1), two.at(2 * x + 1, 2 * y + 1)};
            int worst = 0;
            for (int shift : {0, 8, 16}) {
                int mean = 0;
                for (std::uint32_t v : q) mean += (v >> shift) & 0xFF;
                const int d = std::abs((mean + 2) / 4 - static_cast<int>((one.at(x, y) >> shift) & 0xFF));
                sum += d;
                worst = std::max(worst, d);
            }
            far += worst > 40;
            // An upscaled copy would have four equal pixels in every block.
            detailed += !(q[0] == q[1] && q[1] == q[2] && q[2] == q[3]);
        }
    const double blocks = double(one.width) * one.height;
    std::printf("mean difference %.2f per channel, %.2f %% of blocks off by more than 40, "
                "%.1f %% of blocks with detail\n",
                sum / (3 * blocks), 100.0 * far / blocks, 100.0 * detailed / blocks);
    EXPECT_LT(sum / (3 * blocks), 2.0) << "mean difference per channel";
    // Thin lines and text, antialiased on another grid, and nothing else.
    EXPECT_LT(far / blocks, 0.015) << "blocks far from the 100 % pixel";
    EXPECT_GT(detailed / blocks, 0.15) << "blocks with detail of their own";
}

TEST(KvbCommands, ScreenshotRefusesAnUnknownParameter) {
    const CommandResult r = runKvb("screenshot " + ::testing::TempDir() + "kvb_never.png --set Nope=1 --plugin " +
                                   std::string(KVB_PLUGIN_PATH));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("Nope"), std::string::npos) << r.out;
}

TEST(KvbCommands, WithoutScaleTheVst2EditorTakesTheDesktopsXftDpiOrGdkScale) {
    // The desktop's resource database says 144 dpi (150 %); GDK_SCALE, where
    // set, goes first.
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const char resources[] = "Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n";
    XChangeProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources), sizeof resources - 1);
    XSync(d, False);
    const std::string out = ::testing::TempDir() + "kvb_screenshot_desktop.png";
    const std::string plain = "env -u QT_SCALE_FACTOR -u GDK_SCALE ";
    CommandResult r = runCommand(plain + KVB_HOST_PATH + " screenshot " + out + " --audio 0");
    EXPECT_EQ(r.status, 0) << r.out;
    Picture p = readPng(out);
    EXPECT_EQ(p.width, 1650);
    EXPECT_EQ(p.height, 924);
    r = runCommand(plain + "GDK_SCALE=2 " + KVB_HOST_PATH + " screenshot " + out + " --audio 0");
    EXPECT_EQ(r.status, 0) << r.out;
    p = readPng(out);
    EXPECT_EQ(p.width, 2200);
    XDeleteProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER);
    XSync(d, False);
    r = runCommand(plain + KVB_HOST_PATH + " screenshot " + out + " --audio 0");
    EXPECT_EQ(readPng(out).width, 1100) << "no resource, no variable: 100 %";
    XCloseDisplay(d);
    std::remove(out.c_str());
}

TEST(KvbCommands, ScaleOutsideItsRangeIsACommandLineError) {
    for (const char* scale : {"0", "5", "x", "-1", "nan"}) {
        const CommandResult r = runKvb(std::string("screenshot ") + ::testing::TempDir() +
                                       "kvb_never.png --scale " + scale);
        EXPECT_EQ(r.status, 2) << scale;
        EXPECT_NE(r.out.find("--scale"), std::string::npos) << r.out;
    }
}

TEST(KvbCommands, WithoutADisplayBothSaySo) {
    for (const char* command : {"gui", "screenshot /tmp/never.png"}) {
        const CommandResult r = runKvb(command, false);
        EXPECT_NE(r.status, 0) << command;
        EXPECT_NE(r.out.find("no X display (is DISPLAY set? try xvfb-run)"), std::string::npos)
            << command << ": " << r.out;
    }
}

}  // namespace
