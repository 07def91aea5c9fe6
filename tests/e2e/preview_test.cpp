// The saver started as a preview inside a window of the host's own, as the settings page does.
#include <gtest/gtest.h>

#include "tests/e2e/screen.h"

namespace {

const int32_t hostWidth = 480, hostHeight = 360;

HWND makeHostWindow() {
    static ATOM hostClass = 0;
    if (!hostClass) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
        windowClass.lpszClassName = L"VoidrunnerPreviewHost";
        hostClass = RegisterClassExW(&windowClass);
    }
    HWND host = CreateWindowExW(0, L"VoidrunnerPreviewHost", L"Preview host",
                                WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 80, 80, hostWidth,
                                hostHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (host) {
        SetWindowPos(host, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        pumpFor(100);
    }
    return host;
}

std::wstring decimal(HWND window) {
    return std::to_wstring((uintptr_t)window);
}

class Preview : public SaverTest {
  protected:
    HWND host = nullptr;
    HWND child = nullptr;

    void SetUp() override {
        host = makeHostWindow();
        ASSERT_NE(host, nullptr);
    }
    void TearDown() override {
        if (IsWindow(host)) {
            DestroyWindow(host);
        }
        SaverTest::TearDown();
    }

    // Starts the saver, waits for its child window in the host and checks how it is made.
    void launch(const std::wstring& arguments) {
        SaverRun& run = start(arguments);
        ASSERT_TRUE(run.started) << "CreateProcess failed: " << GetLastError();
        child = waitForWindowOf(run.process.dwProcessId, saverClass, host, 20000);
        ASSERT_NE(child, nullptr) << "no child window of class Voidrunner3DNativeWindow";
        ASSERT_TRUE(waitUntilVisible(child, 10000)) << "the preview never showed";
        EXPECT_EQ(GetParent(child), host);
        EXPECT_EQ(windowText(child), previewTitle);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        EXPECT_TRUE(style & WS_CHILD);
        EXPECT_TRUE(style & WS_VISIBLE);
        EXPECT_FALSE(style & WS_POPUP);
        EXPECT_FALSE(GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_TOPMOST);
        const RECT hostArea = screenRectOf(host), childArea = screenRectOf(child);
        EXPECT_TRUE(EqualRect(&hostArea, &childArea))
            << "child at " << childArea.left << "," << childArea.top << " to " << childArea.right
            << "," << childArea.bottom;
        EXPECT_EQ(findWindowOf(run.process.dwProcessId, saverClass, nullptr), nullptr)
            << "a full-screen window as well";
    }

    // Wine of this age shows no child window of another process on the screen. To look at the
    // preview, the host lifts it onto the desktop for a while and then takes it back.
    RECT liftPreview() {
        SetParent(child, GetDesktopWindow());
        EXPECT_EQ(GetParent(child), GetDesktopWindow());
        pumpFor(100);
        return screenRectOf(child);
    }
    void lowerPreview() {
        SetParent(child, host);
        EXPECT_EQ(GetParent(child), host);
    }

    // Destroying the host window takes the preview with it and ends the saver.
    void expectEndsWithHost() {
        DestroyWindow(host);
        DWORD exitCode = 12345;
        ASSERT_TRUE(waitForExit(runs.back(), 10000, exitCode)) << "the saver outlived its host";
        EXPECT_EQ(exitCode, 0u);
    }
};

// Stars, background corners, motion, and no text.
void expectPreviewPicture(const RECT& area, const wchar_t* shot) {
    ASSERT_TRUE(waitForFrames(area, 10000)) << "the background never showed";
    const std::vector<Picture> pictures = captureSeries(area, 3, 150);
    ASSERT_FALSE(pictures.front().pixels.empty());
    if (shot) {
        EXPECT_TRUE(saveShot(pictures.front(), shot));
    }
    const std::vector<uint32_t> background = backgroundFor(hostWidth, hostHeight);
    expectBackgroundCorners(pictures, background);
    expectFlyingStars(pictures, background);
    EXPECT_LE(steadyInBand(pictures, background), 10) << "text in the preview";
}

TEST_F(Preview, DrawsStarsWithoutTextIgnoresInputAndEndsWithItsHost) {
    launch(L"/p " + decimal(host));
    const RECT area = liftPreview();
    expectPreviewPicture(area, L"preview.png");

    // Past the first second, when a full-screen saver would take a click as the end.
    pumpFor(1200);
    EXPECT_EQ(clickAt((area.left + area.right) / 2, (area.top + area.bottom) / 2, 1), 0);
    EXPECT_EQ(clickAt(area.left + 40, area.top + 40, 3), 0);
    EXPECT_EQ(runUnix("xdotool click 4 click 5"), 0);
    EXPECT_EQ(pressKey("space", "^Voidrunner 3D$"), 0);
    EXPECT_EQ(pressKey("F10", "^Voidrunner 3D$"), 0);
    // And the same as messages of their own, whatever X did with the real ones.
    PostMessageW(child, WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageW(child, WM_SYSKEYDOWN, VK_F10, 0x20440001);
    PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    PostMessageW(child, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
    PostMessageW(child, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(200, 200));
    pumpFor(1000);
    EXPECT_TRUE(isRunning(runs.back()));
    ASSERT_TRUE(IsWindow(child)) << "the preview closed on input";
    expectPreviewPicture(area, nullptr);

    lowerPreview();
    expectEndsWithHost();
}

// The forms of the handle that all give the same preview.
class PreviewForms : public Preview, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(PreviewForms, GiveThePreview) {
    std::wstring arguments = GetParam();
    arguments.replace(arguments.find(L"HANDLE"), 6, decimal(host));
    SCOPED_TRACE(std::string(arguments.begin(), arguments.end()));
    launch(arguments);
    expectPreviewPicture(liftPreview(), nullptr);
    lowerPreview();
    expectEndsWithHost();
}

INSTANTIATE_TEST_SUITE_P(Preview, PreviewForms,
                         ::testing::Values(L"/p:HANDLE", L"-p HANDLE", L"/P:HANDLE", L"-p:HANDLE",
                                           L"/p HANDLE extra"));

// Forms that name no usable window: the saver ends at once with 0 and makes no window.
class PreviewRefusals : public Preview, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(PreviewRefusals, EndAtOnceWithoutAWindow) {
    HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    ASSERT_FALSE(IsWindow(gone));

    std::wstring arguments = GetParam();
    const size_t handle = arguments.find(L"HANDLE"), dead = arguments.find(L"GONE"),
                 hex = arguments.find(L"HEX");
    if (handle != std::wstring::npos) {
        arguments.replace(handle, 6, decimal(host));
    } else if (dead != std::wstring::npos) {
        arguments.replace(dead, 4, decimal(gone));
    } else if (hex != std::wstring::npos) {
        wchar_t digits[32];
        swprintf(digits, 32, L"%llx", (unsigned long long)(uintptr_t)host);
        arguments.replace(hex, 3, digits);
    }
    SCOPED_TRACE(std::string(arguments.begin(), arguments.end()));

    SaverRun& run = start(arguments);
    ASSERT_TRUE(run.started);
    bool windowSeen = false;
    DWORD exitCode = 12345;
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (isRunning(run) && GetTickCount64() < deadline) {
        windowSeen = windowSeen || findWindowOf(run.process.dwProcessId, saverClass, nullptr) ||
                     findWindowOf(run.process.dwProcessId, saverClass, host);
        pumpFor(5);
    }
    ASSERT_TRUE(waitForExit(run, 0, exitCode)) << "still running";
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(windowSeen);
    EXPECT_EQ(findSaverWindow(host), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Preview, PreviewRefusals,
                         ::testing::Values(L"/p GONE", L"/p:GONE", L"/p", L"-p", L"/pHANDLE",
                                           L"/p:0xHEX"));

} // namespace
