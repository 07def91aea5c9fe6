// The configure request: an information box in place of a settings dialog.
#include <gtest/gtest.h>

#include "tests/e2e/screen.h"

#include <algorithm>

namespace {

const wchar_t boxText[] = L"Voidrunner 3D v" VOIDRUNNER_EXPECTED_VERSION L"\n\n"
                          L"A flight through a three-dimensional star field.\n\n"
                          L"Move the mouse to steer.\n"
                          L"Turn the mouse wheel to change the speed.\n"
                          L"Press any key, or click after the first moment, to exit.\n\n"
                          L"There are no settings to change.";

struct BoxContents {
    std::vector<std::wstring> texts; // the visible text statics
    std::vector<HWND> buttons;       // the visible buttons
    HWND icon;
};

BOOL CALLBACK collectControl(HWND control, LPARAM context) {
    BoxContents& contents = *(BoxContents*)context;
    if (!IsWindowVisible(control)) {
        return TRUE;
    }
    const std::wstring name = windowClass(control);
    if (_wcsicmp(name.c_str(), L"Button") == 0) {
        contents.buttons.push_back(control);
    } else if (_wcsicmp(name.c_str(), L"Static") == 0) {
        if ((GetWindowLongPtrW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            contents.icon = control;
        } else if (!windowText(control).empty()) {
            contents.texts.push_back(windowText(control));
        }
    }
    return TRUE;
}

// An icon drawn as a static control draws it: at the control's size, over its background.
Picture drawnIcon(HICON icon, int32_t width, int32_t height, uint32_t fill) {
    Picture picture{width, height, {}};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    const BITMAPINFO info = topDownInfo(width, height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        uint32_t* words = (uint32_t*)bits;
        std::fill(words, words + (size_t)width * (size_t)height, fill);
        DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
        GdiFlush();
        picture.pixels.assign(words, words + (size_t)width * (size_t)height);
        for (uint32_t& word : picture.pixels) {
            word &= 0x00FFFFFFu;
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

// The share of pixels, in percent, in which the box's icon differs from the system icon.
int32_t iconDifference(const Picture& shown, const wchar_t* systemIcon) {
    const Picture drawn = drawnIcon(LoadIconW(nullptr, systemIcon), shown.width, shown.height,
                                    shown.pixels.empty() ? 0 : shown.pixels[0]);
    return shown.pixels.empty() ? 100
                                : countChanged(shown, drawn) * 100 / (int32_t)shown.pixels.size();
}

enum Dismissal { PressEnter, ClickOk, CloseBox };

struct SettingsCase {
    const char* name;
    const wchar_t* arguments;
    Dismissal dismissal;
    const wchar_t* shot;
};

class Settings : public SaverTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(Settings, ShowTheInformationBoxAndEndWithZeroWhenItIsDismissed) {
    const SettingsCase& settings = GetParam();
    SaverRun& run = start(settings.arguments);
    ASSERT_TRUE(run.started);
    const DWORD saver = run.process.dwProcessId;
    HWND box = waitForWindowOf(saver, L"#32770", nullptr, 20000);
    ASSERT_NE(box, nullptr) << "no dialog box";
    ASSERT_TRUE(waitUntilVisible(box, 10000));
    EXPECT_EQ(windowText(box), settingsCaption);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "the box has an owner";
    EXPECT_EQ(findWindowOf(saver, saverClass, nullptr), nullptr) << "a saver window as well";

    BoxContents contents{};
    EnumChildWindows(box, collectControl, (LPARAM)&contents);
    ASSERT_EQ(contents.texts.size(), 1u);
    EXPECT_EQ(contents.texts[0], boxText);
    ASSERT_EQ(contents.buttons.size(), 1u) << "one OK button only";
    EXPECT_EQ(GetDlgCtrlID(contents.buttons[0]), IDOK);
    ASSERT_NE(contents.icon, nullptr) << "no icon";
    pumpFor(200); // the box paints itself
    const Picture icon = captureScreen(screenRectOf(contents.icon));
    EXPECT_LE(iconDifference(icon, IDI_INFORMATION), 3) << "not the information icon";
    EXPECT_GE(iconDifference(icon, IDI_WARNING), 10) << "the warning icon";

    if (settings.shot) {
        RECT frame{};
        GetWindowRect(box, &frame);
        pumpFor(200);
        EXPECT_TRUE(saveShot(captureScreen(frame), settings.shot));
    }

    // The box waits for the user.
    pumpFor(300);
    ASSERT_TRUE(isRunning(run)) << "ended before the box was dismissed";
    switch (settings.dismissal) {
        case PressEnter:
            EXPECT_EQ(pressKey("Return", "^Voidrunner 3D - Settings$"), 0);
            break;
        case ClickOk:
            PostMessageW(contents.buttons[0], BM_CLICK, 0, 0);
            break;
        case CloseBox:
            PostMessageW(box, WM_CLOSE, 0, 0);
            break;
    }
    DWORD exitCode = 12345;
    ASSERT_TRUE(waitForExit(run, 10000, exitCode)) << "still running after the box went";
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Configure, Settings,
    ::testing::Values(SettingsCase{"SlashC", L"/c", PressEnter, L"settings.png"},
                      SettingsCase{"DashC", L"-c", ClickOk, nullptr},
                      SettingsCase{"SlashCColonNumber", L"/c:1234", CloseBox, nullptr},
                      SettingsCase{"UpperCaseSlashCColonText", L"/C:anything", ClickOk, nullptr}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) {
        return std::string(info.param.name);
    });

class Configure : public SaverTest {};

// Only "/c:" asks for the settings; "-c:" runs the saver full-screen.
TEST_F(Configure, DashWithColonRunsFullScreen) {
    SaverRun& run = start(L"-c:1234");
    ASSERT_TRUE(run.started);
    HWND window = waitForWindowOf(run.process.dwProcessId, saverClass, nullptr, 20000);
    ASSERT_NE(window, nullptr) << "no full-screen window";
    EXPECT_EQ(findWindowOf(run.process.dwProcessId, L"#32770", nullptr), nullptr);
    EXPECT_TRUE(waitUntilVisible(window, 10000));
    EXPECT_EQ(windowText(window), fullScreenTitle);
    EXPECT_TRUE(waitForFrames(virtualScreen(), 10000));
    EXPECT_EQ(pressKey("space"), 0);
    DWORD exitCode = 12345;
    EXPECT_TRUE(waitForExit(run, 10000, exitCode));
    EXPECT_EQ(exitCode, 0u);
}

} // namespace
