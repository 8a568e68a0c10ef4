// The LV2 editor on a real X server (an Xvfb of the test's own), as an LV2
// host drives it: the UI binary loaded with dlopen, instantiated through
// lv2ui_descriptor in a window of the test's (ui:parent), idled through the
// idle interface, told of port changes, its window captured and compared
// with the skin, and dragged with xdotool.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "editor/Layout.h"
#include "lv2/Ports.h"
#include "tests/gui/GuiTestSupport.h"

using namespace kvbeditor;
using namespace kvblv2;
using guitest::HostWindow;
using guitest::Picture;
using VSTGUI::CPoint;
using VSTGUI::CRect;

namespace {

using guitest::frameMismatches;
using guitest::layoutOf;
using guitest::rectOf;
using guitest::shownFrame;

// What the host side saw, in order.
struct HostEvent {
    enum Kind { Write, Grab, Release, Resize } kind;
    std::uint32_t port;
    float value;
};

struct Host {
    std::vector<HostEvent> events;
    bool wellFormed = true;  // every write: one float, the float protocol

    static void write(LV2UI_Controller c, std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                      const void* buffer) {
        auto* h = static_cast<Host*>(c);
        h->wellFormed = h->wellFormed && size == sizeof(float) && protocol == 0 && buffer;
        float v = NAN;
        if (buffer) std::memcpy(&v, buffer, sizeof v);
        h->events.push_back({HostEvent::Write, port, v});
    }
    static void touch(LV2UI_Feature_Handle handle, std::uint32_t port, bool grabbed) {
        static_cast<Host*>(handle)->events.push_back({grabbed ? HostEvent::Grab : HostEvent::Release, port, 0});
    }
    static int resize(LV2UI_Feature_Handle handle, int width, int height) {
        static_cast<Host*>(handle)->events.push_back(
            {HostEvent::Resize, static_cast<std::uint32_t>(width), static_cast<float>(height)});
        return 0;
    }
};

class Lv2Ui : public ::testing::Test {
protected:
    void SetUp() override {
        module = dlopen(KVB_LV2_UI_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(std::uint32_t)>(dlsym(module, "lv2ui_descriptor"));
        ASSERT_NE(entry, nullptr);
        desc = entry(0);
        ASSERT_NE(desc, nullptr);
        ASSERT_STREQ(desc->URI, kUiUri);
        const auto* idleInterface =
            static_cast<const LV2UI_Idle_Interface*>(desc->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idleInterface, nullptr);
        idleFn = idleInterface->idle;
        ASSERT_TRUE(window.create(1100, 616));
    }
    void TearDown() override {
        if (ui) desc->cleanup(ui);
        if (module) dlclose(module);
    }

    // Instantiates with ui:parent = the test's window, and with the host's
    // touch and resize when asked.
    bool open(bool offerTouchAndResize = true) {
        parentFeature = {LV2_UI__parent, window.parentHandle()};
        touchFeature = {LV2_UI__touch, &touchData};
        resizeFeature = {LV2_UI__resize, &resizeData};
        std::vector<const LV2_Feature*> features = {&parentFeature};
        if (offerTouchAndResize) {
            features.push_back(&touchFeature);
            features.push_back(&resizeFeature);
        }
        features.push_back(nullptr);
        ui = desc->instantiate(desc, kPluginUri, KVB_LV2_BUNDLE "/", &Host::write, &host, &widget,
                               features.data());
        if (ui) settle();
        return ui != nullptr;
    }
    void idle() { EXPECT_EQ(idleFn(ui), 0); }
    void settle() { guitest::pumpFor([this] { idle(); }, 250); }
    void portEvent(std::uint32_t port, float value) { desc->port_event(ui, port, sizeof value, 0, &value); }
    std::string xid() const { return std::to_string(window.window()); }

    void* module = nullptr;
    const LV2UI_Descriptor* desc = nullptr;
    int (*idleFn)(LV2UI_Handle) = nullptr;
    HostWindow window;
    Host host;
    LV2UI_Touch touchData{&host, &Host::touch};
    LV2UI_Resize resizeData{&host, &Host::resize};
    LV2_Feature parentFeature{}, touchFeature{}, resizeFeature{};
    LV2UI_Handle ui = nullptr;
    LV2UI_Widget widget = nullptr;
};

// The host's ui:scaleFactor: given at instantiation it sizes the editor and
// picks the skin drawn for it; set later through opts:interface it resizes
// the same window and tells the host through ui:resize.
TEST_F(Lv2Ui, TheHostsScaleFactorSizesTheEditorAtOnceAndLater) {
    static std::map<std::string, LV2_URID> ids;
    LV2_URID_Map map{nullptr, [](LV2_URID_Map_Handle, const char* uri) -> LV2_URID {
                         const auto it = ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first;
                         return it->second;
                     }};
    const LV2_URID key = map.map(nullptr, LV2_UI__scaleFactor), floatType = map.map(nullptr, LV2_ATOM__Float);
    float factor = 1.5f;
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, key, sizeof factor, floatType, &factor},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    };
    HostWindow big;
    ASSERT_TRUE(big.create(2200, 1232));
    const LV2_Feature parent{LV2_UI__parent, big.parentHandle()}, resize{LV2_UI__resize, &resizeData},
        mapFeature{LV2_URID__map, &map}, optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&parent, &resize, &mapFeature, &optionsFeature, nullptr};
    ui = desc->instantiate(desc, kPluginUri, KVB_LV2_BUNDLE "/", &Host::write, &host, &widget, features);
    ASSERT_NE(ui, nullptr);
    settle();
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].kind, HostEvent::Resize);
    EXPECT_EQ(host.events[0].port, 1650u);
    EXPECT_EQ(host.events[0].value, 924.0f);
    EXPECT_EQ(guitest::mismatches(big.capture(), CRect(0, 0, 1650, 60), guitest::skinImage(kBackgroundBitmap, 150), 0),
              0);

    const auto* iface = static_cast<const LV2_Options_Interface*>(desc->extension_data(LV2_OPTIONS__interface));
    ASSERT_NE(iface, nullptr);
    factor = 2.0f;
    EXPECT_EQ(iface->set(ui, options), LV2_OPTIONS_SUCCESS);
    ASSERT_EQ(host.events.size(), 2u);
    EXPECT_EQ(host.events[1].port, 2200u);
    EXPECT_EQ(host.events[1].value, 1232.0f);
    settle();
    EXPECT_EQ(guitest::mismatches(big.capture(), CRect(0, 0, 2200, 80), guitest::skinImage(kBackgroundBitmap, 200), 0),
              0);
    EXPECT_EQ(big.childCount(), 1) << "the same widget, resized";
    // Not a number, or an option of another kind, changes nothing.
    factor = std::nanf("");
    EXPECT_NE(iface->set(ui, options), LV2_OPTIONS_SUCCESS);
    EXPECT_EQ(host.events.size(), 2u);
    desc->cleanup(ui);
    ui = nullptr;
    EXPECT_EQ(big.childCount(), 0);
}

