// The effect object and its dispatcher, in-process: every opcode's answer,
// the host calls, the entry sequence and the editor forwarding.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "shell/AEffEditor.h"
#include "shell/Controlsgui.h"
#include "tests/TestHost.h"
#include "tests/support/EffectTest.h"
#include "tests/support/TestPlugin.h"

using namespace vst;

namespace {

// An editor that records what reaches it.
struct RecordingEditor : AEffEditor {
    explicit RecordingEditor(AudioEffect* e, bool* destroyedFlag = nullptr)
        : AEffEditor(e), destroyed(destroyedFlag) {
        rect = {0, 0, 616, 1100};
    }
    ~RecordingEditor() override {
        if (destroyed) *destroyed = true;
    }
    bool open(void* ptr) override {
        AEffEditor::open(ptr);
        return true;
    }
    void idle() override { ++idles; }
    bool onKeyDown(VstKeyCode& k) override {
        keys.push_back(k);
        return true;
    }
    bool onKeyUp(VstKeyCode& k) override {
        keys.push_back(k);
        return false;
    }
    bool onWheel(float d) override {
        wheel.push_back(d);
        return wheelAnswer;
    }
    bool setKnobMode(int32 m) override {
        knobMode = m;
        return true;
    }
    void setParameter(int32 index, float value) override { params.push_back({index, value}); }

    bool* destroyed;
    int idles = 0;
    std::vector<VstKeyCode> keys;
    std::vector<float> wheel;
    bool wheelAnswer = true;
    int32 knobMode = -1;
    struct Set {
        int32 index;
        float value;
    };
    std::vector<Set> params;
};

// Replaces whatever editor the effect built with a recording one.
RecordingEditor* installRecordingEditor(Controlsgui* effect, bool* destroyed = nullptr) {
    delete effect->getEditor();
    return new RecordingEditor(effect, destroyed);
}

class ShellTest : public EffectTest {};

}  // namespace

TEST(EntrySequence, HostAnsweringVersionZeroGetsNoEffect) {
    TestHost::reset();
    TestHost::version = 0;
    EXPECT_EQ(createEffectInstance(TestHost::callback), nullptr);
    ASSERT_EQ(TestHost::calls.size(), 1u);
    EXPECT_EQ(TestHost::calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(TestHost::calls[0].effect, nullptr);
    TestHost::version = 2400;
}

TEST(EntrySequence, NoCallbackGetsNoEffect) { EXPECT_EQ(createEffectInstance(nullptr), nullptr); }

TEST_F(ShellTest, RecordCarriesTheEffectsProperties) {
    EXPECT_EQ(record->magic, 0x56737450);
    EXPECT_EQ(record->uniqueID, 0x004B5642);
    EXPECT_EQ(record->flags & ~effFlagsHasEditor, effFlagsCanReplacing);
    EXPECT_EQ(record->numInputs, 2);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->initialDelay, 3);
    EXPECT_EQ(record->numPrograms, 50);
    EXPECT_EQ(record->numParams, 51);
    EXPECT_EQ(record->version, 1);
    EXPECT_FLOAT_EQ(record->ioRatio, 1.0f);
    EXPECT_EQ(record->object, effect);
    EXPECT_EQ(record->resvd1, 0);
    EXPECT_EQ(record->realQualities, 0);
    for (char c : record->future) EXPECT_EQ(c, 0);
}

TEST(BaseRecord, DefaultsBeforeTheEffectSetsItsOwn) {
    // The bare base with no host: one input, the placeholder ID, no editor.
    AudioEffectX base(nullptr, 1, 1);
    AEffect* r = base.getAeffect();
    EXPECT_EQ(r->numInputs, 1);
    EXPECT_EQ(r->numOutputs, 2);
    EXPECT_EQ(r->uniqueID, fourCC('N', 'o', 'E', 'f'));
    EXPECT_EQ(r->flags, effFlagsCanReplacing);
    EXPECT_EQ(r->initialDelay, 0);
    // Host calls without a callback answer neutrally.
    EXPECT_TRUE(base.isInputConnected(0));
    EXPECT_FALSE(base.wantEvents(1));
    EXPECT_FALSE(base.beginEdit(0));
    EXPECT_FALSE(base.endEdit(0));
    EXPECT_FALSE(base.canHostDo(const_cast<char*>("sizeWindow")));
    EXPECT_FALSE(base.sizeWindow(10, 10));
    EXPECT_EQ(base.getMasterVersion(), 0);
    base.setParameterAutomated(0, 0.5f);  // nothing to tell; must not crash
}

