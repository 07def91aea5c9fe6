#include "app/shell.h"

#include "engine/version.h"

const wchar_t windowClassName[] = L"Voidrunner3DNativeWindow";
const wchar_t fullScreenTitle[] = VOIDRUNNER_TITLE;
const wchar_t previewTitle[] = L"" VOIDRUNNER_NAME;
const wchar_t informationCaption[] = L"" VOIDRUNNER_NAME " - Settings";
const wchar_t informationText[] =
    VOIDRUNNER_TITLE L"\n\n"
                     L"A flight through a three-dimensional star field.\n\n"
                     L"Move the mouse to steer.\n"
                     L"Turn the mouse wheel to change the speed.\n"
                     L"Press any key, or click after the first moment, to exit.\n\n"
                     L"There are no settings to change.";

static HFONT overlayFont(int height, int weight) {
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, 0, L"Segoe UI");
}

void createFonts() {
    engine.titleFont = overlayFont(22, 600);
    engine.captionFont = overlayFont(13, 500);
}

void deleteFonts() {
    if (engine.titleFont) {
        DeleteObject(engine.titleFont);
        engine.titleFont = nullptr;
    }
    if (engine.captionFont) {
        DeleteObject(engine.captionFont);
        engine.captionFont = nullptr;
    }
}

bool registerWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(windowIconId));
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    windowClass.lpszClassName = windowClassName;
    windowClass.hIconSm = windowClass.hIcon;
    return RegisterClassExW(&windowClass) != 0;
}

HWND createMainWindow(HINSTANCE instance) {
    if (engine.runMode == Preview) {
        RECT client{};
        GetClientRect(engine.previewParent, &client);
        return CreateWindowExW(0, windowClassName, previewTitle, WS_CHILD | WS_VISIBLE, 0, 0,
                               client.right, client.bottom, engine.previewParent, nullptr, instance,
                               nullptr);
    }
    HWND window =
        CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, windowClassName, fullScreenTitle,
                        WS_POPUP | WS_VISIBLE, GetSystemMetrics(SM_XVIRTUALSCREEN),
                        GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                        GetSystemMetrics(SM_CYVIRTUALSCREEN), nullptr, nullptr, instance, nullptr);
    if (window) {
        coverVirtualScreen(window);
    }
    return window;
}

void coverVirtualScreen(HWND window) {
    // Taken as they are: a monitor left of or above the primary one gives negative coordinates.
    SetWindowPos(window, HWND_TOPMOST, GetSystemMetrics(SM_XVIRTUALSCREEN),
                 GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                 GetSystemMetrics(SM_CYVIRTUALSCREEN), SWP_SHOWWINDOW);
}

int runMessageLoop() {
    // Zeroed, so that a loop whose first GetMessageW fails still returns 0.
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return (int)(uint32_t)message.wParam;
}
