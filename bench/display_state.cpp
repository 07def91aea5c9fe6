// Tells a running saver that its session's display turned off (0), on (1) or dimmed (2), as the
// system would: Wine never reports the display's state, so bench/wine-cpu delivers it with this.
// The record goes into the saver's own memory, where its window procedure reads it.
// Usage: voidrunner-display-state 0|1|2
#include <windows.h>

#include <stdio.h>
#include <string.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 || wcslen(argv[1]) != 1 || argv[1][0] < L'0' || argv[1][0] > L'2') {
        fprintf(stderr, "usage: voidrunner-display-state 0|1|2 (off, on, dimmed)\n");
        return 2;
    }
    const DWORD state = (DWORD)(argv[1][0] - L'0');
    HWND window = FindWindowW(L"Voidrunner3DNativeWindow", nullptr);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (!window || !process) {
        fprintf(stderr, "voidrunner-display-state: no saver window found\n");
        return 1;
    }
    BYTE record[sizeof(POWERBROADCAST_SETTING) + sizeof state]{};
    POWERBROADCAST_SETTING* setting = (POWERBROADCAST_SETTING*)record;
    setting->PowerSetting = GUID_SESSION_DISPLAY_STATUS;
    setting->DataLength = sizeof state;
    memcpy(setting->Data, &state, sizeof state);
    void* remote =
        VirtualAllocEx(process, nullptr, sizeof record, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote || !WriteProcessMemory(process, remote, record, sizeof record, nullptr)) {
        fprintf(stderr, "voidrunner-display-state: cannot write into the saver\n");
        return 1;
    }
    // The saver reads the record while this call waits; the memory stays, a few bytes a call.
    SendMessageW(window, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, (LPARAM)remote);
    CloseHandle(process);
    return 0;
}
