// Real windows of the screen saver's class in this process, with a spy on the default window
// procedure, for tests that drive windowProc with real messages.
#pragma once

#include <gtest/gtest.h>

#include "app/shell.h"

// What the last call of DefWindowProcW for the watched window carried and answered.
struct DefaultCall {
    int32_t count;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};
extern DefaultCall defaultCall;

// Counts DefWindowProcW calls for the given window with the given message from now on.
void watchDefault(HWND window, UINT message);

// The power setting last registered for since open() began, or all zero: Wine's
// RegisterPowerSettingNotification records nothing.
extern GUID registeredSetting;

// The cursor's display count, left as it was.
int cursorCount();

class ShellWindow : public ::testing::Test {
  protected:
    HWND host = nullptr; // a preview host's window
    HWND window = nullptr;
    int cursorBefore = 0;

    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Closes what is open and opens the program's window for mode from a fresh state, as
    // start-up does; a preview fills a host's client area of hostWidth x hostHeight.
    void open(RunMode mode, int hostWidth = 200, int hostHeight = 150);
    // Destroys what is left and takes the quit message; returns its exit code, or -1.
    int close();
    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
};
