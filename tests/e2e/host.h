// The test host: starts the saver as the system's screen-saver settings do and watches it from
// outside, through Win32 calls and, for real X input, through X tools run from Wine.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <stdint.h>

#include <deque>
#include <string>
#include <vector>

#include "tests/e2e/picture.h"

// The names the saver's windows carry, as the screen-saver settings see them.
inline const wchar_t saverClass[] = L"Voidrunner3DNativeWindow";
inline const wchar_t fullScreenTitle[] = L"Voidrunner 3D v" VOIDRUNNER_EXPECTED_VERSION;
inline const wchar_t previewTitle[] = L"Voidrunner 3D";
inline const wchar_t settingsCaption[] = L"Voidrunner 3D - Settings";

struct HostPaths {
    std::wstring saver; // the .scr, as a Windows path
    std::wstring shots; // where screenshots go, as a Windows path
    std::string scratchUnix;
    std::wstring scratch;
};
extern HostPaths hostPaths;

// The Windows path under which Wine shows a Unix path (a path not starting with / is kept).
std::wstring dosPathOf(const std::string& unixPath);

// A whole file's bytes; none when it cannot be read.
std::vector<uint8_t> readBytes(const std::wstring& path);

// Reads --saver=, --shots= and --scratch= (Unix paths); false when one is missing.
bool readHostPaths(int argc, char** argv);

struct SaverRun {
    PROCESS_INFORMATION process;
    bool started;
};

// Starts the saver with the command line text that follows the program name.
SaverRun startSaver(const std::wstring& arguments);

// Waits, pumping this thread's messages, until the saver ends; false on timeout.
bool waitForExit(const SaverRun& run, DWORD timeoutMs, DWORD& exitCode);

bool isRunning(const SaverRun& run);

// Terminates the saver if it still runs and closes its handles.
void endSaver(SaverRun& run);

// Ends every saver window's process left over from an earlier run that went wrong.
void sweepLeftoverSavers();

// Keeps this thread's windows answering for the given time.
void pumpFor(DWORD ms);

// The first window of the process with the class (and, when parent is given, that parent),
// or null; top-level windows when parent is null.
HWND findWindowOf(DWORD processId, const wchar_t* className, HWND parent);
HWND waitForWindowOf(DWORD processId, const wchar_t* className, HWND parent, DWORD timeoutMs);

// Waits until the window is visible: it exists before its creation has finished.
bool waitUntilVisible(HWND window, DWORD timeoutMs);

// Any window of the saver's class on the desktop or under parent, whoever owns it.
HWND findSaverWindow(HWND parent);

std::wstring windowText(HWND window);
std::wstring windowClass(HWND window);

// A 32-bit top-down DIB section's header: word y * width + x is pixel (x, y).
BITMAPINFO topDownInfo(int32_t width, int32_t height);

// What the screen shows in the rectangle (screen coordinates), as pixel words.
Picture captureScreen(const RECT& area);

// Writes the picture as a PNG file of that name into the shots folder.
bool saveShot(const Picture& picture, const std::wstring& name);

// Shell scripts run on the Unix side of Wine: the X tools for real keys, clicks, wheel and
// motion. startUnix returns a job number (or -1); finishUnix waits for it and returns its exit
// status, or -1 when it did not finish in time. A script that fails leaves its output on stderr.
int startUnix(const std::string& script);
int finishUnix(int job, DWORD timeoutMs);
int runUnix(const std::string& script, DWORD timeoutMs = 20000);

// Every test ends the savers it started, also when it fails half-way.
class SaverTest : public ::testing::Test {
  protected:
    std::deque<SaverRun> runs; // a deque keeps earlier references valid

    SaverRun& start(const std::wstring& arguments) {
        runs.push_back(startSaver(arguments));
        return runs.back();
    }
    void TearDown() override {
        for (SaverRun& run : runs) {
            endSaver(run);
        }
    }
};
