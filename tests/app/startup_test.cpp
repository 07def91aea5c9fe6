// The start-up steps: fonts, window class, the window of each mode and the message loop.
#include "tests/app/shell_fixture.h"

#include <string.h>

namespace {

class Startup : public ShellWindow {};

TEST_F(Startup, FullScreenWindowCoversTheVirtualDesktopOnTop) {
    open(Saver);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
    EXPECT_EQ(rect.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
    EXPECT_EQ(rect.right - rect.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(rect.bottom - rect.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EXPECT_EQ((DWORD)GetWindowLongW(window, GWL_STYLE) & (WS_POPUP | WS_CHILD | WS_VISIBLE),
              (DWORD)(WS_POPUP | WS_VISIBLE));
    const DWORD extended = (DWORD)GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_EQ(extended & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), (DWORD)0x88);
    EXPECT_EQ(GetParent(window), nullptr);
    wchar_t title[64];
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Voidrunner 3D v" VOIDRUNNER_EXPECTED_VERSION);
    // The first WM_SIZE came while the window was made.
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(engine.width, client.right);
    EXPECT_EQ(engine.height, client.bottom);
    EXPECT_NE(engine.pixels, nullptr);
}

TEST_F(Startup, PreviewFillsItsHost) {
    open(Preview, 152, 112);
    EXPECT_EQ(GetParent(window), host);
    EXPECT_EQ((DWORD)GetWindowLongW(window, GWL_STYLE) & (WS_POPUP | WS_CHILD | WS_VISIBLE),
              (DWORD)(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ((DWORD)GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), 0u);
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, host, (POINT*)&rect, 2);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 152);
    EXPECT_EQ(rect.bottom, 112);
    wchar_t title[64];
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Voidrunner 3D");
    EXPECT_EQ(engine.width, 152);
    EXPECT_EQ(engine.height, 112);
    // The host going away takes the preview with it and ends the loop.
    DestroyWindow(host);
    host = nullptr;
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(close(), 0);
}

TEST_F(Startup, EmptyPreviewHostGetsAnEmptyWindowAndNoBuffers) {
    open(Preview, 0, 0);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 0);
    EXPECT_EQ(client.bottom, 0);
    EXPECT_EQ(engine.pixels, nullptr);
    EXPECT_EQ(engine.stars, nullptr);
    EXPECT_EQ(send(WM_PAINT), 0);
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(Startup, ClassAsRegistered) {
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"Voidrunner3DNativeWindow", &info));
    EXPECT_EQ(info.style, 0x23u);
    EXPECT_EQ(info.lpfnWndProc, windowProc);
    EXPECT_EQ(info.cbClsExtra, 0);
    EXPECT_EQ(info.cbWndExtra, 0);
    EXPECT_EQ(info.hCursor, nullptr);
    EXPECT_EQ(info.hbrBackground, (HBRUSH)GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(info.lpszMenuName, nullptr);
}

TEST_F(Startup, OverlayFonts) {
    createFonts();
    const struct {
        HFONT font;
        LONG height, weight;
    } fonts[] = {{engine.titleFont, -22, 600}, {engine.captionFont, -13, 500}};
    for (const auto& expected : fonts) {
        LOGFONTW font{};
        ASSERT_EQ(GetObjectW(expected.font, sizeof font, &font), (int)sizeof font);
        EXPECT_EQ(font.lfHeight, expected.height);
        EXPECT_EQ(font.lfWeight, expected.weight);
        EXPECT_EQ(font.lfWidth, 0);
        EXPECT_EQ(font.lfItalic | font.lfUnderline | font.lfStrikeOut, 0);
        EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
        EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);
        EXPECT_EQ(font.lfPitchAndFamily, 0);
        EXPECT_STREQ(font.lfFaceName, L"Segoe UI");
    }
    deleteFonts();
    EXPECT_EQ(engine.titleFont, nullptr);
    EXPECT_EQ(engine.captionFont, nullptr);
    deleteFonts();
}

TEST_F(Startup, MessageLoopReturnsTheQuitCode) {
    open(Preview);
    PostMessageW(window, WM_KEYDOWN, VK_SPACE, 1);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(runMessageLoop(), 0);
    EXPECT_FALSE(IsWindow(window));
    PostQuitMessage(7);
    EXPECT_EQ(runMessageLoop(), 7);
    // Only the low 32 bits of the quit message's wParam are the exit code.
    PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, (WPARAM)0x100000009, 0);
    EXPECT_EQ(runMessageLoop(), 9);
}

} // namespace