TEST_F(Lv2Ui, RefusesWithoutAParentWindowOrForAnotherPlugin) {
    const LV2_Feature* none[] = {nullptr};
    EXPECT_EQ(desc->instantiate(desc, kPluginUri, KVB_LV2_BUNDLE "/", &Host::write, &host, &widget, none),
              nullptr);
    const LV2_Feature parent{LV2_UI__parent, window.parentHandle()};
    const LV2_Feature* withParent[] = {&parent, nullptr};
    EXPECT_EQ(desc->instantiate(desc, "urn:another", KVB_LV2_BUNDLE "/", &Host::write, &host, &widget,
                                withParent),
              nullptr);
    EXPECT_EQ(window.childCount(), 0);
}

// The window inside the host's, its size told, the skin drawn, and every
// control and both meters where the host's port values put them.
TEST_F(Lv2Ui, OpensInTheHostsWindowAndShowsThePortValues) {
    ASSERT_TRUE(open());
    EXPECT_EQ(window.childCount(), 1);
    EXPECT_NE(widget, nullptr);
    ASSERT_FALSE(host.events.empty());
    EXPECT_EQ(host.events[0].kind, HostEvent::Resize);
    EXPECT_EQ(host.events[0].port, 1100u);
    EXPECT_EQ(host.events[0].value, 616.0f);

    Picture p = window.capture();
    EXPECT_EQ(guitest::mismatches(p, CRect(0, 0, 1100, 40), guitest::skinImage(kBackgroundBitmap), 0), 0);
    EXPECT_EQ(frameMismatches(p, kMeter1Tag, 60), 0) << "at rest before any meter value";

    // Every knob at some multiple of 1/N, every switch on or off.
    for (const auto& c : kControls) {
        const auto port = static_cast<std::uint32_t>(c.tag);
        if (c.kind == ViewKind::Knob)
            portEvent(port, static_cast<float>((c.tag * 7) % (c.steps + 1)) / static_cast<float>(c.steps));
        if (c.kind == ViewKind::Switch) portEvent(port, static_cast<float>(c.tag % 2));
    }
    portEvent(kMeter1Port, 15.0f);
    portEvent(kMeter2Port, 10.0f);
    settle();
    p = window.capture();
    for (const auto& c : kControls) {
        int expected = c.tag == kMeter1Tag ? 30 : 39;  // 15 dB and 10 dB of gain reduction
        if (c.kind == ViewKind::Knob) {
            // A three-position knob sends 0, 0.5 and 1 and shows the mode
            // each selects; the others show frame k - 1 for k/N.
            const int k = (c.tag * 7) % (c.steps + 1);
            expected = kvbeditor::isModeKnob(c) ? k : (k == 0 ? 0 : k - 1);
        } else if (c.kind == ViewKind::Switch) {
            expected = c.tag % 2;
        }
        EXPECT_EQ(frameMismatches(p, c.tag, expected), 0) << "tag " << c.tag << " shows " << shownFrame(p, c.tag);
    }
    EXPECT_EQ(host.events.size(), 1u) << "port events are not sent back to the host";
}

