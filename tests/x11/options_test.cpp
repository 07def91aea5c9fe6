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
    WindowPlace place = {}; // given, x, y, fromRight, fromBottom
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
    {"GeometryOffset", {"-geometry", "640x480+10+20"}, nullptr, OwnWindow, 0, 640, 480, 28, false, false, 0, false, "", {true, 10, 20, false, false}},
    {"NegativeOffset", {"-geometry=320x200-0-16"}, nullptr, OwnWindow, 0, 320, 200, 28, false, false, 0, false, "", {true, 0, -16, true, true}},
    {"OffsetAlone", {"--geometry", "+5-7"}, nullptr, OwnWindow, 0, 1280, 720, 28, false, false, 0, false, "", {true, 5, -7, false, true}},
    {"OffsetIgnoredWithRoot", {"-root", "-geometry", "640x480+10+20"}, nullptr, RootWindow, 0, 640, 480, 28, false, false, 0, false, ""},
    {"OffsetIgnoredInDaemonWindow", {"-geometry", "8x8+1+1"}, "0x2a", ForeignWindow, 42, 8, 8, 28, false, false, 0, false, ""},
    {"EqualsForms", {"-speed=70", "--frames=5", "-window-id=0x1f", "-display=:3"}, nullptr, ForeignWindow, 31, 1280, 720, 70, false, false, 5, false, ":3"},
    {"SpeedSign", {"-speed", "+5", "-frames", "+007"}, nullptr, OwnWindow, 0, 1280, 720, 5, false, false, 7, false, ""},
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
    EXPECT_EQ(options.place.given, c.place.given);
    EXPECT_EQ(options.place.x, c.place.x);
    EXPECT_EQ(options.place.y, c.place.y);
    EXPECT_EQ(options.place.fromRight, c.place.fromRight);
    EXPECT_EQ(options.place.fromBottom, c.place.fromBottom);
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
    {"Unknown", {"-fps"}, nullptr, HackBadOption, "-fps: unknown option (-help lists them)"},
    {"UnknownWithValue", {"--fps=30"}, nullptr, HackBadOption, "--fps: unknown option (-help lists them)"},
    {"FlagWithValue", {"-preview=yes"}, nullptr, HackBadOption, "-preview: unexpected value yes (a flag takes no value)"},
    {"IdBeyond32Bits", {"-window-id", "0x100000000"}, nullptr, HackBadOption, "-window-id: 0x100000000 is not a window id (decimal or 0x hexadecimal, from 1 to 0xFFFFFFFF)"},
    {"IdWithTail", {"-window-id", "12x"}, nullptr, HackBadOption, "-window-id: 12x is not a window id (decimal or 0x hexadecimal, from 1 to 0xFFFFFFFF)"},
    {"GeometryOneNumber", {"-geometry", "640"}, nullptr, HackBadOption, "-geometry: 640 is not a geometry (WxH, WxH+X+Y or +X+Y; sides from 1 to 32767, offsets to 32767)"},
    {"GeometryTooWide", {"-geometry", "32768x10"}, nullptr, HackBadOption, "-geometry: 32768x10 is out of range (WxH, WxH+X+Y or +X+Y; sides from 1 to 32767, offsets to 32767)"},
    {"GeometryNoWidth", {"-geometry", "x10"}, nullptr, HackBadOption, "-geometry: x10 is not a geometry (WxH, WxH+X+Y or +X+Y; sides from 1 to 32767, offsets to 32767)"},
    {"OffsetTooFar", {"-geometry=8x8-32768+0"}, nullptr, HackBadOption, "-geometry: 8x8-32768+0 is out of range (WxH, WxH+X+Y or +X+Y; sides from 1 to 32767, offsets to 32767)"},
    {"OneOffset", {"-geometry", "8x8+1"}, nullptr, HackBadOption, "-geometry: 8x8+1 is not a geometry (WxH, WxH+X+Y or +X+Y; sides from 1 to 32767, offsets to 32767)"},
    {"SpeedExponent", {"-speed", "1e2"}, nullptr, HackBadOption, "-speed: 1e2 is not a whole number (a whole number from 0 to 100)"},
    {"SpeedNegative", {"-speed", "-5"}, nullptr, HackBadOption, "-speed: -5 is out of range (a whole number from 0 to 100)"},
    {"TooManyFrames", {"-frames", "1000000001"}, nullptr, HackBadOption, "-frames: 1000000001 is out of range (a whole number from 1 to 1000000000)"},
    {"GeometryLast", {"-geometry"}, nullptr, HackBadOption, "-geometry: missing value (WxH, WxH+X+Y or +X+Y; sides from 1 to 32767, offsets to 32767)"},
    {"DaemonNegative", {}, "-5", HackBadOption, "XSCREENSAVER_WINDOW: -5 is not a window id (decimal or 0x hexadecimal, from 1 to 0xFFFFFFFF)"},
    {"HelpWinsOverDaemon", {"-help"}, "junk", HackHelp, ""},
    {"LongHelp", {"--help"}, nullptr, HackHelp, ""},
    {"HelpAfterBadValue", {"-speed", "500", "-h"}, nullptr, HackBadOption, "-speed: 500 is out of range (a whole number from 0 to 100)"},
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
