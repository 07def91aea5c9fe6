// Driving voidrunner3d from outside: as a process, on X displays (the test run's own and
// private Xvfb servers), with real input from xdotool, reading back what the server shows.
#pragma once

// GoogleTest first: Xlib defines None and Bool as macros, which its names would collide with.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

extern const char hackPath[];
extern const char renderPath[];

// A folder of this test process's own under /tmp, removed at exit.
const std::string& scratchFolder();

struct Child {
    pid_t pid = -1;
    std::string outPath; // its standard output and error, as files
    std::string errPath;
};

// Starts command[0] with the rest as arguments. The environment is this process's, without
// XSCREENSAVER_WINDOW, with each "NAME=value" of extraEnvironment added or replaced.
Child startProcess(const std::vector<std::string>& command,
                   const std::vector<std::string>& extraEnvironment = {});

// Waits up to timeoutMs for the child to end; its exit code, or 128 + the signal that ended
// it, goes to status. False on timeout.
bool waitForEnd(Child& child, int32_t timeoutMs, int& status);

bool stillRunning(Child& child);

// Kills a child that still runs (SIGKILL) and reaps it; safe on one that has ended.
void stopProcess(Child& child);

std::string readText(const std::string& path);

// Runs a shell command (xdotool and the like) and returns its exit code.
int runCommand(const std::string& command);

// A picture as the server holds it: words red << 16 | green << 8 | blue, rows top-down.
struct Frame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> words;
};

bool readWindow(Display* display, Window window, Frame& frame);

// The engine's background for a size, as the screen's words.
std::vector<uint32_t> backgroundOf(int32_t width, int32_t height);

// How a picture compares with the background of its size. Light is only ever added, so a
// frame of the flight has no pixel darker than the background in any channel, most pixels
// equal to their background word, and the bright cores of stars.
struct Survey {
    int64_t equal = 0;
    int64_t darker = 0;
    int64_t lit = 0;          // some channel at least 96 above the background
    bool cornerEqual[4] = {}; // top left, top right, bottom left, bottom right
};
Survey survey(const Frame& frame, const std::vector<uint32_t>& background);
bool looksLikeFlight(const Survey& survey, const Frame& frame);

// Waits until the window shows a frame of the flight at width x height, and until each of
// its four corners has shown the background's corner word (a star may pass over one). The
// last survey stays in last.
bool waitForFlight(Display* display, Window window, int32_t width, int32_t height,
                   int32_t timeoutMs, Survey& last);

// A private Xvfb, for tests that must own the whole screen or a server without MIT-SHM. The
// connection kept open stops the server from resetting (and blanking) when a hack leaves.
struct VirtualDisplay {
    pid_t pid = -1;
    std::string name;
    Display* display = nullptr;
};
bool startVirtualDisplay(VirtualDisplay& server, int32_t width, int32_t height,
                         const std::vector<std::string>& extraArguments = {});
void stopVirtualDisplay(VirtualDisplay& server);

// A mapped top-level window at 0, 0, raised above the others, as a host would make one.
Window makeHostWindow(Display* display, int32_t width, int32_t height);

// The viewable top-level window whose _NET_WM_PID is pid; 0 on timeout.
Window waitForWindowOf(Display* display, pid_t pid, int32_t timeoutMs);

void sleepMs(int32_t ms);
