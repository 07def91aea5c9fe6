// windowProc on a real window of its class, driven with real messages in both kinds of mode.
#include "tests/app/shell_fixture.h"

#include <string.h>

namespace {

enum Outcome {
    Swallowed, // answers result without default handling
    ToDefault, // answers what DefWindowProcW answered for the same four arguments
    Ends,      // destroys the window and ends the message loop
};

struct Row {
    const char* name;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    Outcome fullScreen;
    Outcome preview;
    LRESULT result; // for Swallowed
};

const LPARAM altDown = (LPARAM)1 << 29;

// Every row of the dispatch table. The last row sent to a live window is WM_DESTROY, which
// frees the buffers without destroying the window.
const Row rows[] = {
    {"WM_CREATE", WM_CREATE, 0, 0, Swallowed, Swallowed, 0},
    {"WM_SIZE", WM_SIZE, SIZE_RESTORED, MAKELPARAM(64, 48), Swallowed, Swallowed, 0},
    {"WM_PAINT", WM_PAINT, 0, 0, Swallowed, Swallowed, 0},
    {"WM_ERASEBKGND", WM_ERASEBKGND, 0, 0, Swallowed, Swallowed, 1},
    {"WM_SETCURSOR", WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), Swallowed, ToDefault, 1},
    {"WM_INPUT", WM_INPUT, RIM_INPUT, 0, Swallowed, Swallowed, 0},
    {"WM_KEYDOWN", WM_KEYDOWN, VK_SPACE, 1, Ends, Swallowed, 0},
    {"WM_SYSKEYDOWN", WM_SYSKEYDOWN, VK_F4, 1 | altDown, Ends, Swallowed, 0},
    {"WM_KEYUP", WM_KEYUP, VK_SPACE, 1, Swallowed, Swallowed, 0},
    {"WM_SYSKEYUP", WM_SYSKEYUP, VK_MENU, 1, Swallowed, Swallowed, 0},
    {"WM_TIMER 42", WM_TIMER, 42, 0, Swallowed, Swallowed, 0},
    {"WM_TIMER 7", WM_TIMER, 7, 0, Swallowed, Swallowed, 0},
    {"WM_MOUSEMOVE", WM_MOUSEMOVE, 0, MAKELPARAM(10, 10), Swallowed, Swallowed, 0},
    {"WM_LBUTTONDOWN", WM_LBUTTONDOWN, MK_LBUTTON, 0, Swallowed, Swallowed, 0},
    {"WM_RBUTTONDOWN", WM_RBUTTONDOWN, MK_RBUTTON, 0, Swallowed, Swallowed, 0},
    {"WM_MBUTTONDOWN", WM_MBUTTONDOWN, MK_MBUTTON, 0, Swallowed, Swallowed, 0},
    {"WM_XBUTTONDOWN", WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), 0, Swallowed, Swallowed, 0},
    {"WM_MOUSEWHEEL", WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0, Swallowed, Swallowed, 0},
    {"WM_LBUTTONUP", WM_LBUTTONUP, 0, 0, ToDefault, ToDefault, 0},
    {"WM_LBUTTONDBLCLK", WM_LBUTTONDBLCLK, 0, 0, ToDefault, ToDefault, 0},
    {"WM_RBUTTONUP", WM_RBUTTONUP, 0, 0, ToDefault, ToDefault, 0},
    {"WM_RBUTTONDBLCLK", WM_RBUTTONDBLCLK, 0, 0, ToDefault, ToDefault, 0},
    {"WM_MBUTTONUP", WM_MBUTTONUP, 0, 0, ToDefault, ToDefault, 0},
    {"WM_MBUTTONDBLCLK", WM_MBUTTONDBLCLK, 0, 0, ToDefault, ToDefault, 0},
    {"WM_XBUTTONUP", WM_XBUTTONUP, MAKEWPARAM(0, XBUTTON1), 0, ToDefault, ToDefault, 0},
    {"WM_XBUTTONDBLCLK", WM_XBUTTONDBLCLK, MAKEWPARAM(0, XBUTTON2), 0, ToDefault, ToDefault, 0},
    {"WM_CHAR", WM_CHAR, 'a', 1, ToDefault, ToDefault, 0},
    {"WM_SYSCHAR", WM_SYSCHAR, 'a', 1, ToDefault, ToDefault, 0},
    {"WM_MOUSEHWHEEL", WM_MOUSEHWHEEL, MAKEWPARAM(0, 120), 0, ToDefault, ToDefault, 0},
    {"WM_ACTIVATE", WM_ACTIVATE, WA_INACTIVE, 0, ToDefault, ToDefault, 0},
    {"WM_SYSCOMMAND", WM_SYSCOMMAND, 0xF1F0, 0, ToDefault, ToDefault, 0},
    {"WM_GETTEXTLENGTH", WM_GETTEXTLENGTH, 0, 0, ToDefault, ToDefault, 0},
    {"WM_NCHITTEST", WM_NCHITTEST, 0, MAKELPARAM(5, 5), ToDefault, ToDefault, 0},
    {"WM_DISPLAYCHANGE", WM_DISPLAYCHANGE, 32, MAKELPARAM(640, 480), Swallowed, ToDefault, 0},
    {"WM_POWERBROADCAST", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0, Swallowed, ToDefault, 1},
    {"WM_CLOSE", WM_CLOSE, 0, 0, Ends, Ends, 0},
    {"WM_DESTROY", WM_DESTROY, 0, 0, Swallowed, Swallowed, 0},
};

