// An effect built in-process through the entry sequence, with its editor, as
// a host gets it, and driven through its AEffect record; closed after the
// test. Host calls are recorded (TestHost).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/Controlsgui.h"
#include "tests/TestHost.h"
#include "tests/support/TestPlugin.h"

class EffectTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestHost::reset();
        record = kvbtest::createPlugin(TestHost::callback);
        ASSERT_NE(record, nullptr);
        effect = static_cast<Controlsgui*>(record->object);
    }
    void TearDown() override {
        if (record) dispatch(vst::effClose);
    }

    vst::intptr dispatch(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }
    // The text a text request writes (into a buffer of 64 zero bytes).
    std::string text(vst::int32 opcode, vst::int32 index = 0) {
        char buf[64];
        std::memset(buf, 0, sizeof buf);
        dispatch(opcode, index, 0, buf);
        return buf;
    }
    float get(vst::int32 i) { return record->getParameter(record, i); }
    void set(vst::int32 i, float v) { record->setParameter(record, i, v); }

    vst::AEffect* record = nullptr;
    Controlsgui* effect = nullptr;
};
