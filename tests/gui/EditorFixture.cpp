#include "tests/gui/EditorFixture.h"

#include <cstdlib>

#include "editor/Layout.h"
#include "tests/support/TestPlugin.h"

using namespace VSTGUI;

namespace guitest {

void EditorFixture::SetUp() {
    // VST 2.4 editors take the desktop's scale: 100 % here, whatever the
    // machine's desktop says.
    unsetenv("GDK_SCALE");
    setenv("QT_SCALE_FACTOR", "1", 1);
    platform::setWindowFactory(&MockWindow::make);
    TestHost::reset();
    effect = kvbtest::createPlugin(TestHost::callback);
    ASSERT_NE(effect, nullptr);
    kvb = static_cast<Controlsgui*>(static_cast<AudioEffect*>(effect->object));
    auto* held = dynamic_cast<Vst2Editor*>(kvb->getEditor());
    ASSERT_NE(held, nullptr);
    editor = &held->editor();
}

void EditorFixture::TearDown() {
    if (effect) dispatch(vst::effClose);
    effect = nullptr;
    platform::setWindowFactory(nullptr);
    setTickSource(nullptr);
    EXPECT_EQ(MockWindow::openCount, 0) << "a window outlived its editor";
}

CPoint EditorFixture::centreOf(int tag) const {
    for (const auto& c : kvbeditor::kControls)
        if (c.tag == tag) return CPoint((c.left + c.right) / 2, (c.top + c.bottom) / 2);
    return CPoint(-1, -1);
}

void EditorFixture::press(const CPoint& p, long buttons) { frame()->windowMouseDown(p, buttons); }
void EditorFixture::move(const CPoint& p, long buttons) { frame()->windowMouseMoved(p, buttons); }
void EditorFixture::release(const CPoint& p, long buttons) { frame()->windowMouseUp(p, buttons); }

void EditorFixture::click(const CPoint& p, long buttons) {
    press(p, buttons);
    release(p, buttons & kModifierMask);
}

void EditorFixture::drag(const CPoint& from, const CPoint& to, long buttons) {
    press(from, buttons);
    move(to, buttons);
    release(to, buttons & kModifierMask);
}

bool EditorFixture::wheel(const CPoint& p, float distance, long buttons) {
    return frame()->windowWheel(p, distance, buttons);
}

int EditorFixture::drawnFrame(int tag) const {
    const CControl* c = control(tag);
    if (!c || !MockWindow::current) return -1;
    const auto& copies = MockWindow::current->context.copies;
    int frames = 2;
    for (const auto& l : kvbeditor::kControls)
        if (l.tag == tag) frames = l.frames;
    for (auto it = copies.rbegin(); it != copies.rend(); ++it) {
        if (it->dest != c->getViewSize()) continue;
        const int frameHeight = it->sourceHeight / frames;
        EXPECT_EQ(it->srcY % frameHeight, 0) << "not a whole frame";
        return it->srcY / frameHeight;
    }
    return -1;
}

void EditorFixture::clearDrawing() const {
    if (!MockWindow::current) return;
    MockWindow::current->context.clear();
    MockWindow::current->presented.clear();
}

std::vector<TestHost::Call> EditorFixture::hostCalls(vst::int32 opcode) const {
    std::vector<TestHost::Call> out;
    for (const auto& c : TestHost::calls)
        if (c.opcode == opcode) out.push_back(c);
    return out;
}

std::vector<vst::int32> EditorFixture::gestureCalls() const {
    std::vector<vst::int32> out;
    for (const auto& c : TestHost::calls)
        if (c.opcode == vst::audioMasterBeginEdit || c.opcode == vst::audioMasterEndEdit ||
            c.opcode == vst::audioMasterAutomate)
            out.push_back(c.opcode);
    return out;
}

}  // namespace guitest
