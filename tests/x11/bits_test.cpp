// voidrunner3d's frames against voidrunner-render's, word for word, on private Xvfb servers:
// the hack's last frame is read back from the server after it ended, the renderer's is its
// raw output, for the same size, speed and clock. And its command line from outside.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "tests/x11/driver.h"

namespace {

enum Target : int32_t {
    HexWindowId = 0, // -window-id 0x...
    DaemonVariable,  // XSCREENSAVER_WINDOW in decimal, with -root as the daemon passes it
    TheRootWindow,   // -root: the whole screen
};

struct BitCase {
    const char* name;
    int32_t width;
    int32_t height;
    int32_t speed;
    int32_t frames;
    bool preview;
    Target target;
    bool withoutSharedMemory; // a server without MIT-SHM: plain XPutImage
};

// Test names show the case's name, not its bytes.
void PrintTo(const BitCase& c, std::ostream* out) {
    *out << c.name;
}

const BitCase bitCases[] = {
    {"WindowIdCruising", 320, 200, 28, 30, false, HexWindowId, false},
    {"DaemonVariablePreview", 240, 180, 60, 24, true, DaemonVariable, false},
    {"WindowIdTopSpeed", 480, 270, 100, 45, false, HexWindowId, false},
    {"RootWindow", 400, 300, 75, 20, false, TheRootWindow, false},
    {"NoSharedMemory", 320, 240, 50, 24, false, HexWindowId, true},
};

class BitForBit : public ::testing::TestWithParam<BitCase> {
  protected:
    VirtualDisplay server;
    Child hack;

    void TearDown() override {
        stopProcess(hack);
        stopVirtualDisplay(server);
    }
};

TEST_P(BitForBit, LastFrameEqualsTheRenderersFrame) {
    const BitCase& c = GetParam();
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    // The root case's screen is the frame; the others leave room around their window.
    const int32_t screenWidth = c.target == TheRootWindow ? c.width : c.width + 64;
    const int32_t screenHeight = c.target == TheRootWindow ? c.height : c.height + 48;
    std::vector<std::string> serverArguments;
    if (c.withoutSharedMemory) {
        serverArguments = {"-extension", "MIT-SHM"};
    }
    ASSERT_TRUE(startVirtualDisplay(server, screenWidth, screenHeight, serverArguments));
    int major = 0, event = 0, error = 0;
    EXPECT_EQ(XQueryExtension(server.display, "MIT-SHM", &major, &event, &error) == True,
              !c.withoutSharedMemory);

    Window window = DefaultRootWindow(server.display);
    if (c.target != TheRootWindow) {
        window = makeHostWindow(server.display, c.width, c.height);
    }
    std::vector<std::string> command = {
        hackPath, "-fixed-clock",          "-frames", std::to_string(c.frames),
        "-speed", std::to_string(c.speed), "-report"};
    if (c.preview) {
        command.push_back("-preview");
    }
    std::vector<std::string> environment = {"DISPLAY=" + server.name};
    char id[32];
    switch (c.target) {
        case HexWindowId:
            snprintf(id, sizeof id, "0x%lx", (unsigned long)window);
            command.insert(command.end(), {"-window-id", id});
            break;
        case DaemonVariable:
            snprintf(id, sizeof id, "%lu", (unsigned long)window);
            environment.push_back(std::string("XSCREENSAVER_WINDOW=") + id);
            command.push_back("-root");
            break;
        case TheRootWindow:
            command.push_back("-root");
            break;
    }
    hack = startProcess(command, environment);
    int status = -1;
    ASSERT_TRUE(waitForEnd(hack, 20000, status));
    EXPECT_EQ(status, 0) << readText(hack.errPath);
    EXPECT_EQ(readText(hack.outPath)
                  .rfind("frames " + std::to_string(c.frames) + ", speed " +
                             std::to_string(c.speed) + ",",
                         0),
              0u)
        << readText(hack.outPath);

    const std::vector<uint32_t> expected =
        renderedFrame({"--size", size, "--frames", std::to_string(c.frames), "--speed",
                       std::to_string(c.speed), "--mode", c.preview ? "preview" : "saver"},
                      scratchFolder() + "/" + c.name + ".raw");
    ASSERT_EQ(expected.size(), (size_t)c.width * (size_t)c.height);

    Frame shown;
    ASSERT_TRUE(readWindow(server.display, window, shown));
    ASSERT_EQ(shown.width, c.width);
    ASSERT_EQ(shown.height, c.height);
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < expected.size(); i++) {
        if (shown.words[i] != expected[i]) {
            first = differing++ == 0 ? i : first;
        }
    }
    EXPECT_EQ(differing, 0u) << "first at column " << first % c.width << ", row " << first / c.width
                             << ": 0x" << std::hex << shown.words[first] << " instead of 0x"
                             << expected[first];
    // A frame of the flight, not a blank window that both happen to match.
    const Survey looks = survey(shown, backgroundOf(c.width, c.height));
    EXPECT_TRUE(looksLikeFlight(looks, shown))
        << "equal " << looks.equal << ", darker " << looks.darker << ", lit " << looks.lit;
}

