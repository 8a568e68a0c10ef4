// An effect built in-process with its editor on the recording window back
// end, and the means to play a user's part (clicks, drags, the wheel).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "editor/ControlsguiEditor.h"
#include "shell/Controlsgui.h"
#include "shell/Vst2Editor.h"
#include "tests/TestHost.h"
#include "tests/gui/MockWindow.h"

namespace guitest {

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    vst::intptr dispatch(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    bool open() { return dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(0x5a5a)) == 1; }
    void close() { dispatch(vst::effEditClose); }
    void idle() { dispatch(vst::effEditIdle); }

    float param(int index) { return effect->getParameter(effect, index); }
    void setParam(int index, float v) { effect->setParameter(effect, index, v); }

    VSTGUI::CFrame* frame() const { return editor->getFrame(); }
    VSTGUI::CControl* control(int tag) const { return editor->getControl(tag); }
    VSTGUI::CPoint centreOf(int tag) const;

    // The window's part in input.
    void press(const VSTGUI::CPoint& p, long buttons = VSTGUI::kLButton);
    void move(const VSTGUI::CPoint& p, long buttons = VSTGUI::kLButton);
    void release(const VSTGUI::CPoint& p, long buttons = 0);
    void click(const VSTGUI::CPoint& p, long buttons = VSTGUI::kLButton);
    void drag(const VSTGUI::CPoint& from, const VSTGUI::CPoint& to,
              long buttons = VSTGUI::kLButton);
    bool wheel(const VSTGUI::CPoint& p, float distance, long buttons = 0);

    // The frame of the strip that the last drawing of control `tag` showed,
    // or -1 if it was not drawn since the records were cleared.
    int drawnFrame(int tag) const;
    void clearDrawing() const;

    // Host calls of one opcode since the last reset, as (index, opt).
    std::vector<TestHost::Call> hostCalls(vst::int32 opcode) const;
    // Opcodes of the begin/end/automate calls in order.
    std::vector<vst::int32> gestureCalls() const;

    vst::AEffect* effect = nullptr;
    Controlsgui* kvb = nullptr;
    ControlsguiEditor* editor = nullptr;
};

// A clock the tests move by hand.
struct ManualClock {
    static inline std::uint32_t now = 0;
    static std::uint32_t read() { return now; }
};

}  // namespace guitest
