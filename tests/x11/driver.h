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

#include "tests/outside/driver.h"

extern const char hackPath[];

bool readWindow(Display* display, Window window, Frame& frame);

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