TEST(BaseRecord, FlagSettersTouchOneBitEach) {
    AudioEffectX base(nullptr, 1, 1);
    base.isSynth(true);
    EXPECT_EQ(base.getAeffect()->flags, effFlagsCanReplacing | effFlagsIsSynth);
    EXPECT_EQ(base.getPlugCategory(), kPlugCategSynth);
    base.isSynth(false);
    base.canProcessReplacing(false);
    base.programsAreChunks(true);
    base.canDoubleReplacing(true);
    base.noTail(true);
    EXPECT_EQ(base.getAeffect()->flags,
              effFlagsProgramChunks | effFlagsCanDoubleReplacing | effFlagsNoSoundInStop);
    EXPECT_EQ(base.getPlugCategory(), kPlugCategUnknown);
}

TEST_F(ShellTest, TextAnswers) {
    char buf[80];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(dispatch(effGetEffectName, 0, 0, buf), 1);
    EXPECT_STREQ(buf, "KVB");
    EXPECT_EQ(buf[4], 'x') << "exactly four bytes are written";
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(dispatch(effGetProductString, 0, 0, buf), 1);
    EXPECT_STREQ(buf, "KVB");
    EXPECT_EQ(buf[4], 'x');
    EXPECT_EQ(dispatch(effGetVendorString, 0, 0, buf), 1);
    EXPECT_GT(std::strlen(buf), 0u);
    EXPECT_LT(std::strlen(buf), static_cast<size_t>(kVstMaxVendorStrLen));
}

TEST_F(ShellTest, NumericAnswers) {
    EXPECT_EQ(dispatch(effOpen), 0);
    EXPECT_EQ(dispatch(effIdentify), fourCC('N', 'v', 'E', 'f'));
    EXPECT_EQ(dispatch(effGetChunk), 0);
    EXPECT_EQ(dispatch(effSetChunk), 0);
    EXPECT_EQ(dispatch(effProcessEvents, 0, 0, nullptr), 0);
    for (int i : {0, 25, 50, 51, -1}) EXPECT_EQ(dispatch(effCanBeAutomated, i), 1) << i;
    EXPECT_EQ(dispatch(effGetPlugCategory), kPlugCategUnknown);
    EXPECT_EQ(dispatch(effGetVendorVersion), 0);
    EXPECT_EQ(dispatch(effGetTailSize), 0);
    EXPECT_EQ(dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(dispatch(effGetNumMidiInputChannels), 1);
    EXPECT_EQ(dispatch(effGetNumMidiOutputChannels), 0);
    EXPECT_EQ(dispatch(effSetTotalSampleToProcess, 0, 12345), 12345);
    EXPECT_EQ(dispatch(effSetTotalSampleToProcess, 0, -7), -7);
    // Only the low 32 bits come back, sign-extended.
    EXPECT_EQ(dispatch(effSetTotalSampleToProcess, 0, static_cast<intptr>(0x1FFFFFFFFLL)), -1);
}

TEST_F(ShellTest, UnhandledOpcodesAnswerZeroAndChangeNothing) {
    const float before = effect->getParameter(0);
    const int32 program = static_cast<int32>(dispatch(effGetProgram));
    char buf[64] = "untouched";
    for (int32 op : {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 33, 34, 36, 37, 38, 39, 40, 41, 42, 43,
                     44, 46, 53, 54, 55, 56, 57, 62, 64, 65, 66, 67, 68, 70, 71, 72, 74, 75, 76, 77,
                     80, 81, 1000, -1, -100}) {
        EXPECT_EQ(dispatch(op, 1, 1, buf, 1.0f), 0) << "opcode " << op;
    }
    EXPECT_STREQ(buf, "untouched");
    EXPECT_EQ(effect->getParameter(0), before);
    EXPECT_EQ(dispatch(effGetProgram), program);
}

TEST_F(ShellTest, CanDoAnswersExactTextsOnly) {
    auto canDo = [&](const char* s) { return dispatch(effCanDo, 0, 0, const_cast<char*>(s)); };
    EXPECT_EQ(canDo("receiveVstEvents"), 1);
    EXPECT_EQ(canDo("receiveVstMidiEvent"), 1);
    for (const char* s : {"receiveVst", "receiveVstEvent", "receiveVstEventsX", "receiveVstMidiEvents",
                          "", "receiveVstTimeInfo", "ReceiveVstEvents"})
        EXPECT_EQ(canDo(s), -1) << '"' << s << '"';
}

TEST_F(ShellTest, SampleRateAndBlockSize) {
    dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_FLOAT_EQ(effect->getSampleRate(), 48000.0f);
    dispatch(effSetBlockSize, 0, 256);
    EXPECT_EQ(effect->getBlockSize(), 256);
}

TEST_F(ShellTest, UnusableSampleRatesAreIgnored) {
    dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    for (float bad : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()}) {
        dispatch(effSetSampleRate, 0, 0, nullptr, bad);
        EXPECT_FLOAT_EQ(effect->getSampleRate(), 96000.0f) << bad;
    }
}

