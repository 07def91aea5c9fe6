#include "tests/e2e/host.h"

#include <stdio.h>
#include <string.h>

#include <zlib.h>

HostPaths hostPaths;

// Wine's own conversions between its drive letters and Unix paths.
typedef WCHAR*(CDECL* DosNameOf)(const char*);

static std::wstring widen(const std::string& text) {
    std::wstring wide;
    for (char c : text) {
        wide += (wchar_t)(unsigned char)c;
    }
    return wide;
}

std::wstring dosPathOf(const std::string& unixPath) {
    FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    if (!found || unixPath.empty() || unixPath[0] != '/') {
        return widen(unixPath);
    }
    DosNameOf dosNameOf;
    memcpy(&dosNameOf, &found, sizeof dosNameOf);
    WCHAR* name = dosNameOf(unixPath.c_str());
    std::wstring path = name ? name : L"";
    HeapFree(GetProcessHeap(), 0, name);
    return path;
}

bool readHostPaths(int argc, char** argv) {
    std::string saver, shots, scratch;
    for (int i = 1; i < argc; i++) {
        const std::string argument = argv[i];
        if (argument.rfind("--saver=", 0) == 0) {
            saver = argument.substr(8);
        } else if (argument.rfind("--shots=", 0) == 0) {
            shots = argument.substr(8);
        } else if (argument.rfind("--scratch=", 0) == 0) {
            scratch = argument.substr(10);
        }
    }
    if (saver.empty() || shots.empty() || scratch.empty()) {
        return false;
    }
    hostPaths.saver = dosPathOf(saver);
    hostPaths.shots = dosPathOf(shots);
    hostPaths.scratchUnix = scratch;
    hostPaths.scratch = dosPathOf(scratch);
    CreateDirectoryW(hostPaths.shots.c_str(), nullptr);
    CreateDirectoryW(hostPaths.scratch.c_str(), nullptr);
    return true;
}

// Savers die with the host, whatever way it ends.
static HANDLE saverJob() {
    static HANDLE job = nullptr;
    if (!job) {
        job = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return job;
}

SaverRun startSaver(const std::wstring& arguments) {
    SaverRun run{};
    std::wstring commandLine = L"\"" + hostPaths.saver + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(0);
    run.started = CreateProcessW(hostPaths.saver.c_str(), writable.data(), nullptr, nullptr, FALSE,
                                 CREATE_SUSPENDED, nullptr, nullptr, &startup, &run.process);
    if (run.started) {
        AssignProcessToJobObject(saverJob(), run.process.hProcess);
        ResumeThread(run.process.hThread);
    }
    return run;
}

static void pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool waitForExit(const SaverRun& run, DWORD timeoutMs, DWORD& exitCode) {
    if (!run.started) {
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < deadline ? (DWORD)(deadline - now) : 0;
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &run.process.hProcess, FALSE, left, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) {
            GetExitCodeProcess(run.process.hProcess, &exitCode);
            return true;
        }
        if (woke != WAIT_OBJECT_0 + 1) {
            return false;
        }
        pumpMessages();
    }
}

bool isRunning(const SaverRun& run) {
    return run.started && WaitForSingleObject(run.process.hProcess, 0) == WAIT_TIMEOUT;
}

void endSaver(SaverRun& run) {
    if (!run.started) {
        return;
    }
    if (isRunning(run)) {
        TerminateProcess(run.process.hProcess, 99);
        WaitForSingleObject(run.process.hProcess, 5000);
    }
    CloseHandle(run.process.hThread);
    CloseHandle(run.process.hProcess);
    run.started = false;
}

void pumpFor(DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, (DWORD)(deadline - now), QS_ALLINPUT);
        pumpMessages();
    }
}

std::wstring windowText(HWND window) {
    wchar_t text[4096] = {};
    GetWindowTextW(window, text, 4096);
    return text;
}

std::wstring windowClass(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

struct WindowSearch {
    DWORD processId; // 0: any process
    const wchar_t* className;
    HWND parent;
    HWND found;
};

static BOOL CALLBACK considerWindow(HWND window, LPARAM context) {
    WindowSearch& search = *(WindowSearch*)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((search.processId && owner != search.processId) ||
        windowClass(window) != search.className ||
        (search.parent && GetParent(window) != search.parent)) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

HWND findWindowOf(DWORD processId, const wchar_t* className, HWND parent) {
    WindowSearch search{processId, className, parent, nullptr};
    if (parent) {
        EnumChildWindows(parent, considerWindow, (LPARAM)&search);
    } else {
        EnumWindows(considerWindow, (LPARAM)&search);
    }
    return search.found;
}

HWND waitForWindowOf(DWORD processId, const wchar_t* className, HWND parent, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        HWND window = findWindowOf(processId, className, parent);
        if (window || GetTickCount64() >= deadline) {
            return window;
        }
        pumpFor(10);
    }
}

bool waitUntilVisible(HWND window, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!IsWindowVisible(window)) {
        if (!IsWindow(window) || GetTickCount64() >= deadline) {
            return false;
        }
        pumpFor(10);
    }
    return true;
}

