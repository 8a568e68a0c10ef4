// Parameters and programs through the effect's operations and the dispatcher.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "params/Parameters.h"
#include "shell/Controlsgui.h"
#include "tests/TestHost.h"
#include "tests/support/EffectTest.h"

using namespace vst;

namespace {

class ParamsTest : public EffectTest {};

}  // namespace

TEST_F(ParamsTest, NamesFollowTheTable) {
    EXPECT_EQ(text(effGetParamName, 0), "OptThr1");
    EXPECT_EQ(text(effGetParamName, 9), "DisThr2");
    EXPECT_EQ(text(effGetParamName, 15), "MeterMode");
    EXPECT_EQ(text(effGetParamName, 24), "StereoMode");
    EXPECT_EQ(text(effGetParamName, 25), "MSMode");
    for (int i : {26, 27, 30, 50, 51, 1000, -1, -1000}) EXPECT_EQ(text(effGetParamName, i), "-") << i;
}

TEST_F(ParamsTest, LongestNameIsWrittenWhole) {
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    dispatch(effGetParamName, 24, 0, buf);
    EXPECT_STREQ(buf, "StereoMode");
    EXPECT_EQ(buf[11], 'x') << "11 bytes, no more";
    std::size_t longest = 0;
    for (int i = 0; i < kNumParams; ++i) longest = std::max(longest, text(effGetParamName, i).size());
    EXPECT_EQ(longest, 10u);
}

TEST_F(ParamsTest, DefaultsOfAFreshEffect) {
    const float defaults[26] = {1.0f, 0.0f, 1.0f, 0.4f, 0.8f, 0.6f, 0.0f, 1.0f, 0.0f,
                                1.0f, 0.4f, 0.8f, 0.6f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f,
                                0.0f, 1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f};
    for (int i = 0; i < 26; ++i) EXPECT_EQ(get(i), defaults[i]) << i;
    for (int i = 26; i < 51; ++i) {
        EXPECT_EQ(get(i), 0.5f) << i;
        EXPECT_EQ(text(effGetParamDisplay, i), "0.500") << i;
    }
    EXPECT_EQ(text(effGetParamDisplay, 3), "0.400");
    EXPECT_EQ(text(effGetParamDisplay, 0), "1.000");
    EXPECT_EQ(text(effGetParamDisplay, 1), "0.000");
}

TEST_F(ParamsTest, LabelsAreEmpty) {
    for (int i : {0, 25, 50}) {
        char buf[16] = "junk";
        dispatch(effGetParamLabel, i, 0, buf);
        EXPECT_STREQ(buf, "") << i;
    }
}

TEST_F(ParamsTest, ValuesAreStoredUnclamped) {
    set(0, 1.25f);
    EXPECT_EQ(get(0), 1.25f);
    EXPECT_EQ(text(effGetParamDisplay, 0), "1.250");
    set(0, -0.5f);
    EXPECT_EQ(text(effGetParamDisplay, 0), "-0.500");
}

TEST(ParameterDisplay, EveryFloatStaysWithinTheDisplayLength) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float lowest = std::numeric_limits<float>::lowest();
    for (float v : {0.0f, 0.5f, 1.0f, 1.25f, -0.5f, 99.999f, 100.0f, 1234.5f, -1234.5f, 1e30f, -1e30f,
                    lowest, std::numeric_limits<float>::max(), 1e-30f, nan, -nan, inf, -inf}) {
        char buf[32];
        std::memset(buf, 'x', sizeof buf);
        formatParameterDisplay(v, buf);
        const std::size_t len = std::strlen(buf);
        EXPECT_LT(len, kDisplayBytes) << v;
        EXPECT_EQ(buf[kDisplayBytes], 'x') << v;
        // Whatever form it takes, the text still reads as the value, to
        // the digits that fit.
        if (std::isfinite(v) && std::fabs(v) >= 1e-3f) {
            const double back = std::strtod(buf, nullptr);
            EXPECT_NEAR(back / v, 1.0, std::fabs(v) < 1e6f ? 0.001 : 0.15) << buf;
        }
    }
    char buf[16];
    formatParameterDisplay(99.999f, buf);
    EXPECT_STREQ(buf, "99.999");
    formatParameterDisplay(1e30f, buf);
    EXPECT_STREQ(buf, "1e+30");
    formatParameterDisplay(-1234.5f, buf);
    EXPECT_STREQ(buf, "-1234.5");
    formatParameterDisplay(nan, buf);
    EXPECT_STREQ(buf, "nan");
}

TEST_F(ParamsTest, OutOfRangeIndicesTouchNothing) {
    const ControlsguiProgram before = effect->program(0);
    for (int i : {51, 52, 1000, -1, std::numeric_limits<int32>::min(), std::numeric_limits<int32>::max()}) {
        set(i, 0.9f);
        EXPECT_EQ(get(i), 0.0f) << i;
        char buf[16] = "keep";
        dispatch(effGetParamDisplay, i, 0, buf);
        EXPECT_STREQ(buf, "keep") << i;
    }
    EXPECT_EQ(std::memcmp(&before, &effect->program(0), sizeof before), 0);
}