class WindowProc : public ShellWindow {};

TEST_F(WindowProc, EveryDispatchRowInEveryMode) {
    for (RunMode mode : {Default, Saver, Preview}) {
        SCOPED_TRACE(mode);
        for (const Row& row : rows) {
            const Outcome outcome = mode == Preview ? row.preview : row.fullScreen;
            if (outcome != Ends) {
                continue;
            }
            SCOPED_TRACE(row.name);
            open(mode);
            EXPECT_EQ(send(row.message, row.wParam, row.lParam), 0);
            EXPECT_EQ(defaultCall.count, 0);
            EXPECT_FALSE(IsWindow(window));
            EXPECT_EQ(engine.pixels, nullptr);
            EXPECT_EQ(close(), 0) << "the quit message carries exit code 0";
            EXPECT_EQ(cursorCount(), cursorBefore);
        }

        open(mode);
        for (const Row& row : rows) {
            const Outcome outcome = mode == Preview ? row.preview : row.fullScreen;
            if (outcome == Ends) {
                continue;
            }
            SCOPED_TRACE(row.name);
            const LRESULT result = send(row.message, row.wParam, row.lParam);
            if (outcome == Swallowed) {
                EXPECT_EQ(result, row.result);
                EXPECT_EQ(defaultCall.count, 0) << "reached default handling";
            } else {
                ASSERT_GE(defaultCall.count, 1) << "did not reach default handling";
                EXPECT_EQ(defaultCall.wParam, row.wParam);
                EXPECT_EQ(defaultCall.lParam, row.lParam);
                EXPECT_EQ(result, defaultCall.result);
            }
            EXPECT_TRUE(IsWindow(window));
        }
        EXPECT_EQ(engine.pixels, nullptr) << "WM_DESTROY frees the buffers";
    }
}

TEST_F(WindowProc, CreationHidesTheCursorInFullScreenOnly) {
    open(Saver);
    EXPECT_EQ(engine.mainWindow, window);
    EXPECT_EQ(engine.cursorHidden, 1);
    EXPECT_LT(cursorCount(), 0);
    EXPECT_EQ(GetFocus(), window);
    EXPECT_TRUE(KillTimer(window, 42)) << "the frame timer runs";
    // A second creation message must not push the count further down.
    const int hidden = cursorCount();
    send(WM_CREATE);
    EXPECT_EQ(cursorCount(), hidden);
    EXPECT_EQ(close(), 0);
    EXPECT_EQ(engine.cursorHidden, 0);
    EXPECT_EQ(cursorCount(), cursorBefore);

    open(Preview);
    EXPECT_EQ(engine.mainWindow, window);
    EXPECT_EQ(engine.cursorHidden, 0);
    EXPECT_EQ(cursorCount(), cursorBefore);
    EXPECT_TRUE(KillTimer(window, 42));
}

