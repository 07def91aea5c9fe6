// The saver started full-screen: its window, its picture, and the input that ends or steers it.
#include <gtest/gtest.h>

#include "tests/e2e/screen.h"

#include <algorithm>

namespace {

class FullScreen : public SaverTest {
  protected:
    HWND window = nullptr;
    ULONGLONG shownAt = 0;

    // Starts the saver and waits for its window and its first frames.
    void launch(const std::wstring& arguments) {
        SaverRun& run = start(arguments);
        ASSERT_TRUE(run.started) << "CreateProcess failed: " << GetLastError();
        window = waitForWindowOf(run.process.dwProcessId, saverClass, nullptr, 20000);
        ASSERT_NE(window, nullptr) << "no top-level window of class Voidrunner3DNativeWindow";
        ASSERT_TRUE(waitUntilVisible(window, 10000)) << "the window never showed";
        shownAt = GetTickCount64();
        ASSERT_TRUE(waitForFrames(virtualScreen(), 10000)) << "the background never showed";
    }

    void expectEndsWithZero() {
        DWORD exitCode = 12345;
        ASSERT_TRUE(waitForExit(runs.back(), 10000, exitCode)) << "the saver did not end";
        EXPECT_EQ(exitCode, 0u);
        EXPECT_FALSE(IsWindow(window));
    }

    void expectStillFlying() {
        EXPECT_TRUE(isRunning(runs.back()));
        EXPECT_TRUE(IsWindow(window));
    }
};

void expectCoversVirtualScreen(HWND window) {
    EXPECT_EQ(windowText(window), fullScreenTitle);
    EXPECT_EQ(GetParent(window), nullptr);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    const LONG_PTR extended = GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CHILD | WS_CAPTION | WS_THICKFRAME));
    EXPECT_TRUE(extended & WS_EX_TOPMOST) << "not top-most";
    EXPECT_TRUE(extended & WS_EX_TOOLWINDOW) << "not a tool window";
    EXPECT_TRUE(IsWindowVisible(window));

    const RECT screen = virtualScreen();
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, screen.left);
    EXPECT_EQ(rect.top, screen.top);
    EXPECT_EQ(rect.right, screen.right);
    EXPECT_EQ(rect.bottom, screen.bottom);
    // Nothing lies above it anywhere on the screen.
    const POINT probes[5] = {{screen.left + 1, screen.top + 1},
                             {screen.right - 2, screen.top + 1},
                             {screen.left + 1, screen.bottom - 2},
                             {screen.right - 2, screen.bottom - 2},
                             {(screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2}};
    for (const POINT& probe : probes) {
        EXPECT_EQ(WindowFromPoint(probe), window) << "at " << probe.x << "," << probe.y;
    }
}

// Background in the corners, stars all over, and the title text steady in its band.
void expectFullScreenPicture(const std::wstring& shot) {
    const RECT screen = virtualScreen();
    const std::vector<Picture> pictures = captureSeries(screen, 3, 150);
    ASSERT_FALSE(pictures.front().pixels.empty()) << "no screenshot";
    EXPECT_TRUE(saveShot(pictures.front(), shot));
    const int32_t w = pictures.front().width, h = pictures.front().height;
    const std::vector<uint32_t> background = backgroundFor(w, h);

    expectBackgroundCorners(pictures, background);
    expectFlyingStars(pictures, background);

    const int32_t text = steadyInBand(pictures, background);
    EXPECT_GE(text, 150) << "too little steady text in rows 24 to 100";
    // The same steadiness elsewhere would be stars that do not move.
    const int32_t elsewhere =
        countSteady(pictures, background, Area{28, h - 100, w - 28, h - 24}, 48);
    EXPECT_LE(elsewhere * 5, text) << "steady pixels outside the band: " << elsewhere;
    const Area bounds = steadyBounds(pictures, background, Area{0, 0, w, 130}, 48);
    EXPECT_GE(bounds.left, 28);
    EXPECT_GE(bounds.top, 24);
    EXPECT_LE(bounds.right, w - 28);
    EXPECT_LE(bounds.bottom, 100);
    // Both lines: the second one starts at row 52.
    EXPECT_GT(bounds.bottom, 56);
}

TEST_F(FullScreen, SaverArgumentShowsTheFlightAndAKeyEndsIt) {
    launch(L"/s");
    expectCoversVirtualScreen(window);
    expectFullScreenPicture(L"fullscreen-s.png");
    EXPECT_EQ(pressKey("space"), 0);
    expectEndsWithZero();
}

