// The shell's pure parts: the run-mode choice and decimal handles.
#include <gtest/gtest.h>

#include <vector>

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

} // namespace