// 60 pixels right and 42 up from the centre of OptThr1: 0.51 of the range,
// sent as 12/24, between the grab and the release of the port.
TEST_F(Lv2Ui, DraggingAKnobWritesValuesOnItsGridBetweenTouches) {
    ASSERT_TRUE(open());
    portEvent(kOptThr1, 0.0f);
    settle();
    host.events.clear();
    const CRect r = rectOf(kOptThr1);
    const int x = static_cast<int>((r.left + r.right) / 2), y = static_cast<int>((r.top + r.bottom) / 2);
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string(x) + " " +
                                 std::to_string(y) + " mousedown 1 mousemove --window " + xid() + " " +
                                 std::to_string(x + 60) + " " + std::to_string(y - 42) + " mouseup 1"));
    guitest::pumpUntil([this] { idle(); },
                       [this] { return !host.events.empty() && host.events.back().kind == HostEvent::Release; },
                       3000);
    settle();
    ASSERT_GE(host.events.size(), 3u);
    EXPECT_EQ(host.events.front().kind, HostEvent::Grab);
    EXPECT_EQ(host.events.back().kind, HostEvent::Release);
    for (const HostEvent& e : host.events) {
        EXPECT_EQ(e.port, static_cast<std::uint32_t>(kOptThr1));
        if (e.kind == HostEvent::Write) {
            EXPECT_EQ(e.value * 24.0f, std::round(e.value * 24.0f)) << e.value;
        }
    }
    for (std::size_t i = 1; i + 1 < host.events.size(); ++i) EXPECT_EQ(host.events[i].kind, HostEvent::Write);
    EXPECT_TRUE(host.wellFormed);
    EXPECT_EQ(host.events[host.events.size() - 2].value, 0.5f);
    EXPECT_EQ(frameMismatches(window.capture(), kOptThr1, 11), 0);
}

// A host without ui:touch and ui:resize still gets the writes.
TEST_F(Lv2Ui, AHostWithoutTouchGetsTheWritesAlone) {
    ASSERT_TRUE(open(false));
    const CRect r = rectOf(kOptByp1);
    ASSERT_TRUE(guitest::xdotool("mousemove --window " + xid() + " " + std::to_string((r.left + r.right) / 2) +
                                 " " + std::to_string((r.top + r.bottom) / 2) + " click 1"));
    guitest::pumpUntil([this] { idle(); }, [this] { return !host.events.empty(); }, 3000);
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].kind, HostEvent::Write);
    EXPECT_EQ(host.events[0].port, static_cast<std::uint32_t>(kOptByp1));
    EXPECT_EQ(host.events[0].value, 1.0f);
}

}  // namespace
