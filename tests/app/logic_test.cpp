// The shell's pure parts: the run-mode choice, decimal handles and the input arithmetic.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "app/input.h"
#include "app/runmode.h"

namespace {

struct CommandLine {
    std::vector<const wchar_t*> arguments; // after the program name
    bool configure;
    RunMode mode;
    int64_t parent;
};

RunChoice choose(const std::vector<const wchar_t*>& arguments) {
    std::vector<const wchar_t*> argv{L"C:\\voidrunner3d.scr"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return chooseRunMode((int)argv.size(), argv.data());
}

TEST(RunMode, CommandLines) {
    const CommandLine table[] = {
        {{}, false, Default, 0},
        {{L"/s"}, false, Saver, 0},
        {{L"-s"}, false, Saver, 0},
        {{L"/S"}, false, Saver, 0},
        {{L"-S"}, false, Saver, 0},
        {{L"/s:1"}, false, Default, 0},
        {{L"-x"}, false, Default, 0},
        {{L"hello"}, false, Default, 0},
        {{L""}, false, Default, 0},
        {{L"/c"}, true, Default, 0},
        {{L"-c"}, true, Default, 0},
        {{L"/C"}, true, Default, 0},
        {{L"/c:1234"}, true, Default, 0},
        {{L"/C:anything"}, true, Default, 0},
        {{L"-c:1234"}, false, Default, 0},
        {{L"/cx"}, false, Default, 0},
        {{L"/p:1234"}, false, Preview, 1234},
        {{L"-p:1234"}, false, Preview, 1234},
        {{L"/P:1234"}, false, Preview, 1234},
        {{L"/p", L"1234"}, false, Preview, 1234},
        {{L"-p", L"1234"}, false, Preview, 1234},
        {{L"/P", L"1234", L"5678"}, false, Preview, 1234},
        {{L"/p:1234", L"5678"}, false, Preview, 1234},
        {{L"/p"}, false, Preview, 0},
        {{L"-p"}, false, Preview, 0},
        {{L"/p1234"}, false, Preview, 0},
        {{L"/pX", L"1234"}, false, Preview, 0},
        {{L"/p:0x10"}, false, Preview, 0},
        {{L"/p:", L"1234"}, false, Preview, 0},
        {{L"/s", L"/c"}, false, Saver, 0},
        {{L"hello", L"/s"}, false, Default, 0},
    };
    for (const CommandLine& row : table) {
        std::wstring text;
        for (const wchar_t* argument : row.arguments) {
            text += std::wstring(L" ") + argument;
        }
        SCOPED_TRACE(testing::PrintToString(text));
        const RunChoice choice = choose(row.arguments);
        EXPECT_EQ(choice.configure, row.configure);
        if (!row.configure) {
            EXPECT_EQ(choice.mode, row.mode);
            EXPECT_EQ(choice.previewParent, row.parent);
        }
    }
}

TEST(RunMode, FailedSplitReadsAsNoArguments) {
    const RunChoice choice = chooseRunMode(0, nullptr);
    EXPECT_FALSE(choice.configure);
    EXPECT_EQ(choice.mode, Default);
}

TEST(RunMode, DecimalHandles) {
    const struct {
        const wchar_t* text;
        int64_t value;
    } table[] = {
        {L"1234", 1234},
        {L"  \t42", 42},
        {L"+7", 7},
        {L"-17x", -17},
        {L"12 34", 12},
        {L"", 0},
        {L"abc", 0},
        {L"- 5", 0},
        {L"0x10", 0},
        {L"9223372036854775807", INT64_MAX},
        {L"-9223372036854775808", INT64_MIN},
        // Beyond the range the value saturates rather than wrapping.
        {L"9223372036854775808", INT64_MAX},
        {L"-9223372036854775809", INT64_MIN},
        {L"123456789012345678901234567890", INT64_MAX},
    };
    for (const auto& row : table) {
        EXPECT_EQ(parseDecimal64(row.text), row.value) << testing::PrintToString(row.text);
    }
}

TEST(Input, SpeedCurveSamples) {
    const struct {
        int32_t percent;
        float speed;
    } table[] = {{3, 10.69f}, {5, 11.98f}, {8, 15.19f}, {28, 77.68f}, {50, 232.17f}, {95, 838.17f}};
    for (const auto& row : table) {
        EXPECT_NEAR(speedCurve(row.percent), row.speed, 0.01f) << row.percent;
    }
    EXPECT_EQ(speedCurve(0), 0.0f);
    EXPECT_EQ(speedCurve(100), 930.0f);
}

TEST(Input, SteeringIsLimitedPerReport) {
    EXPECT_FLOAT_EQ(steeringStep(100, yawLimit), 0.11f);
    EXPECT_FLOAT_EQ(steeringStep(-100, yawLimit), -0.11f);
    EXPECT_FLOAT_EQ(steeringStep(-100, pitchLimit), -0.09f);
    EXPECT_FLOAT_EQ(steeringStep(10, yawLimit), 0.023f);
    EXPECT_FLOAT_EQ(steeringStep(-30, pitchLimit), -0.069f);
    EXPECT_EQ(steeringStep(0, yawLimit), 0.0f);
    EXPECT_FLOAT_EQ(steeringStep(INT32_MIN, pitchLimit), -0.09f);
    float sum = 0.0f;
    for (int i = 0; i < 10; i++) {
        sum += steeringStep(100, yawLimit);
    }
    EXPECT_NEAR(sum, 1.1f, 1e-5f);
}

TEST(Input, WheelNotches) {
    for (auto [delta, notches] : {std::pair{0, 0},
                                  {119, 0},
                                  {-119, 0},
                                  {120, 1},
                                  {-120, -1},
                                  {239, 1},
                                  {240, 2},
                                  {-239, -1},
                                  {32767, 273},
                                  {-32768, -273}}) {
        EXPECT_EQ(wheelNotches((int16_t)delta), notches) << delta;
    }
    EXPECT_EQ(speedAfterNotches(28, -273), 0);
    EXPECT_EQ(speedAfterNotches(28, 273), 100);
}

TEST(Input, ClickGraceEndsStrictlyAfterEightTenths) {
    const int64_t frequency = 10000000, start = 123456789;
    EXPECT_FALSE(clickEndsRun(start + 5000000, start, frequency));
    EXPECT_FALSE(clickEndsRun(start + 8000000, start, frequency));
    EXPECT_TRUE(clickEndsRun(start + 8000001, start, frequency));
    EXPECT_TRUE(clickEndsRun(start + 8100000, start, frequency));
    EXPECT_FALSE(clickEndsRun(start - 1, start, frequency));
    // A counter that wrapped past its top still measures the short time since start.
    EXPECT_FALSE(clickEndsRun(INT64_MIN + 100, INT64_MAX - 100, frequency));
    EXPECT_TRUE(clickEndsRun(INT64_MIN + 4000000, INT64_MAX - 4500000, frequency));
}

} // namespace