TEST_F(ShellTest, ResumeAsksForEventsAndRecordsInputPin) {
    TestHost::calls.clear();
    EXPECT_EQ(dispatch(effMainsChanged, 0, 2), 0);  // any non-zero value resumes
    bool askedPin = false, askedMidi = false;
    for (const auto& c : TestHost::calls) {
        if (c.opcode == audioMasterPinConnected) {
            askedPin = true;
            EXPECT_EQ(c.index, 1);
            EXPECT_EQ(c.value, 0);
        }
        if (c.opcode == audioMasterWantMidi) {
            askedMidi = true;
            EXPECT_EQ(c.value, 1);
        }
    }
    EXPECT_TRUE(askedPin);
    EXPECT_TRUE(askedMidi);
    EXPECT_EQ(effect->inputConnected(), 1.0f);

    TestHost::pinAnswer = 1;  // "not connected"
    dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(effect->inputConnected(), 0.0f);
    TestHost::pinAnswer = 0;

    TestHost::calls.clear();
    dispatch(effMainsChanged, 0, 0);  // suspend asks nothing
    EXPECT_TRUE(TestHost::calls.empty());
}

TEST_F(ShellTest, SpeakerArrangementStoresNullThroughGivenAddresses) {
    int dummy;
    VstSpeakerArrangement* a = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    VstSpeakerArrangement* b = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<intptr>(&a), &b), 0);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
    // A null address in either place is skipped rather than written through.
    a = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, 0, &a), 0);
    EXPECT_EQ(a, nullptr);
    b = reinterpret_cast<VstSpeakerArrangement*>(&dummy);
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<intptr>(&b), nullptr), 0);
    EXPECT_EQ(b, nullptr);
}

TEST_F(ShellTest, EditorOpcodesWithoutEditorAnswerZero) {
    delete effect->getEditor();
    ASSERT_EQ(effect->getEditor(), nullptr);
    EXPECT_EQ(record->flags & effFlagsHasEditor, 0);
    ERect* r = nullptr;
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &r), 0);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(dispatch(effEditClose), 0);
    EXPECT_EQ(dispatch(effEditIdle), 0);
    EXPECT_EQ(dispatch(effEditKeyDown, 'a', 1, nullptr, 2.0f), 0);
    EXPECT_EQ(dispatch(effEditKeyUp, 'a', 1, nullptr, 2.0f), 0);
    EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 2), 0);
    EXPECT_EQ(dispatch(effVendorSpecific, fourCC('s', 't', 'C', 'A'), fourCC('W', 'h', 'e', 'e'),
                       nullptr, 1.0f),
              0);
    effect->setParameter(3, 0.25f);  // nobody to notify
    EXPECT_FLOAT_EQ(effect->getParameter(3), 0.25f);
}

TEST_F(ShellTest, EditorOpcodesReachTheEditor) {
    RecordingEditor* ed = installRecordingEditor(effect);
    EXPECT_EQ(record->flags, effFlagsCanReplacing | effFlagsHasEditor);
    ERect* r = nullptr;
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &r), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->right, 1100);
    EXPECT_EQ(r->bottom, 616);
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 1);
    EXPECT_TRUE(ed->isOpen());
    EXPECT_EQ(dispatch(effEditIdle), 0);
    EXPECT_EQ(ed->idles, 1);
    EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(ed->knobMode, 2);
    EXPECT_EQ(dispatch(effEditClose), 0);
    EXPECT_FALSE(ed->isOpen());
}