// A count that starts below zero, as without a mouse, or above it comes back as it was.
TEST_F(WindowProc, CursorCountComesBackFromAnyStart) {
    for (int shift : {-1, -3, 2}) {
        SCOPED_TRACE(shift);
        for (int i = 0; i < (shift < 0 ? -shift : shift); i++) {
            ShowCursor(shift > 0);
        }
        const int start = cursorCount();
        ASSERT_EQ(start, cursorBefore + shift);
        open(Saver);
        EXPECT_LT(cursorCount(), 0);
        EXPECT_EQ(send(WM_KEYDOWN, VK_ESCAPE, 1), 0);
        EXPECT_EQ(cursorCount(), start);
        for (int i = 0; i < (shift < 0 ? -shift : shift); i++) {
            ShowCursor(shift < 0);
        }
        EXPECT_EQ(cursorCount(), cursorBefore);
    }
}

TEST_F(WindowProc, WheelStepsAndLimits) {
    const float untouched = -5.0f; // no target speed has this value
    const float followsCurve = -1.0f;
    const struct {
        int32_t before;
        int16_t delta;
        int32_t after;
        float speed;
    } table[] = {
        {28, 120, 33, followsCurve},  {28, -120, 23, followsCurve}, {98, 120, 100, 930.0f},
        {100, 120, 100, 930.0f},      {3, -120, 0, 0.0f},           {0, 120, 5, 11.98f},
        {28, 119, 28, untouched},     {28, -119, 28, untouched},    {28, 240, 38, followsCurve},
        {28, -239, 23, followsCurve}, {28, -32768, 0, 0.0f},        {28, 32767, 100, 930.0f},
        {100, 119, 100, untouched},
    };
    open(Saver);
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << row.before << " " << row.delta);
        engine.speedPercent = row.before;
        engine.targetSpeed = untouched;
        const float currentSpeed = engine.currentSpeed;
        EXPECT_EQ(send(WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, (WORD)row.delta), MAKELPARAM(9, 9)), 0);
        EXPECT_EQ(engine.speedPercent, row.after);
        if (row.speed == followsCurve) {
            EXPECT_EQ(engine.targetSpeed, speedCurve(row.after));
        } else {
            EXPECT_NEAR(engine.targetSpeed, row.speed, 0.01f);
        }
        EXPECT_EQ(engine.currentSpeed, currentSpeed);
    }

    open(Preview);
    engine.speedPercent = 28;
    engine.targetSpeed = untouched;
    send(WM_MOUSEWHEEL, MAKEWPARAM(0, 240));
    EXPECT_EQ(engine.speedPercent, 28);
    EXPECT_EQ(engine.targetSpeed, untouched);
}

TEST_F(WindowProc, ClicksEndOnlyAfterTheGracePeriod) {
    const UINT buttons[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_XBUTTONDOWN};
    for (UINT button : buttons) {
        SCOPED_TRACE(button);
        open(Saver);
        LARGE_INTEGER now;
        for (double ago : {0.5, 0.79}) {
            QueryPerformanceCounter(&now);
            engine.startCounter = now.QuadPart - (int64_t)(ago * (double)engine.counterFrequency);
            EXPECT_EQ(send(button), 0);
            EXPECT_TRUE(IsWindow(window)) << ago << " s after start";
        }
        QueryPerformanceCounter(&now);
        engine.startCounter = now.QuadPart - (int64_t)(0.81 * (double)engine.counterFrequency);
        EXPECT_EQ(send(button), 0);
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(close(), 0);

        open(Preview);
        engine.startCounter = now.QuadPart - 10 * engine.counterFrequency;
        send(button);
        EXPECT_TRUE(IsWindow(window)) << "a preview ignores clicks";
    }
}

