// The entry points that the screen-saver library convention names. Nothing calls them: the
// program does its work from wWinMain.
#include "engine/platform.h"

extern "C" {

LRESULT WINAPI ScreenSaverProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

BOOL WINAPI ScreenSaverConfigureDialog(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

BOOL WINAPI RegisterDialogClasses(HANDLE) {
    return TRUE;
}
}
