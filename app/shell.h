// The application shell: the window procedure and the start-up steps around it.
#pragma once

#include "engine/engine.h"

extern const wchar_t windowClassName[];
extern const wchar_t fullScreenTitle[];
extern const wchar_t previewTitle[];
extern const wchar_t informationCaption[];
extern const wchar_t informationText[];

const UINT_PTR frameTimerId = 42;
const UINT frameTimerPeriod = 16;
const int windowIconId = 101;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Destroys mainWindow, if there is one.
void requestExit();

void createFonts();
void deleteFonts();

// False when the class could not be registered.
bool registerWindowClass(HINSTANCE instance);

// The window for engine.runMode: a topmost pop-up over the virtual desktop, or a child
// filling previewParent's client area. Null when it could not be made.
HWND createMainWindow(HINSTANCE instance);

// Called at creation and on every display change: the full-screen window over the whole
// virtual desktop, top-most, in screen pixels.
void coverVirtualScreen(HWND window);

// Runs until the quit message or an error; returns the exit code the last message carries.
int runMessageLoop();