TEST_F(WindowProc, MouseMovementNeverEnds) {
    open(Saver);
    engine.startCounter -= 100 * engine.counterFrequency;
    for (int i = 0; i < 50; i++) {
        send(WM_MOUSEMOVE, 0, MAKELPARAM(i * 37 % 800, i * 11 % 600));
    }
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(WindowProc, EmptySizeKeepsTheBuffers) {
    open(Preview, 320, 200);
    ASSERT_NE(engine.pixels, nullptr);
    const uint32_t* pixels = engine.pixels;
    const Star* stars = engine.stars;
    for (LPARAM size : {MAKELPARAM(0, 0), MAKELPARAM(0, 600), MAKELPARAM(800, 0)}) {
        EXPECT_EQ(send(WM_SIZE, SIZE_MINIMIZED, size), 0);
        EXPECT_EQ(engine.pixels, pixels);
        EXPECT_EQ(engine.stars, stars);
        EXPECT_EQ(engine.width, 320);
        EXPECT_EQ(engine.height, 200);
    }
    EXPECT_EQ(send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(800, 1)), 0);
    EXPECT_EQ(engine.width, 800);
    EXPECT_EQ(engine.height, 1);
    EXPECT_NE(engine.pixels, nullptr);
    EXPECT_NE(engine.background, nullptr);
    EXPECT_NE(engine.stars, nullptr);
    // Each half is an unsigned 16-bit number; the bits above them do not count.
    send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(0x8000, 2));
    EXPECT_EQ(engine.width, 0x8000);
    EXPECT_EQ(engine.height, 2);
    send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(2, 0x8000));
    EXPECT_EQ(engine.width, 2);
    EXPECT_EQ(engine.height, 0x8000);
    send(WM_SIZE, SIZE_RESTORED, (LPARAM)0xFFFFFFFF00020003);
    EXPECT_EQ(engine.width, 3);
    EXPECT_EQ(engine.height, 2);
}

TEST_F(WindowProc, OnlyTheFrameTimerAsksForAFrame) {
    open(Saver);
    RECT update;
    ValidateRect(window, nullptr);
    send(WM_TIMER, 43);
    EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));
    send(WM_TIMER, 42);
    ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_TRUE(EqualRect(&update, &client));
}

TEST_F(WindowProc, UnreadableRawInputIsIgnored) {
    open(Saver);
    engine.pendingYaw = 0.25f;
    engine.pendingPitch = -0.125f;
    for (LPARAM handle : {(LPARAM)0, (LPARAM)0x1234, (LPARAM)window}) {
        EXPECT_EQ(send(WM_INPUT, RIM_INPUT, handle), 0);
        EXPECT_EQ(defaultCall.count, 0);
    }
    EXPECT_EQ(engine.pendingYaw, 0.25f);
    EXPECT_EQ(engine.pendingPitch, -0.125f);
}

TEST_F(WindowProc, PaintDrawsAFrame) {
    open(Preview, 96, 64);
    const double before = engine.flightTime;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    engine.lastFrameCounter = now.QuadPart - engine.counterFrequency / 50;
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(send(WM_PAINT), 0);
    EXPECT_GE(engine.flightTime, before + 0.02);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(window, &update, FALSE)) << "the paint validated the window";
}

// Frames drawn while the thread's messages are handled for 200 ms; the frame timer's messages
// are counted into timers.
int framesWithin200Ms(int& timers) {
    int frames = 0;
    MSG message;
    for (const ULONGLONG end = GetTickCount64() + 200; GetTickCount64() < end;) {
        const double before = engine.flightTime;
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(1);
            continue;
        }
        timers += message.message == WM_TIMER && message.wParam == 42;
        DispatchMessageW(&message);
        frames += engine.flightTime != before;
    }
    return frames;
}

