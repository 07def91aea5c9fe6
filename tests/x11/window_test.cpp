// voidrunner3d in a window of its own and in a window that a host made, on the test run's
// display, with real input from xdotool.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <signal.h>
#include <stdio.h>
#include <time.h>

#include <string>

#include "tests/x11/driver.h"

namespace {

double secondsNow() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

// One connection for the whole run, opened once: a server whose last client leaves resets,
// and a connection attempt in the middle of that fails.
Display* sharedDisplay() {
    static Display* display = nullptr;
    for (int tries = 0; !display && tries < 50; tries++) {
        display = XOpenDisplay(nullptr);
        if (!display) {
            sleepMs(100);
        }
    }
    return display;
}

class HackOnDisplay : public ::testing::Test {
  protected:
    Display* display = nullptr;
    Child hack;
    Window hostWindow = 0;
    double startedAt = 0.0;

    void SetUp() override {
        display = sharedDisplay();
        ASSERT_NE(display, nullptr) << "these tests need an X display (scripts/with-display)";
    }
    void TearDown() override {
        stopProcess(hack);
        if (hostWindow) {
            XDestroyWindow(display, hostWindow);
            XSync(display, False);
        }
    }

    void startHack(const std::vector<std::string>& arguments) {
        std::vector<std::string> command = {hackPath};
        command.insert(command.end(), arguments.begin(), arguments.end());
        startedAt = secondsNow();
        hack = startProcess(command);
        ASSERT_GT(hack.pid, 0);
    }

    std::string hexId(Window window) {
        char text[32];
        snprintf(text, sizeof text, "0x%lx", (unsigned long)window);
        return text;
    }

    // Ends within limitMs with status 0, and says nothing on its error stream.
    void expectEndsWithZero(int32_t limitMs) {
        int status = -1;
        const double before = secondsNow();
        ASSERT_TRUE(waitForEnd(hack, limitMs, status))
            << "still running after " << limitMs << " ms";
        EXPECT_EQ(status, 0);
        EXPECT_EQ(readText(hack.errPath), "");
        printf("ended %.0f ms after it was asked to\n", (secondsNow() - before) * 1000.0);
    }

    void expectStillFlying() {
        EXPECT_TRUE(stillRunning(hack)) << readText(hack.errPath);
    }
};

class OwnWindow : public HackOnDisplay {
  protected:
    Window window = 0;
    int32_t left = 0, top = 0; // the window's place on the screen

    void SetUp() override {
        HackOnDisplay::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        // The pointer waits outside, so that it enters the window only when a test moves it.
        const int screen = DefaultScreen(display);
        ASSERT_EQ(runCommand("xdotool mousemove " +
                             std::to_string(DisplayWidth(display, screen) - 1) + " " +
                             std::to_string(DisplayHeight(display, screen) - 1)),
                  0);
    }

    void open(const std::string& geometry, const std::vector<std::string>& more = {}) {
        std::vector<std::string> arguments = {"-window", "-geometry", geometry};
        arguments.insert(arguments.end(), more.begin(), more.end());
        startHack(arguments);
        window = waitForWindowOf(display, hack.pid, 5000);
        ASSERT_NE(window, 0u) << readText(hack.errPath);
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &left, &top,
                              &child);
    }

    std::string at(int32_t x, int32_t y) {
        return std::to_string(left + x) + " " + std::to_string(top + y);
    }
};

TEST_F(OwnWindow, ShowsTheFlightRebuildsOnResizeAndEndsAtOnceOnSigterm) {
    open("480x300+20+30");
    EXPECT_EQ(left, 20);
    EXPECT_EQ(top, 30);
    Survey seen;
    EXPECT_TRUE(waitForFlight(display, window, 480, 300, 5000, seen))
        << "equal " << seen.equal << ", darker " << seen.darker << ", lit " << seen.lit;
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(attributes.width, 480);
    EXPECT_EQ(attributes.height, 300);
    char* title = nullptr;
    ASSERT_TRUE(XFetchName(display, window, &title));
    EXPECT_STREQ(title, "Voidrunner 3D v" VOIDRUNNER_EXPECTED_VERSION);
    XFree(title);

    // A new size brings the background of that size: the buffers were rebuilt for it.
    XResizeWindow(display, window, 560, 340);
    XSync(display, False);
    EXPECT_TRUE(waitForFlight(display, window, 560, 340, 5000, seen))
        << "equal " << seen.equal << ", darker " << seen.darker << ", lit " << seen.lit;

    kill(hack.pid, SIGTERM);
    expectEndsWithZero(1000);
}

TEST_F(OwnWindow, AnyKeyEndsIt) {
    // A negative offset counts from the screen's right and bottom edges to the window's.
    open("320x200-20-30");
    EXPECT_EQ(left, DisplayWidth(display, DefaultScreen(display)) - 20 - 320);
    EXPECT_EQ(top, DisplayHeight(display, DefaultScreen(display)) - 30 - 200);
    Survey seen;
    EXPECT_TRUE(waitForFlight(display, window, 320, 200, 5000, seen));
    ASSERT_EQ(runCommand("xdotool mousemove " + at(160, 100)), 0);
    ASSERT_EQ(runCommand("xdotool windowfocus --sync " + std::to_string(window) + " key space"), 0);
    expectEndsWithZero(3000);
}