INSTANTIATE_TEST_SUITE_P(Hack, BitForBit, ::testing::ValuesIn(bitCases),
                         [](const ::testing::TestParamInfo<BitCase>& info) {
                             return std::string(info.param.name);
                         });

struct BadStart {
    const char* name;
    std::vector<std::string> arguments;
    const char* daemonVariable; // null: not set
    const char* problem;        // the message's start after "voidrunner3d: "
    int status = 2;
    const char* display = nullptr; // DISPLAY's value; null: the test run's
};

// Test names show the case's name, not its bytes.
void PrintTo(const BadStart& c, std::ostream* out) {
    *out << c.name;
}

// The parser's cases are tested in-process (options_test.cpp); these check the process's side:
// the message on the error stream, one line, and the status.
// clang-format off
const BadStart badStarts[] = {
    {"UnknownOption", {"-bogus"}, nullptr, "-bogus: unknown option (-help lists them)"},
    {"SpeedAbove100", {"--speed", "101"}, nullptr, "--speed: 101 is out of range (a whole number"},
    {"DaemonVariableNotAnId", {}, "screen", "XSCREENSAVER_WINDOW: screen is not a window id"},
    {"NoDisplayGiven", {"-display", ""}, nullptr, "no display given (use -display NAME or set DISPLAY)\n", 1, ""},
    {"DisplayNotOpened", {"-display=:no-such-display"}, nullptr, "cannot open display \":no-such-display\"\n", 1},
};
// clang-format on

class CommandLine : public ::testing::TestWithParam<BadStart> {};

TEST_P(CommandLine, BadStartGivesOneLineAndItsStatus) {
    const BadStart& c = GetParam();
    std::vector<std::string> command = {hackPath};
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    std::vector<std::string> environment;
    if (c.daemonVariable) {
        environment.push_back(std::string("XSCREENSAVER_WINDOW=") + c.daemonVariable);
    }
    if (c.display) {
        environment.push_back(std::string("DISPLAY=") + c.display);
    }
    Child hack = startProcess(command, environment);
    int status = -1;
    ASSERT_TRUE(waitForEnd(hack, 10000, status));
    EXPECT_EQ(status, c.status);
    const std::string message = readText(hack.errPath);
    EXPECT_EQ(message.rfind(std::string("voidrunner3d: ") + c.problem, 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
    EXPECT_EQ(readText(hack.outPath), "");
}

INSTANTIATE_TEST_SUITE_P(Hack, CommandLine, ::testing::ValuesIn(badStarts),
                         [](const ::testing::TestParamInfo<BadStart>& info) {
                             return std::string(info.param.name);
                         });

TEST(MissingWindow, EndsWithOneAndSaysWhich) {
    VirtualDisplay server;
    ASSERT_TRUE(startVirtualDisplay(server, 320, 200));
    Child hack = startProcess({hackPath, "-window-id", "0x3fffff0"}, {"DISPLAY=" + server.name});
    int status = -1;
    EXPECT_TRUE(waitForEnd(hack, 10000, status));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(readText(hack.errPath), "voidrunner3d: no window 0x3fffff0 on this display\n");
    stopProcess(hack);
    stopVirtualDisplay(server);
}

} // namespace
