#include "app/shell.h"

#include "engine/input.h"

#include <string.h>

static_assert(sizeof(RAWINPUTHEADER) == 24 && sizeof(RAWINPUT) == 48,
              "the raw mouse report of a 64-bit process");

// The display of the saver's own session, which is what its user sees: in a remote session
// the console's monitor is usually off while the user watches. Registered and recognised
// through this one name.
static const GUID& displayStatusSetting = GUID_SESSION_DISPLAY_STATUS;

// What only the window needs to know of the display.
struct DisplayWatch {
    HPOWERNOTIFY notification; // full-screen only
    bool off;                  // no frame timer, no frame work, no steering
};
static DisplayWatch display;

void requestExit() {
    if (engine.mainWindow) {
        DestroyWindow(engine.mainWindow);
    }
}

static void onCreate(HWND window) {
    engine.mainWindow = window;
    display.off = false;
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
    // The system answers with the display's current state at once, and again whenever it
    // changes. Without a registration (or where no notification ever comes) frames never stop.
    if (!display.notification) {
        display.notification = RegisterPowerSettingNotification(window, &displayStatusSetting,
                                                                DEVICE_NOTIFY_WINDOW_HANDLE);
    }
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
    if (display.notification) {
        UnregisterPowerSettingNotification(display.notification);
        display.notification = nullptr;
    }
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

// Nobody sees a frame drawn while the display is off: the timer stops, and with it all frame
// work, until the display is on or dimmed again. Nothing here keeps the display awake.
static void onPowerSetting(HWND window, const POWERBROADCAST_SETTING* setting) {
    DWORD state;
    if (!setting || !IsEqualGUID(setting->PowerSetting, displayStatusSetting) ||
        setting->DataLength < sizeof state) {
        return;
    }
    memcpy(&state, setting->Data, sizeof state); // DataLength bytes behind a one-byte array
    if (state == 0) {
        KillTimer(window, frameTimerId);
        display.off = true;
        // Steering left for a frame that is never drawn would turn the first one after the rest.
        engine.pendingYaw = 0.0f;
        engine.pendingPitch = 0.0f;
    } else if ((state == 1 || state == 2) && display.off) {
        // The first frame's time step is capped as every frame's is: the flight goes on where
        // it stopped.
        SetTimer(window, frameTimerId, frameTimerPeriod, nullptr);
        display.off = false;
    }
}

static void onClick() {
    if (clickEndsRunNow()) {
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
            if (display.off) {
                ValidateRect(window, nullptr); // a paint that comes anyway: nothing to draw for
                return 0;
            }
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
            // While the display is off no frame takes the steering: the motion that wakes it
            // would add up and turn the first frame after it all at once.
            if (!preview && !display.off) {
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
        case WM_DISPLAYCHANGE:
            if (preview) {
                break; // the host sizes the preview's parent
            }
            // A monitor added or woken, a new mode: what the window does not cover would show
            // the live, still unlocked desktop.
            coverVirtualScreen(window);
            return 0;
        case WM_POWERBROADCAST:
            if (preview) {
                break;
            }
            if (wParam == PBT_POWERSETTINGCHANGE) {
                onPowerSetting(window, (const POWERBROADCAST_SETTING*)lParam);
            }
            return TRUE;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