HWND findSaverWindow(HWND parent) {
    return findWindowOf(0, saverClass, parent);
}

static BOOL CALLBACK endOwner(HWND window, LPARAM) {
    const std::wstring name = windowClass(window);
    if (name == saverClass || (name == L"#32770" && windowText(window) == settingsCaption)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, owner);
        if (process) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    return TRUE;
}

void sweepLeftoverSavers() {
    EnumWindows(endOwner, 0);
}

BITMAPINFO topDownInfo(int32_t width, int32_t height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

Picture captureScreen(const RECT& area) {
    Picture picture{area.right - area.left, area.bottom - area.top, {}};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    const BITMAPINFO info = topDownInfo(picture.width, picture.height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, picture.width, picture.height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        const uint32_t* words = (const uint32_t*)bits;
        picture.pixels.assign(words, words + (size_t)picture.width * (size_t)picture.height);
        for (uint32_t& word : picture.pixels) {
            word &= 0x00FFFFFFu;
        }
        SelectObject(memory, previous);
    }
    if (bitmap) {
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

static void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back((uint8_t)(value >> shift));
    }
}

static void putChunk(std::vector<uint8_t>& out, const char* type,
                     const std::vector<uint8_t>& data) {
    putBigEndian(out, (uint32_t)data.size());
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, (uint32_t)crc32(0, out.data() + start, (uInt)(out.size() - start)));
}

bool saveShot(const Picture& picture, const std::wstring& name) {
    if (picture.pixels.empty()) {
        return false;
    }
    std::vector<uint8_t> rows;
    rows.reserve((size_t)picture.height * ((size_t)picture.width * 3 + 1));
    for (int32_t y = 0; y < picture.height; y++) {
        rows.push_back(0); // no filter
        for (int32_t x = 0; x < picture.width; x++) {
            const uint32_t word = picture.pixels[(size_t)y * (size_t)picture.width + (size_t)x];
            rows.push_back((uint8_t)(word >> 16));
            rows.push_back((uint8_t)(word >> 8));
            rows.push_back((uint8_t)word);
        }
    }
    uLongf packedSize = compressBound((uLong)rows.size());
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rows.data(), (uLong)rows.size(), 9) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);

    std::vector<uint8_t> header;
    putBigEndian(header, (uint32_t)picture.width);
    putBigEndian(header, (uint32_t)picture.height);
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> file(signature, signature + 8);
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", {});

    FILE* out = _wfopen((hostPaths.shots + L"\\" + name).c_str(), L"wb");
    if (!out) {
        return false;
    }
    const bool written = fwrite(file.data(), 1, file.size(), out) == file.size();
    return fclose(out) == 0 && written;
}

static std::string readFile(const std::wstring& path) {
    std::string text;
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (in) {
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, in)) > 0;) {
            text.append(chunk, n);
        }
        fclose(in);
    }
    return text;
}

static std::string unixStemOf(int job) {
    return hostPaths.scratchUnix + "/unix-" + std::to_string(job);
}

static std::wstring dosStemOf(int job) {
    return hostPaths.scratch + L"\\unix-" + std::to_wstring(job);
}

// Wine starts a Unix program from CreateProcess but gives no handle that waits for it or
// reports its status; the script leaves its status in a file instead, written last.
int startUnix(const std::string& script) {
    static int serial = 0;
    const int job = ++serial;
    const std::string unixStem = unixStemOf(job);
    const std::wstring dosStem = dosStemOf(job);
    DeleteFileW((dosStem + L".status").c_str());

    const std::string body = "export PATH=/usr/local/bin:/usr/bin:/bin\n(\n" + script + "\n) >'" +
                             unixStem + ".out' 2>&1\necho $? >'" + unixStem + ".part'\nmv '" +
                             unixStem + ".part' '" + unixStem + ".status'\n";
    FILE* file = _wfopen((dosStem + L".sh").c_str(), L"wb");
    if (!file) {
        return -1;
    }
    fwrite(body.data(), 1, body.size(), file);
    fclose(file);

    std::wstring commandLine = L"/bin/sh " + widen(unixStem) + L".sh";
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return job;
}

int finishUnix(int job, DWORD timeoutMs) {
    if (job < 0) {
        return -1;
    }
    const std::wstring status = dosStemOf(job) + L".status";
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetFileAttributesW(status.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount64() >= deadline) {
            return -1;
        }
        pumpFor(10);
    }
    const int code = atoi(readFile(status).c_str());
    if (code != 0) {
        fprintf(stderr, "%s", readFile(dosStemOf(job) + L".out").c_str());
    }
    return code;
}

int runUnix(const std::string& script, DWORD timeoutMs) {
    return finishUnix(startUnix(script), timeoutMs);
}

std::vector<uint8_t> readBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (in) {
        uint8_t chunk[65536];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, in)) > 0;) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        fclose(in);
    }
    return bytes;
}
