// voidrunner3d's command line and the daemon's window variable, case by case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "x11/options.h"

namespace {

struct Good {
    const char* name;
    std::vector<const char*> arguments;
    const char* daemonVariable; // null: not set
    HackTarget target;
    uint64_t windowId;
    int32_t width, height, speed;
    bool preview, fixedClock;
    int64_t frames;
    bool report;
    const char* display;
};

// Test names show the case's name, not its bytes.
void PrintTo(const Good& c, std::ostream* out) {
    *out << c.name;
}

// clang-format off
const Good goodCases[] = {
    {"Nothing", {}, nullptr, OwnWindow, 0, 1280, 720, 28, false, false, 0, false, ""},
    {"DaemonHex", {}, "0x2a", ForeignWindow, 42, 1280, 720, 28, false, false, 0, false, ""},
    {"DaemonDecimal", {}, "12345", ForeignWindow, 12345, 1280, 720, 28, false, false, 0, false, ""},
    {"DaemonEmptyIsUnset", {}, "", OwnWindow, 0, 1280, 720, 28, false, false, 0, false, ""},
    {"RootUnderDaemon", {"-root"}, "0x400008", ForeignWindow, 0x400008, 1280, 720, 28, false, false, 0, false, ""},
    {"RootAlone", {"-root"}, nullptr, RootWindow, 0, 1280, 720, 28, false, false, 0, false, ""},
    {"WindowBeatsDaemon", {"-window"}, "99", OwnWindow, 0, 1280, 720, 28, false, false, 0, false, ""},
    {"WindowIdBeatsDaemon", {"-window-id", "0x1A"}, "99", ForeignWindow, 26, 1280, 720, 28, false, false, 0, false, ""},
    {"LargestId", {"--window-id", "4294967295"}, nullptr, ForeignWindow, 0xFFFFFFFFu, 1280, 720, 28, false, false, 0, false, ""},
    {"LastChoiceWinsRoot", {"-window", "-root"}, nullptr, RootWindow, 0, 1280, 720, 28, false, false, 0, false, ""},
    {"LastChoiceWinsWindow", {"-root", "-window"}, nullptr, OwnWindow, 0, 1280, 720, 28, false, false, 0, false, ""},
    {"SizeSpeedPreview", {"-geometry", "640x480", "-speed", "0", "-preview"}, nullptr, OwnWindow, 0, 640, 480, 0, true, false, 0, false, ""},
    {"TwoDashes", {"--speed", "100", "--geometry", "32767x1"}, nullptr, OwnWindow, 0, 32767, 1, 100, false, false, 0, false, ""},
    {"TestOptions", {"-fixed-clock", "-frames", "30", "-report"}, nullptr, OwnWindow, 0, 1280, 720, 28, false, true, 30, true, ""},
    {"Display", {"-display", ":5"}, nullptr, OwnWindow, 0, 1280, 720, 28, false, false, 0, false, ":5"},
};
// clang-format on

class GoodCommandLine : public ::testing::TestWithParam<Good> {};

TEST_P(GoodCommandLine, Parses) {
    const Good& c = GetParam();
    std::vector<const char*> argv = {"voidrunner3d"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    HackOptions options;
    std::string problem;
    ASSERT_EQ(parseHackOptions((int)argv.size(), argv.data(), c.daemonVariable, options, problem),
              HackRun)
        << problem;
    EXPECT_EQ(options.target, c.target);
    EXPECT_EQ(options.windowId, c.windowId);
    EXPECT_EQ(options.width, c.width);
    EXPECT_EQ(options.height, c.height);
    EXPECT_EQ(options.speedPercent, c.speed);
    EXPECT_EQ(options.preview, c.preview);
    EXPECT_EQ(options.fixedClock, c.fixedClock);
    EXPECT_EQ(options.frames, c.frames);
    EXPECT_EQ(options.report, c.report);
    EXPECT_EQ(options.display, c.display);
}

INSTANTIATE_TEST_SUITE_P(Options, GoodCommandLine, ::testing::ValuesIn(goodCases),
                         [](const ::testing::TestParamInfo<Good>& info) {
                             return std::string(info.param.name);
                         });

struct Bad {
    const char* name;
    std::vector<const char*> arguments;
    const char* daemonVariable;
    HackParse outcome;
    const char* problem;
};

// Test names show the case's name, not its bytes.
void PrintTo(const Bad& c, std::ostream* out) {
    *out << c.name;
}

// clang-format off
const Bad badCases[] = {
    {"Unknown", {"-fps"}, nullptr, HackBadOption, "unknown option -fps (-help lists them)"},
    {"IdBeyond32Bits", {"-window-id", "0x100000000"}, nullptr, HackBadOption, "-window-id: not a window id: 0x100000000"},
    {"IdWithTail", {"-window-id", "12x"}, nullptr, HackBadOption, "-window-id: not a window id: 12x"},
    {"GeometryOneNumber", {"-geometry", "640"}, nullptr, HackBadOption, "-geometry: not a size WxH from 1x1 to 32767x32767: 640"},
    {"GeometryTooWide", {"-geometry", "32768x10"}, nullptr, HackBadOption, "-geometry: not a size WxH from 1x1 to 32767x32767: 32768x10"},
    {"GeometryNoWidth", {"-geometry", "x10"}, nullptr, HackBadOption, "-geometry: not a size WxH from 1x1 to 32767x32767: x10"},
    {"SpeedExponent", {"-speed", "1e2"}, nullptr, HackBadOption, "-speed: not a whole number from 0 to 100: 1e2"},
    {"SpeedSign", {"-speed", "+5"}, nullptr, HackBadOption, "-speed: not a whole number from 0 to 100: +5"},
    {"TooManyFrames", {"-frames", "1000000001"}, nullptr, HackBadOption, "-frames: not a frame count from 1 to 1000000000: 1000000001"},
    {"GeometryLast", {"-geometry"}, nullptr, HackBadOption, "-geometry: a value must follow"},
    {"DaemonNegative", {}, "-5", HackBadOption, "XSCREENSAVER_WINDOW: not a window id: -5"},
    {"HelpWinsOverDaemon", {"-help"}, "junk", HackHelp, ""},
    {"LongHelp", {"--help"}, nullptr, HackHelp, ""},
    {"HelpAfterBadValue", {"-speed", "500", "-h"}, nullptr, HackBadOption, "-speed: not a whole number from 0 to 100: 500"},
};
// clang-format on

class BadCommandLine : public ::testing::TestWithParam<Bad> {};

TEST_P(BadCommandLine, IsRefused) {
    const Bad& c = GetParam();
    std::vector<const char*> argv = {"voidrunner3d"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    HackOptions options;
    std::string problem;
    EXPECT_EQ(parseHackOptions((int)argv.size(), argv.data(), c.daemonVariable, options, problem),
              c.outcome);
    EXPECT_EQ(problem, c.problem);
}

INSTANTIATE_TEST_SUITE_P(Options, BadCommandLine, ::testing::ValuesIn(badCases),
                         [](const ::testing::TestParamInfo<Bad>& info) {
                             return std::string(info.param.name);
                         });

TEST(WindowId, DecimalAndHexadecimalWithinThirtyTwoBits) {
    const struct {
        const char* text;
        bool valid;
        uint64_t id;
    } cases[] = {
        {"0x1", true, 1},
        {"0X1f", true, 31},
        {"1", true, 1},
        {"4294967295", true, 0xFFFFFFFFu},
        {"0xFFFFFFFF", true, 0xFFFFFFFFu},
        {"", false, 0},
        {"0x", false, 0},
        {"0", false, 0},
        {"0x0", false, 0},
        {"-1", false, 0},
        {"4294967296", false, 0},
        {" 5", false, 0},
        {"0x1g", false, 0},
        {"07", true, 7},
    };
    for (const auto& c : cases) {
        uint64_t id = 12345;
        EXPECT_EQ(parseWindowId(c.text, id), c.valid) << c.text;
        EXPECT_EQ(id, c.valid ? c.id : 12345u) << c.text;
    }
}

} // namespace
