#include "app/runmode.h"
#include "app/shell.h"

#include <shellapi.h>

#include "engine/input.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The start-up command line is read again whole: the host's arguments decide the mode.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) {
        argc = 0;
    }
    takeStartStamp();

    const RunChoice choice = chooseRunMode(argc, argv);
    if (choice.configure) {
        MessageBoxW(nullptr, informationText, informationCaption, MB_ICONINFORMATION | MB_OK);
        ExitProcess(0);
    }
    if (argv) {
        LocalFree(argv);
    }
    engine.runMode = choice.mode;
    if (choice.mode == Preview) {
        engine.previewParent = (HWND)(intptr_t)choice.previewParent;
        if (!IsWindow(engine.previewParent)) {
            return 0;
        }
    }

    setSpeedSetting(engine.speedPercent);
    createFonts();
    if (!registerWindowClass(instance)) {
        deleteFonts();
        return 1;
    }
    if (!createMainWindow(instance)) {
        deleteFonts();
        return 2;
    }
    const int exitCode = runMessageLoop();
    deleteFonts();
    return exitCode;
}
