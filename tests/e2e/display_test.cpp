// The saver while the display mode changes under it. The host sees only the windows of its own
// desktop, so it runs itself again beside the saver inside a virtual desktop of Wine's.
#include <gtest/gtest.h>

#include "tests/e2e/screen.h"

namespace {

const wchar_t desktopName[] = L"voidrunner-display";

TEST(DisplayChange, TheWindowCoversEveryNewMode) {
    // Wine gives a desktop's first window a virtual desktop of the size named here.
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", desktopName,
                              REG_SZ, L"1024x768", sizeof L"1024x768"),
              ERROR_SUCCESS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = (LPWSTR)desktopName;
    std::wstring command = std::wstring(GetCommandLineW()) + L" --gtest_filter=Inside*";
    PROCESS_INFORMATION inner{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &inner));
    DWORD exitCode = WaitForSingleObject(inner.hProcess, 120000);
    GetExitCodeProcess(inner.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u) << "the run inside the desktop failed";
    TerminateProcess(inner.hProcess, 1);
    CloseHandle(inner.hThread);
    CloseHandle(inner.hProcess);
    // Until Wine closes the desktop, a process that starts sees its modes: wait for that.
    const ULONGLONG deadline = GetTickCount64() + 30000;
    for (HDESK desktop; (desktop = OpenDesktopW(desktopName, 0, FALSE, GENERIC_READ)) &&
                        GetTickCount64() < deadline;) {
        CloseDesktop(desktop);
        pumpFor(100);
    }
}

class InsideDisplayChange : public SaverTest {
    void TearDown() override {
        ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr); // the desktop's own mode
        SaverTest::TearDown();
    }
};

TEST_F(InsideDisplayChange, TheWindowCoversEveryNewMode) {
    wchar_t desktop[64] = L"";
    GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, desktop,
                              sizeof desktop, nullptr);
    if (wcscmp(desktop, desktopName) != 0) {
        ASSERT_NE(GTEST_FLAG_GET(filter), "Inside*") << "DisplayChange.* started it outside";
        GTEST_SKIP() << "runs inside its own desktop, from DisplayChange.*";
    }
    SaverRun& run = start(L"/s");
    const HWND window = waitForWindowOf(run.process.dwProcessId, saverClass, nullptr, 20000);
    ASSERT_TRUE(window && waitUntilVisible(window, 10000) && waitForFrames(virtualScreen(), 10000));
    for (const SIZE size : {SIZE{1280, 800}, SIZE{800, 600}}) {
        SCOPED_TRACE(size.cx);
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        mode.dmPelsWidth = size.cx;
        mode.dmPelsHeight = size.cy;
        ASSERT_EQ(ChangeDisplaySettingsExW(nullptr, &mode, nullptr, 0, nullptr),
                  DISP_CHANGE_SUCCESSFUL);
        const RECT screen = virtualScreen();
        ASSERT_EQ(screen.right - screen.left, size.cx);
        pumpFor(16); // one frame
        RECT covered{};
        GetWindowRect(window, &covered);
        EXPECT_TRUE(EqualRect(&covered, &screen)) << covered.right << "x" << covered.bottom;
        EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
        // Every corner shows the new size's background, and stars fly all over.
        EXPECT_TRUE(waitForFrames(screen, 5000));
        const std::vector<Picture> pictures = captureSeries(screen, 3, 150);
        expectBackgroundCorners(pictures, backgroundFor(size.cx, size.cy));
        expectFlyingStars(pictures, backgroundFor(size.cx, size.cy));
        saveShot(pictures.front(), L"display-" + std::to_wstring(size.cx) + L".png");
    }
    INPUT key[2]{};
    key[0].type = key[1].type = INPUT_KEYBOARD;
    key[0].ki.wVk = key[1].ki.wVk = VK_SPACE;
    key[1].ki.dwFlags = KEYEVENTF_KEYUP;
    EXPECT_EQ(SendInput(2, key, sizeof key[0]), 2u);
    DWORD exitCode = 12345;
    ASSERT_TRUE(waitForExit(run, 10000, exitCode)) << "a key did not end it";
    EXPECT_EQ(exitCode, 0u);
}

} // namespace