TEST_F(ShellTest, KeyCodesAreBuiltFromIndexValueAndOpt) {
    RecordingEditor* ed = installRecordingEditor(effect);
    EXPECT_EQ(dispatch(effEditKeyDown, 'q', 0x1FF, nullptr, 3.9f), 1);
    EXPECT_EQ(dispatch(effEditKeyUp, 65, 7, nullptr, 260.0f), 0);  // the editor answers false
    EXPECT_EQ(dispatch(effEditKeyDown, 0, 0, nullptr, -1.5f), 1);
    // A modifier that is no number at all counts as none instead of being undefined.
    EXPECT_EQ(dispatch(effEditKeyDown, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN()), 1);
    EXPECT_EQ(dispatch(effEditKeyDown, 0, 0, nullptr, 1e30f), 1);
    ASSERT_EQ(ed->keys.size(), 5u);
    EXPECT_EQ(ed->keys[0].character, 'q');
    EXPECT_EQ(ed->keys[0].virt, 0xFF);
    EXPECT_EQ(ed->keys[0].modifier, 3);  // truncated toward zero
    EXPECT_EQ(ed->keys[1].character, 65);
    EXPECT_EQ(ed->keys[1].virt, 7);
    EXPECT_EQ(ed->keys[1].modifier, 260 & 0xFF);
    EXPECT_EQ(ed->keys[2].modifier, 0xFF);  // -1, low byte
    EXPECT_EQ(ed->keys[3].modifier, 0);
    EXPECT_EQ(ed->keys[4].modifier, 0);
}

TEST_F(ShellTest, WheelMessageReachesTheEditorOnlyWithItsCodes) {
    RecordingEditor* ed = installRecordingEditor(effect);
    const int32 stCA = fourCC('s', 't', 'C', 'A');
    const intptr whee = fourCC('W', 'h', 'e', 'e');
    EXPECT_EQ(dispatch(effVendorSpecific, stCA, whee, nullptr, 2.0f), 1);
    ed->wheelAnswer = false;
    EXPECT_EQ(dispatch(effVendorSpecific, stCA, whee, nullptr, -1.0f), 0);
    EXPECT_EQ(dispatch(effVendorSpecific, stCA, whee + 1, nullptr, 1.0f), 0);
    EXPECT_EQ(dispatch(effVendorSpecific, stCA + 1, whee, nullptr, 1.0f), 0);
    EXPECT_EQ(dispatch(effVendorSpecific, whee, stCA, nullptr, 1.0f), 0);
    ASSERT_EQ(ed->wheel.size(), 2u);
    EXPECT_FLOAT_EQ(ed->wheel[0], 2.0f);
    EXPECT_FLOAT_EQ(ed->wheel[1], -1.0f);
}

TEST_F(ShellTest, ParameterChangesReachTheEditorEvenWhileClosed) {
    RecordingEditor* ed = installRecordingEditor(effect);
    effect->setParameter(8, 0.75f);
    effect->setParameter(30, 0.7f);
    effect->setParameter(51, 0.1f);  // out of range: nobody hears of it
    ASSERT_EQ(ed->params.size(), 2u);
    EXPECT_EQ(ed->params[0].index, 8);
    EXPECT_FLOAT_EQ(ed->params[0].value, 0.75f);
    EXPECT_EQ(ed->params[1].index, 30);
}

TEST_F(ShellTest, ProgramChangePassesAll51ValuesToTheEditor) {
    RecordingEditor* ed = installRecordingEditor(effect);
    dispatch(effSetProgram, 0, 0);  // the current program: still all 51
    ASSERT_EQ(ed->params.size(), 51u);
    for (int i = 0; i < 51; ++i) EXPECT_EQ(ed->params[i].index, i);
}

TEST_F(ShellTest, AutomatedChangeSetsThenTellsTheHost) {
    TestHost::calls.clear();
    effect->setParameterAutomated(4, 0.3f);
    EXPECT_FLOAT_EQ(effect->getParameter(4), 0.3f);
    ASSERT_EQ(TestHost::calls.size(), 1u);
    EXPECT_EQ(TestHost::calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(TestHost::calls[0].index, 4);
    EXPECT_FLOAT_EQ(TestHost::calls[0].opt, 0.3f);
    EXPECT_EQ(TestHost::calls[0].effect, record);

    TestHost::calls.clear();
    EXPECT_TRUE(effect->beginEdit(4));
    EXPECT_TRUE(effect->endEdit(4));
    EXPECT_TRUE(effect->canHostDo(const_cast<char*>("sizeWindow")));
    ASSERT_EQ(TestHost::calls.size(), 3u);
    EXPECT_EQ(TestHost::calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(TestHost::calls[1].opcode, audioMasterEndEdit);
    EXPECT_EQ(TestHost::calls[2].opcode, audioMasterCanDo);
}

TEST(CloseOpcode, DestroysTheEffectAndItsEditor) {
    TestHost::reset();
    AEffect* r = kvbtest::createPlugin(TestHost::callback);
    ASSERT_NE(r, nullptr);
    auto* effect = static_cast<Controlsgui*>(r->object);
    bool destroyed = false;
    installRecordingEditor(effect, &destroyed);
    EXPECT_EQ(r->dispatcher(r, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(destroyed);
}
