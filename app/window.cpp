#include "app/shell.h"

#include "engine/input.h"

static_assert(sizeof(RAWINPUTHEADER) == 24 && sizeof(RAWINPUT) == 48,
              "the raw mouse report of a 64-bit process");

void requestExit() {
    if (engine.mainWindow) {
        DestroyWindow(engine.mainWindow);
    }
}

static void onCreate(HWND window) {
    engine.mainWindow = window;
    SetTimer(window, frameTimerId, frameTimerPeriod, nullptr);
    if (engine.runMode == Preview) {
        return;
    }
    RAWINPUTDEVICE mouse{};
    mouse.usUsagePage = 1;
    mouse.usUsage = 2;
    mouse.dwFlags = 0;
    mouse.hwndTarget = window;
    RegisterRawInputDevices(&mouse, 1, sizeof mouse);
    SetFocus(window);
    // Destruction gives back exactly what is taken here: showing until the count is 0 or more
    // would leave it higher than it was wherever it started below zero, as on a system
    // without a mouse.
    if (!engine.cursorHidden) {
        engine.cursorHideCalls = 0;
        do {
            engine.cursorHideCalls++;
        } while (ShowCursor(FALSE) >= 0);
        engine.cursorHidden = 1;
    }
}

static void onDestroy(HWND window) {
    KillTimer(window, frameTimerId);
    if (engine.cursorHidden) {
        for (; engine.cursorHideCalls > 0; engine.cursorHideCalls--) {
            ShowCursor(TRUE);
        }
        engine.cursorHidden = 0;
    }
    releaseFrameBuffers();
    PostQuitMessage(0);
}

static void onSize(LPARAM lParam) {
    const int32_t width = (int32_t)(lParam & 0xFFFF);
    const int32_t height = (int32_t)(lParam >> 16 & 0xFFFF);
    // A minimised window reports 0 by 0: keep what there is.
    if (width == 0 || height == 0) {
        return;
    }
    rebuildFrameBuffers(width, height);
}

static void onRawInput(LPARAM lParam) {
    RAWINPUT report;
    UINT size = sizeof report;
    const UINT copied =
        GetRawInputData((HRAWINPUT)lParam, RID_INPUT, &report, &size, sizeof(RAWINPUTHEADER));
    if (copied != sizeof report || report.header.dwType != RIM_TYPEMOUSE) {
        return;
    }
    steer(report.data.mouse.lLastX, report.data.mouse.lLastY);
}

static void onWheel(WPARAM wParam) {
    turnWheel((int16_t)(wParam >> 16 & 0xFFFF));
}

static void onClick() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (clickEndsRun(now.QuadPart, engine.startCounter, engine.counterFrequency)) {
        requestExit();
    }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool preview = engine.runMode == Preview;
    switch (message) {
        case WM_CREATE:
            onCreate(window);
            return 0;
        case WM_DESTROY:
            onDestroy(window);
            return 0;
        case WM_SIZE:
            onSize(lParam);
            return 0;
        case WM_PAINT:
            renderFrame(window);
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_ERASEBKGND:
            // Every frame covers the whole window; erasing would only flicker.
            return 1;
        case WM_SETCURSOR:
            if (preview) {
                break;
            }
            SetCursor(nullptr);
            return 1;
        case WM_INPUT:
            if (!preview) {
                onRawInput(lParam);
            }
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (!preview) {
                requestExit();
            }
            return 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
        case WM_MOUSEMOVE:
            return 0;
        case WM_TIMER:
            if (wParam == frameTimerId) {
                InvalidateRect(window, nullptr, FALSE);
            }
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
            if (!preview) {
                onClick();
            }
            return 0;
        case WM_MOUSEWHEEL:
            if (!preview) {
                onWheel(wParam);
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
