#include "tests/app/shell_fixture.h"

#include <string>

typedef LRESULT(WINAPI* WindowProcedure)(HWND, UINT, WPARAM, LPARAM);
typedef HPOWERNOTIFY(WINAPI* PowerRegistration)(HANDLE, LPCGUID, DWORD);

// The import slots through which this executable, the shell included, reaches the system's
// DefWindowProcW and RegisterPowerSettingNotification.
extern "C" WindowProcedure __imp_DefWindowProcW;
extern "C" PowerRegistration __imp_RegisterPowerSettingNotification;

DefaultCall defaultCall;
GUID registeredSetting;

// Wine's X11 driver waits up to two seconds for a window manager to confirm that an activated
// top-level window is gone; with no window manager on the test display every destruction
// would cost that. Unmanaged windows are unmapped at once. Wine reads this per-program setting
// when its display driver starts, which is after static initialisation.
static bool unmanagedWindows = [] {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t* name = path + length;
    while (name > path && name[-1] != L'\\' && name[-1] != L'/') {
        name--;
    }
    const std::wstring keyName =
        std::wstring(L"Software\\Wine\\AppDefaults\\") + name + L"\\X11 Driver";
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegSetValueExW(key, L"Managed", 0, REG_SZ, (const BYTE*)L"N", 2 * sizeof(wchar_t));
    RegCloseKey(key);
    return true;
}();

static WindowProcedure systemDefault;
static PowerRegistration systemRegistration;

static HPOWERNOTIFY WINAPI recordRegistration(HANDLE recipient, LPCGUID setting, DWORD flags) {
    registeredSetting = *setting;
    return systemRegistration(recipient, setting, flags);
}

static HWND watchedWindow;
static UINT watchedMessage;

static LRESULT WINAPI spyDefault(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = systemDefault(window, message, wParam, lParam);
    if (window == watchedWindow && message == watchedMessage && defaultCall.count++ == 0) {
        defaultCall.message = message;
        defaultCall.wParam = wParam;
        defaultCall.lParam = lParam;
        defaultCall.result = result;
    }
    return result;
}

void watchDefault(HWND window, UINT message) {
    defaultCall = DefaultCall{};
    watchedWindow = window;
    watchedMessage = message;
}

int cursorCount() {
    const int count = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    return count;
}

void ShellWindow::SetUpTestSuite() {
    if (!systemDefault) {
        systemDefault = __imp_DefWindowProcW;
        DWORD previous;
        VirtualProtect(&__imp_DefWindowProcW, sizeof systemDefault, PAGE_READWRITE, &previous);
        __imp_DefWindowProcW = spyDefault;
        systemRegistration = __imp_RegisterPowerSettingNotification;
        VirtualProtect(&__imp_RegisterPowerSettingNotification, sizeof systemRegistration,
                       PAGE_READWRITE, &previous);
        __imp_RegisterPowerSettingNotification = recordRegistration;
        registerWindowClass(GetModuleHandleW(nullptr));
    }
}

void ShellWindow::SetUp() {
    resetEngineState();
    watchDefault(nullptr, 0);
    cursorBefore = cursorCount();
}

void ShellWindow::TearDown() {
    close();
    if (host) {
        DestroyWindow(host);
        host = nullptr;
    }
    watchDefault(nullptr, 0);
    resetEngineState();
}

void ShellWindow::open(RunMode mode, int hostWidth, int hostHeight) {
    close();
    if (host) {
        DestroyWindow(host);
        host = nullptr;
    }
    resetEngineState();
    registeredSetting = GUID{};
    engine.runMode = mode;
    if (mode == Preview) {
        host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, hostWidth,
                               hostHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host, nullptr);
        engine.previewParent = host;
    }
    takeStartStamp();
    engine.targetSpeed = speedCurve(engine.speedPercent);
    window = createMainWindow(GetModuleHandleW(nullptr));
    ASSERT_NE(window, nullptr);
}

int ShellWindow::close() {
    if (window && IsWindow(window)) {
        DestroyWindow(window);
    }
    window = nullptr;
    int code = -1;
    MSG message;
    if (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        code = (int)message.wParam;
    }
    return code;
}

LRESULT ShellWindow::send(UINT message, WPARAM wParam, LPARAM lParam) {
    watchDefault(window, message);
    return SendMessageW(window, message, wParam, lParam);
}