TEST_F(FullScreen, NoArgumentRunsFullScreenToo) {
    launch(L"");
    expectCoversVirtualScreen(window);
    expectFullScreenPicture(L"fullscreen-no-argument.png");
    EXPECT_EQ(pressKey("Escape"), 0);
    expectEndsWithZero();
}

TEST_F(FullScreen, UpperCaseSaverArgumentAndASystemKey) {
    launch(L"/S");
    expectCoversVirtualScreen(window);
    // F10 arrives as a system key.
    EXPECT_EQ(pressKey("F10"), 0);
    expectEndsWithZero();
}

TEST_F(FullScreen, ClickAfterTheFirstSecondEndsIt) {
    launch(L"/s");
    const ULONGLONG upFor = GetTickCount64() - shownAt;
    if (upFor < 1200) {
        pumpFor((DWORD)(1200 - upFor));
    }
    const RECT screen = virtualScreen();
    EXPECT_EQ(clickAt((screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2, 1), 0);
    expectEndsWithZero();
}

// One steady pointer motion and what it must do to the streaks of the frame it is made in.
// Moving the mouse right turns the view right, so the stars slide left: their streaks lie
// along the rows with their bright heads on the left.
struct Motion {
    const wchar_t* name;
    int32_t fromX, fromY; // where the pointer starts, in sixths of the screen
    int32_t stepX, stepY; // each of the small steps
    int32_t Streaks::*along;
    int32_t Streaks::*across;
    int32_t Streaks::*heads;
    int32_t Streaks::*tails;
};

const Motion motions[] = {
    {L"right", 1, 3, 6, 0, &Streaks::horizontal, &Streaks::vertical, &Streaks::headsLeft,
     &Streaks::headsRight},
    {L"left", 5, 3, -6, 0, &Streaks::horizontal, &Streaks::vertical, &Streaks::headsRight,
     &Streaks::headsLeft},
    {L"down", 3, 1, 0, 5, &Streaks::vertical, &Streaks::horizontal, &Streaks::headsUp,
     &Streaks::headsDown},
    {L"up", 3, 5, 0, -5, &Streaks::vertical, &Streaks::horizontal, &Streaks::headsDown,
     &Streaks::headsUp},
};

// Streaks are counted below the text band, whose glyphs would count as runs.
Streaks streaksOf(const Picture& picture, const std::vector<uint32_t>& background) {
    return findStreaks(picture, background, Area{0, 110, picture.width, picture.height}, 32, 10);
}

int32_t litBelowBand(const Picture& picture, const std::vector<uint32_t>& background) {
    return countLit(picture, background, Area{0, 110, picture.width, picture.height}, 48);
}

// How much of what is lit moves within 0.1 s, in thousandths.
int64_t movedShare(const RECT& screen, const std::vector<uint32_t>& background) {
    const std::vector<Picture> pair = captureSeries(screen, 2, 100);
    const Area below{0, 110, pair[0].width, pair[0].height};
    const int64_t lit = countLit(pair[0], background, below, 48);
    return lit ? countLitMoved(pair[0], pair[1], background, below, 48) * 1000 / lit : 0;
}

// Moves the pointer in many small steps and keeps the frame with the most streaks along the
// motion's axis.
Picture steerAndWatch(const Motion& motion, const RECT& screen,
                      const std::vector<uint32_t>& background) {
    const int32_t w = screen.right - screen.left, h = screen.bottom - screen.top;
    runUnix("xdotool mousemove " + std::to_string(screen.left + w * motion.fromX / 6) + " " +
            std::to_string(screen.top + h * motion.fromY / 6));
    pumpFor(400); // the jump to the start makes a steering report of its own
    std::string steps;
    for (int i = 0; i < 50; i++) {
        steps += " mousemove_relative -- " + std::to_string(motion.stepX) + " " +
                 std::to_string(motion.stepY) + " sleep 0.02";
    }
    const int job = startUnix("xdotool" + steps);
    Picture best{};
    int32_t bestScore = -1;
    for (int i = 0; i < 30; i++) {
        Picture picture = captureScreen(screen);
        const Streaks streaks = streaksOf(picture, background);
        const int32_t score = streaks.*motion.along - streaks.*motion.across;
        if (score > bestScore) {
            bestScore = score;
            best = std::move(picture);
        }
        pumpFor(20);
    }
    EXPECT_EQ(finishUnix(job, 10000), 0) << "xdotool failed";
    return best;
}

TEST_F(FullScreen, MouseMotionSteersTheFlightWithoutEndingIt) {
    launch(L"/s");
    const RECT screen = virtualScreen();
    const std::vector<uint32_t> background =
        backgroundFor(screen.right - screen.left, screen.bottom - screen.top);
    int32_t calm = 0; // the most streaks along either axis while the mouse rests
    for (const Picture& picture : captureSeries(screen, 5, 60)) {
        const Streaks streaks = streaksOf(picture, background);
        calm = std::max({calm, streaks.horizontal, streaks.vertical});
    }
    for (const Motion& motion : motions) {
        SCOPED_TRACE(motion.name);
        const Picture frame = steerAndWatch(motion, screen, background);
        ASSERT_FALSE(frame.pixels.empty());
        EXPECT_TRUE(saveShot(frame, std::wstring(L"steer-") + motion.name + L".png"));
        const Streaks streaks = streaksOf(frame, background);
        EXPECT_GE(streaks.*motion.along, 40);
        EXPECT_GE(streaks.*motion.along, 4 * (calm + 2))
            << "streaks with the mouse at rest: " << calm;
        EXPECT_GE(streaks.*motion.along, 5 * (streaks.*motion.across + 1));
        EXPECT_GE(streaks.*motion.heads, 4 * (streaks.*motion.tails + 1))
            << "the stars slide the wrong way";
        expectStillFlying();
    }
    EXPECT_EQ(pressKey("a"), 0);
    expectEndsWithZero();
}

TEST_F(FullScreen, WheelChangesTheSpeedWithoutEndingIt) {
    launch(L"/s");
    const RECT screen = virtualScreen();
    const std::vector<uint32_t> background =
        backgroundFor(screen.right - screen.left, screen.bottom - screen.top);
    const int32_t cruiseLit = litBelowBand(captureScreen(screen), background);
    const int64_t cruiseMoved = movedShare(screen, background);

    // Fifteen notches up reach the top speed: long streaks everywhere.
    EXPECT_EQ(runUnix("xdotool click --repeat 15 --delay 30 4"), 0);
    pumpFor(2000); // the speed eases toward its new target
    const Picture fast = captureScreen(screen);
    EXPECT_TRUE(saveShot(fast, L"speed-top.png"));
    const int32_t fastLit = litBelowBand(fast, background);
    EXPECT_GE(fastLit, 3 * cruiseLit) << "no long streaks at top speed";
    expectStillFlying();

    // Twenty notches down bring the flight to rest: dots that hardly move.
    EXPECT_EQ(runUnix("xdotool click --repeat 20 --delay 30 5"), 0);
    pumpFor(4000);
    const Picture rest = captureScreen(screen);
    EXPECT_TRUE(saveShot(rest, L"speed-rest.png"));
    EXPECT_LE(3 * litBelowBand(rest, background), fastLit);
    const int64_t restMoved = movedShare(screen, background);
    EXPECT_LE(restMoved * 5, cruiseMoved * 2)
        << "moved share at rest " << restMoved << ", cruising " << cruiseMoved;
    expectStillFlying();

    EXPECT_EQ(pressKey("Return"), 0);
    expectEndsWithZero();
}

// Run by e2e.display inside a 1024 x 768 virtual desktop: the mode changes under the flight.
TEST_F(FullScreen, DisplayChangeIsCoveredAtOnce) {
    if (GetSystemMetrics(SM_CXVIRTUALSCREEN) != 1024) {
        GTEST_SKIP() << "runs in e2e.display's desktop";
    }
    launch(L"/s");
    for (const SIZE size : {SIZE{1280, 800}, SIZE{800, 600}}) {
        SCOPED_TRACE(size.cx);
        // Only the saver's own handling of the change can make it top-most again.
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ASSERT_FALSE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        mode.dmPelsWidth = size.cx;
        mode.dmPelsHeight = size.cy;
        ASSERT_EQ(ChangeDisplaySettingsExW(nullptr, &mode, nullptr, 0, nullptr), 0);
        ASSERT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), size.cx);
        pumpFor(16); // one frame
        expectCoversVirtualScreen(window);
        ASSERT_TRUE(waitForFrames(virtualScreen(), 5000));
        expectFullScreenPicture(L"display-" + std::to_wstring(size.cx) + L".png");
    }
    INPUT key[2]{};
    key[0].type = key[1].type = INPUT_KEYBOARD;
    key[0].ki.wVk = key[1].ki.wVk = VK_SPACE;
    key[1].ki.dwFlags = KEYEVENTF_KEYUP;
    EXPECT_EQ(SendInput(2, key, sizeof key[0]), 2u);
    expectEndsWithZero();
}

} // namespace