TEST_F(OwnWindow, AClickEndsItOnlyAfterTheFirstMoment) {
    open("320x200");
    ASSERT_EQ(runCommand("xdotool mousemove " + at(160, 100)), 0);
    // The early click can only be judged when the window came up well within the grace time.
    const double early = secondsNow() - startedAt;
    if (early < 0.5) {
        ASSERT_EQ(runCommand("xdotool click 1"), 0);
        sleepMs(300);
        expectStillFlying();
    } else {
        printf("the window came up %.2f s after start: no early click\n", early);
    }
    const double upFor = secondsNow() - startedAt;
    if (upFor < 1.0) {
        sleepMs((int32_t)((1.0 - upFor) * 1000.0));
    }
    ASSERT_EQ(runCommand("xdotool click 3"), 0);
    expectEndsWithZero(3000);
}

TEST_F(OwnWindow, MotionSteersAndTheWheelSetsTheSpeedWithoutEndingIt) {
    open("480x300", {"-report"});
    // Entering the window gives no steering; each later report is limited on its own:
    // 200 counts right give 0.11 (not 0.46), then 10 more 0.023; 100 up give -0.09 (not
    // -0.23), then 2 down 0.0046.
    const char* moves[] = {"240 150", "440 150", "450 150", "450 50", "450 52"};
    for (const char* move : moves) {
        int32_t x = 0, y = 0;
        sscanf(move, "%d %d", &x, &y);
        ASSERT_EQ(runCommand("xdotool mousemove " + at(x, y)), 0);
        sleepMs(30);
    }
    // Fifteen notches up from 28 stop at 100, three down give 85.
    ASSERT_EQ(runCommand("xdotool click --repeat 15 --delay 20 4"), 0);
    ASSERT_EQ(runCommand("xdotool click --repeat 3 --delay 20 5"), 0);
    // The horizontal wheel does nothing at all.
    ASSERT_EQ(runCommand("xdotool click 6 click 7"), 0);
    // Past the click grace time too: the wheel's buttons are no clicks.
    const int32_t upForMs = (int32_t)((secondsNow() - startedAt) * 1000.0);
    sleepMs(upForMs < 1200 ? 1200 - upForMs : 0);
    expectStillFlying();
    Survey seen;
    EXPECT_TRUE(waitForFlight(display, window, 480, 300, 5000, seen));

    ASSERT_EQ(runCommand("xdotool key Escape"), 0);
    expectEndsWithZero(3000);
    long long frames = 0;
    int speed = -1;
    float yaw = 0.0f, pitch = 0.0f;
    const std::string report = readText(hack.outPath);
    ASSERT_EQ(sscanf(report.c_str(), "frames %lld, speed %d, steered yaw %f pitch %f", &frames,
                     &speed, &yaw, &pitch),
              4)
        << report;
    EXPECT_GT(frames, 30);
    EXPECT_EQ(speed, 85);
    EXPECT_NEAR(yaw, 0.133f, 1e-5f);
    EXPECT_NEAR(pitch, -0.0854f, 1e-5f);
}

TEST_F(OwnWindow, TheWindowManagersCloseEndsIt) {
    open("320x200");
    Survey seen;
    EXPECT_TRUE(waitForFlight(display, window, 320, 200, 5000, seen));
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &close);
    XSync(display, False);
    expectEndsWithZero(3000);
}

using ForeignWindow = HackOnDisplay;

TEST_F(ForeignWindow, ShowsTheFlightAndFollowsTheWindowsSize) {
    hostWindow = makeHostWindow(display, 400, 250);
    startHack({"-window-id", hexId(hostWindow)});
    Survey seen;
    EXPECT_TRUE(waitForFlight(display, hostWindow, 400, 250, 5000, seen))
        << "equal " << seen.equal << ", darker " << seen.darker << ", lit " << seen.lit;
    XResizeWindow(display, hostWindow, 300, 330);
    XSync(display, False);
    EXPECT_TRUE(waitForFlight(display, hostWindow, 300, 330, 5000, seen))
        << "equal " << seen.equal << ", darker " << seen.darker << ", lit " << seen.lit;
    kill(hack.pid, SIGTERM);
    expectEndsWithZero(1000);
}

TEST_F(ForeignWindow, TakesNoInputAndEndsWhenTheWindowGoes) {
    hostWindow = makeHostWindow(display, 320, 200);
    startHack({"-window-id", std::to_string(hostWindow)});
    Survey seen;
    EXPECT_TRUE(waitForFlight(display, hostWindow, 320, 200, 5000, seen));
    const double upFor = secondsNow() - startedAt;
    if (upFor < 1.0) {
        sleepMs((int32_t)((1.0 - upFor) * 1000.0));
    }
    // Input belongs to the daemon: nothing here ends the hack.
    ASSERT_EQ(runCommand("xdotool mousemove 160 100 click 1 click 4 mousemove 200 120"), 0);
    XSetInputFocus(display, hostWindow, RevertToParent, CurrentTime);
    XSync(display, False);
    ASSERT_EQ(runCommand("xdotool key space"), 0);
    sleepMs(300);
    expectStillFlying();

    XDestroyWindow(display, hostWindow);
    hostWindow = 0;
    XSync(display, False);
    expectEndsWithZero(1000);
}

} // namespace