TEST_F(ParamsTest, SpareParameterIsStoredAndReported) {
    set(30, 0.7f);
    EXPECT_EQ(get(30), 0.7f);
    EXPECT_EQ(effect->program(0).values[30], 0.7f);
    EXPECT_EQ(text(effGetParamDisplay, 30), "0.700");
    EXPECT_EQ(text(effGetParamName, 30), "-");
}

TEST_F(ParamsTest, String2ParameterAnswersTrueAndChangesNothing) {
    char t[] = "0.25";
    EXPECT_EQ(dispatch(effString2Parameter, 2, 0, t), 1);
    EXPECT_EQ(get(2), 1.0f);
    EXPECT_EQ(dispatch(effString2Parameter, 99, 0, t), 1);
}

// --- programs ----------------------------------------------------------------

TEST_F(ParamsTest, FreshBank) {
    EXPECT_EQ(dispatch(effGetProgram), 0);
    EXPECT_EQ(text(effGetProgramName), "Default");
    for (int i = 0; i < 50; ++i) {
        char buf[32] = {0};
        EXPECT_EQ(dispatch(effGetProgramNameIndexed, i, 0, buf), 1);
        EXPECT_STREQ(buf, "Default");
    }
}

TEST_F(ParamsTest, SetProgramRangeIsChecked) {
    dispatch(effSetProgram, 0, 49);
    EXPECT_EQ(dispatch(effGetProgram), 49);
    dispatch(effSetProgram, 0, 50);
    EXPECT_EQ(dispatch(effGetProgram), 49);
    dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(dispatch(effGetProgram), 49);
    dispatch(effSetProgram, 0, static_cast<intptr>(1) << 33);  // not a small number in disguise
    EXPECT_EQ(dispatch(effGetProgram), 49);
}

TEST_F(ParamsTest, EachProgramKeepsItsOwnEdits) {
    dispatch(effSetProgram, 0, 3);
    set(2, 0.25f);
    dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(get(2), 1.0f) << "program 5 still has its default";
    set(2, 0.75f);
    dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(get(2), 0.25f);
    dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(get(2), 0.75f);
}

TEST_F(ParamsTest, SelectingTheCurrentProgramKeepsEveryValue) {
    set(0, 0.1f);
    set(40, 0.2f);
    dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(get(0), 0.1f);
    EXPECT_EQ(get(40), 0.2f);
}

TEST_F(ParamsTest, InitIsNumberedOnlyByTheIndexedQuery) {
    dispatch(effSetProgram, 0, 6);
    char init[] = "Init";
    dispatch(effSetProgramName, 0, 0, init);
    char buf[32] = {0};
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, 6, 0, buf), 1);
    EXPECT_STREQ(buf, "Init 7");
    EXPECT_EQ(text(effGetProgramName), "Init");

    for (const char* lookalike : {"Init ", "Init7", "init", "INIT", "Init\t"}) {
        char name[16];
        std::strcpy(name, lookalike);
        dispatch(effSetProgramName, 0, 0, name);
        dispatch(effGetProgramNameIndexed, 6, 0, buf);
        EXPECT_STREQ(buf, lookalike);
    }
    // Init on the last program.
    dispatch(effSetProgram, 0, 49);
    dispatch(effSetProgramName, 0, 0, init);
    dispatch(effGetProgramNameIndexed, 49, 0, buf);
    EXPECT_STREQ(buf, "Init 50");
}

TEST_F(ParamsTest, IndexedNameOutsideTheBankAnswersFalse) {
    for (int i : {50, -1, 1000}) {
        char buf[16] = "keep";
        EXPECT_EQ(dispatch(effGetProgramNameIndexed, i, 0, buf), 0);
        EXPECT_STREQ(buf, "keep");
    }
}

TEST_F(ParamsTest, LongProgramNamesAreCutTo23Characters) {
    char longName[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    dispatch(effSetProgramName, 0, 0, longName);
    char buf[64];
    std::memset(buf, 'x', sizeof buf);
    dispatch(effGetProgramName, 0, 0, buf);
    EXPECT_STREQ(buf, "ABCDEFGHIJKLMNOPQRSTUVW");
    EXPECT_EQ(buf[24], 'x') << "24 bytes at most reach the host";
    std::memset(buf, 'x', sizeof buf);
    dispatch(effGetProgramNameIndexed, 0, 0, buf);
    EXPECT_STREQ(buf, "ABCDEFGHIJKLMNOPQRSTUVW");
    EXPECT_EQ(buf[24], 'x');
    // Other programs are untouched.
    dispatch(effGetProgramNameIndexed, 1, 0, buf);
    EXPECT_STREQ(buf, "Default");
}

TEST_F(ParamsTest, ProgramChangeIsVisibleThroughGetParameter) {
    dispatch(effSetProgram, 0, 7);
    for (int i = 0; i < 51; ++i) set(i, static_cast<float>(i) / 100.0f);
    dispatch(effSetProgram, 0, 8);
    dispatch(effSetProgram, 0, 7);
    for (int i = 0; i < 51; ++i) EXPECT_EQ(get(i), static_cast<float>(i) / 100.0f) << i;
}