// The system's record of a power setting, as the system sends it; no setting: no record.
LRESULT reportPower(HWND window, WPARAM event, const GUID* setting, DWORD length, DWORD state) {
    alignas(8) BYTE record[sizeof(POWERBROADCAST_SETTING) + sizeof(DWORD)]{};
    POWERBROADCAST_SETTING* header = (POWERBROADCAST_SETTING*)record;
    header->PowerSetting = setting ? *setting : GUID{};
    header->DataLength = length;
    memcpy(header->Data, &state, sizeof state);
    return SendMessageW(window, WM_POWERBROADCAST, event, setting ? (LPARAM)record : 0);
}

TEST_F(WindowProc, FramesRestOnlyWhileTheSessionsDisplayIsOff) {
    const GUID *display = &GUID_SESSION_DISPLAY_STATUS, *console = &GUID_CONSOLE_DISPLAY_STATE,
               *power = &GUID_ACDC_POWER_SOURCE;
    const WPARAM change = PBT_POWERSETTINGCHANGE;
    // In turn, and whether frames follow: only a whole record of the display's state counts.
    const struct {
        DWORD state;
        const GUID* setting; // null: no record
        DWORD length;
        WPARAM event;
        bool flying;
    } reports[] = {
        {0, power, 4, change, true},    {0, console, 4, change, true},
        {0, display, 3, change, true},  {0, display, 4, PBT_APMSUSPEND, true},
        {0, nullptr, 4, change, true},  {0, display, 4, change, false},
        {7, display, 4, change, false}, {1, console, 4, change, false},
        {2, display, 4, change, true},  {0, display, 4, change, false},
        {1, display, 4, change, true},
    };
    open(Saver);
    EXPECT_TRUE(IsEqualGUID(registeredSetting, *display)) << "registered for another setting";
    for (const auto& report : reports) {
        SCOPED_TRACE(&report - reports);
        EXPECT_EQ(reportPower(window, report.event, report.setting, report.length, report.state),
                  1);
        const double before = engine.flightTime;
        int timers = 0;
        const int frames = framesWithin200Ms(timers);
        EXPECT_TRUE(report.flying ? frames >= 3 : frames == 0 && timers == 0)
            << frames << " frames, " << timers << " timer messages";
        // No step longer than a frame's cap, the first after a rest included.
        EXPECT_LE(engine.flightTime - before, 0.05 * frames + 1e-9);
    }
}

// Real reports through the system's input queue, taken before any frame could use them.
TEST_F(WindowProc, RawInputSteersOnlyWhileTheDisplayIsOn) {
    open(Saver);
    // Off, dimmed, off again with the dimmed row's steering still pending, on.
    for (DWORD state : {0u, 2u, 0u, 1u}) {
        SCOPED_TRACE(state);
        reportPower(window, PBT_POWERSETTINGCHANGE, &GUID_SESSION_DISPLAY_STATUS, 4, state);
        const INPUT move{INPUT_MOUSE, {{20, -10, 0, MOUSEEVENTF_MOVE, 0, 0}}};
        INPUT moves[4] = {move, move, move, move};
        ASSERT_EQ(SendInput(4, moves, sizeof moves[0]), 4u);
        int arrived = 0;
        MSG message;
        for (const ULONGLONG end = GetTickCount64() + 1000;
             arrived < 4 && GetTickCount64() < end;) {
            if (PeekMessageW(&message, window, WM_INPUT, WM_INPUT, PM_REMOVE)) {
                DispatchMessageW(&message);
                arrived++;
            }
        }
        EXPECT_GE(arrived, 1) << "no raw report came";
        if (state == 0) {
            EXPECT_EQ(engine.pendingYaw, 0.0f);
            EXPECT_EQ(engine.pendingPitch, 0.0f);
        } else {
            EXPECT_GT(engine.pendingYaw, 0.0f);
            EXPECT_LT(engine.pendingPitch, 0.0f);
        }
    }
}

} // namespace
